#include "platform/common/tree_registry.h"

#include <cstring>
#include <utility>

namespace kx {
namespace {

// The access bits Windows checks for each call.
constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kAllRights = 0xFFFFFFFFu;

bool IsTextType(RegType type) {
    return type == RegType::Sz || type == RegType::ExpandSz || type == RegType::MultiSz;
}

bool RootHive(RegKeyHandle key, Hive* hive) {
    if (key == kHKeyLocalMachine) {
        *hive = Hive::LocalMachine;
        return true;
    }
    if (key == kHKeyClassesRoot) {
        *hive = Hive::ClassesRoot;
        return true;
    }
    if (key == kHKeyCurrentUser) {
        *hive = Hive::CurrentUser;
        return true;
    }
    return false;
}

KeyPath Concat(const KeyPath& base, const KeyPath& tail) {
    KeyPath full = base;
    full.insert(full.end(), tail.begin(), tail.end());
    return full;
}

}  // namespace

long TreeRegistry::Resolve(RegKeyHandle key, std::uint32_t needed_rights,
                           OpenedKey* opened) const {
    Hive hive = Hive::LocalMachine;
    if (RootHive(key, &hive)) {
        *opened = OpenedKey{hive, {}, kAllRights};
        return kErrorSuccess;
    }
    const auto it = handles_.find(key);
    if (it == handles_.end()) return kErrorInvalidHandle;
    if ((it->second.rights & needed_rights) != needed_rights) return kErrorAccessDenied;
    *opened = it->second;
    return kErrorSuccess;
}

long TreeRegistry::ResolvePath(RegKeyHandle parent, std::string_view sub_key,
                               std::uint32_t needed_rights, OpenedKey* base,
                               KeyPath* full) const {
    long status = Resolve(parent, needed_rights, base);
    if (status != kErrorSuccess) return status;
    KeyPath tail;
    status = ParseSubKeyPath(sub_key, &tail);
    if (status != kErrorSuccess) return status;
    *full = Concat(base->path, tail);
    return full->size() > kMaxKeyDepth ? kErrorInvalidParameter : kErrorSuccess;
}

RegKeyHandle TreeRegistry::AddHandle(OpenedKey opened) {
    do {
        ++next_handle_;
    } while (next_handle_ == kNullKey || IsPredefinedKey(next_handle_) ||
             handles_.count(next_handle_) != 0);
    handles_.emplace(next_handle_, std::move(opened));
    return next_handle_;
}

long TreeRegistry::OpenKey(RegKeyHandle parent, std::string_view sub_key, RegAccess access,
                           RegKeyHandle* result) {
    if (result == nullptr) return kErrorInvalidParameter;
    *result = kNullKey;
    std::lock_guard lock(mutex_);
    OpenedKey base;
    KeyPath full;
    long status = ResolvePath(parent, sub_key, 0, &base, &full);
    if (status != kErrorSuccess) return status;
    status = store_.Read(base.hive, [&](const RegistryTree& tree) {
        if (tree.Find(base.path) == nullptr) return kErrorKeyDeleted;
        return tree.Find(full) == nullptr ? kErrorFileNotFound : kErrorSuccess;
    });
    if (status != kErrorSuccess) return status;
    *result = AddHandle(OpenedKey{base.hive, std::move(full), static_cast<std::uint32_t>(access)});
    return kErrorSuccess;
}

long TreeRegistry::CreateKey(RegKeyHandle parent, std::string_view sub_key, RegAccess access,
                             RegKeyHandle* result) {
    if (result == nullptr) return kErrorInvalidParameter;
    *result = kNullKey;
    std::lock_guard lock(mutex_);
    OpenedKey base;
    KeyPath full;
    const std::uint32_t needed = sub_key.empty() ? 0 : kKeyCreateSubKey;
    long status = ResolvePath(parent, sub_key, needed, &base, &full);
    if (status != kErrorSuccess) return status;
    status = store_.Update(base.hive, [&](RegistryTree& tree, HiveChange& change) {
        if (tree.Find(base.path) == nullptr) return kErrorKeyDeleted;
        if (tree.Find(full) == nullptr) {
            tree.Create(full);
            change = HiveChange::Changed;
        }
        return kErrorSuccess;
    });
    if (status != kErrorSuccess) return status;
    *result = AddHandle(OpenedKey{base.hive, std::move(full), static_cast<std::uint32_t>(access)});
    return kErrorSuccess;
}

long TreeRegistry::CloseKey(RegKeyHandle key) {
    if (IsPredefinedKey(key)) return kErrorSuccess;
    std::lock_guard lock(mutex_);
    return handles_.erase(key) != 0 ? kErrorSuccess : kErrorInvalidHandle;
}

long TreeRegistry::QueryValue(RegKeyHandle key, std::string_view name, RegType* type,
                              std::uint8_t* data, std::uint32_t* size) {
    if (data != nullptr && size == nullptr) return kErrorInvalidParameter;
    if (!IsValidValueName(name)) return kErrorInvalidParameter;
    std::lock_guard lock(mutex_);
    OpenedKey opened;
    const long status = Resolve(key, kKeyQueryValue, &opened);
    if (status != kErrorSuccess) return status;
    return store_.Read(opened.hive, [&](const RegistryTree& tree) {
        const RegKeyNode* node = tree.Find(opened.path);
        if (node == nullptr) return kErrorKeyDeleted;
        const RegValue* value = node->FindValue(name);
        if (value == nullptr) return kErrorFileNotFound;
        // Values never exceed kMaxValueBytes, so the size fits.
        const auto needed = static_cast<std::uint32_t>(value->data.size());
        if (type != nullptr) *type = value->type;
        if (data != nullptr) {
            if (*size < needed) {
                *size = needed;
                return kErrorMoreData;
            }
            if (needed != 0) std::memcpy(data, value->data.data(), needed);
            // Windows ends a text that lacks its terminator with one when
            // the buffer has room for it; the size stays the stored one.
            if (IsTextType(value->type) && needed != 0 && value->data.back() != '\0' &&
                *size > needed) {
                data[needed] = 0;
            }
        }
        if (size != nullptr) *size = needed;
        return kErrorSuccess;
    });
}

long TreeRegistry::SetValue(RegKeyHandle key, std::string_view name, RegType type,
                            const std::uint8_t* data, std::uint32_t size) {
    if (!IsValidValueName(name)) return kErrorInvalidParameter;
    if ((data == nullptr && size != 0) || size > kMaxValueBytes) return kErrorInvalidParameter;
    std::lock_guard lock(mutex_);
    OpenedKey opened;
    const long status = Resolve(key, kKeySetValue, &opened);
    if (status != kErrorSuccess) return status;
    std::string bytes = size == 0 ? std::string()
                                  : std::string(reinterpret_cast<const char*>(data), size);
    return store_.Update(opened.hive, [&](RegistryTree& tree, HiveChange& change) {
        RegKeyNode* node = tree.Find(opened.path);
        if (node == nullptr) return kErrorKeyDeleted;
        const RegValue* old = node->FindValue(name);
        if (old != nullptr && old->type == type && old->data == bytes) return kErrorSuccess;
        node->SetValue(name, type, bytes);
        change = HiveChange::Changed;
        return kErrorSuccess;
    });
}

long TreeRegistry::EnumKey(RegKeyHandle key, std::uint32_t index, char* name,
                           std::uint32_t* name_chars) {
    if (name == nullptr || name_chars == nullptr) return kErrorInvalidParameter;
    std::lock_guard lock(mutex_);
    OpenedKey opened;
    const long status = Resolve(key, kKeyEnumerateSubKeys, &opened);
    if (status != kErrorSuccess) return status;
    return store_.Read(opened.hive, [&](const RegistryTree& tree) {
        const RegKeyNode* node = tree.Find(opened.path);
        if (node == nullptr) return kErrorKeyDeleted;
        if (index >= node->subkeys.size()) return kErrorNoMoreItems;
        const std::string& found = node->subkeys[index].name;
        // Names never exceed kMaxRegNameLength, so the length fits.
        const auto length = static_cast<std::uint32_t>(found.size());
        if (*name_chars <= length) {
            *name_chars = length;
            return kErrorMoreData;
        }
        std::memcpy(name, found.data(), found.size());
        name[found.size()] = '\0';
        *name_chars = length;
        return kErrorSuccess;
    });
}

long TreeRegistry::EnumValue(RegKeyHandle key, std::uint32_t index, std::string* name,
                             RegType* type, std::string* data) {
    std::lock_guard lock(mutex_);
    OpenedKey opened;
    const long status = Resolve(key, kKeyQueryValue, &opened);
    if (status != kErrorSuccess) return status;
    return store_.Read(opened.hive, [&](const RegistryTree& tree) {
        const RegKeyNode* node = tree.Find(opened.path);
        if (node == nullptr) return kErrorKeyDeleted;
        if (index >= node->values.size()) return kErrorNoMoreItems;
        const RegValue& value = node->values[index];
        if (name != nullptr) *name = value.name;
        if (type != nullptr) *type = value.type;
        if (data != nullptr) *data = value.data;
        return kErrorSuccess;
    });
}

long TreeRegistry::DeleteValue(RegKeyHandle key, std::string_view name) {
    if (!IsValidValueName(name)) return kErrorInvalidParameter;
    std::lock_guard lock(mutex_);
    OpenedKey opened;
    const long status = Resolve(key, kKeySetValue, &opened);
    if (status != kErrorSuccess) return status;
    return store_.Update(opened.hive, [&](RegistryTree& tree, HiveChange& change) {
        RegKeyNode* node = tree.Find(opened.path);
        if (node == nullptr) return kErrorKeyDeleted;
        if (!node->DeleteValue(name)) return kErrorFileNotFound;
        change = HiveChange::Changed;
        return kErrorSuccess;
    });
}

long TreeRegistry::DeleteKeyTree(RegKeyHandle parent, std::string_view sub_key) {
    std::lock_guard lock(mutex_);
    OpenedKey base;
    KeyPath full;
    // Windows does not check the parent handle's rights for a key deletion.
    long status = ResolvePath(parent, sub_key, 0, &base, &full);
    if (status != kErrorSuccess) return status;
    if (full.empty()) return kErrorAccessDenied;  // a hive's root is never deleted
    return store_.Update(base.hive, [&](RegistryTree& tree, HiveChange& change) {
        if (tree.Find(base.path) == nullptr) return kErrorKeyDeleted;
        if (!tree.Remove(full)) return kErrorFileNotFound;
        change = HiveChange::Changed;
        return kErrorSuccess;
    });
}

std::size_t TreeRegistry::OpenKeyCount() const {
    std::lock_guard lock(mutex_);
    return handles_.size();
}

}  // namespace kx
