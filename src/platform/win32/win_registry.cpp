#include "platform/win32/win_registry.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace kx {
namespace {

// The Win32 calls take zero-terminated names: one with a zero byte inside
// would silently name another key or value.
bool HasZeroByte(std::string_view text) { return text.find('\0') != std::string_view::npos; }

HKEY PredefinedHKey(RegKeyHandle key) {
    switch (key) {
        case kHKeyClassesRoot: return HKEY_CLASSES_ROOT;
        case kHKeyCurrentUser: return HKEY_CURRENT_USER;
        case kHKeyLocalMachine: return HKEY_LOCAL_MACHINE;
        default: return nullptr;
    }
}

// A value of the predefined range that Windows hands back stays Windows' own.
bool IsPredefinedHKey(HKEY key) {
    const auto value = reinterpret_cast<std::uintptr_t>(key);
    return value >= 0x80000000u && value <= 0xFFFFFFFFu;
}

// Room for the longest key name in any ANSI code page, two bytes a character.
constexpr DWORD kEnumNameBytes = 2 * kMaxRegNameLength + 1;

// RegEnumValueA is retried when a value grows between the size query and the read.
constexpr int kEnumValueAttempts = 4;

}  // namespace

WinRegistry::UniqueHKey& WinRegistry::UniqueHKey::operator=(UniqueHKey&& other) noexcept {
    if (this != &other) {
        reset();
        key_ = other.release();
    }
    return *this;
}

void WinRegistry::UniqueHKey::reset() {
    if (key_ != nullptr && !IsPredefinedHKey(key_)) RegCloseKey(key_);
    key_ = nullptr;
}

WinRegistry::~WinRegistry() = default;

long WinRegistry::Lookup(RegKeyHandle key, HKey* hkey) const {
    if (const HKEY root = PredefinedHKey(key); root != nullptr) {
        *hkey = root;
        return kErrorSuccess;
    }
    const auto it = handles_.find(key);
    if (it == handles_.end()) return kErrorInvalidHandle;
    *hkey = it->second.get();
    return kErrorSuccess;
}

RegKeyHandle WinRegistry::Adopt(UniqueHKey hkey) {
    do {
        ++next_handle_;
    } while (next_handle_ == kNullKey || IsPredefinedKey(next_handle_) ||
             handles_.count(next_handle_) != 0);
    handles_.emplace(next_handle_, std::move(hkey));
    return next_handle_;
}

long WinRegistry::OpenKey(RegKeyHandle parent, std::string_view sub_key, RegAccess access,
                          RegKeyHandle* result) {
    if (result == nullptr) return kErrorInvalidParameter;
    *result = kNullKey;
    std::lock_guard lock(mutex_);
    HKEY base = nullptr;
    if (const long status = Lookup(parent, &base); status != kErrorSuccess) return status;
    if (HasZeroByte(sub_key)) return kErrorInvalidParameter;
    const std::string path(sub_key);
    UniqueHKey opened;
    const LSTATUS status = RegOpenKeyExA(base, path.c_str(), 0, static_cast<REGSAM>(access),
                                         opened.put());
    if (status != ERROR_SUCCESS) return status;
    *result = Adopt(std::move(opened));
    return kErrorSuccess;
}

long WinRegistry::CreateKey(RegKeyHandle parent, std::string_view sub_key, RegAccess access,
                            RegKeyHandle* result) {
    if (result == nullptr) return kErrorInvalidParameter;
    *result = kNullKey;
    std::lock_guard lock(mutex_);
    HKEY base = nullptr;
    if (const long status = Lookup(parent, &base); status != kErrorSuccess) return status;
    if (HasZeroByte(sub_key)) return kErrorInvalidParameter;
    const std::string path(sub_key);
    UniqueHKey created;
    const LSTATUS status =
        RegCreateKeyExA(base, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        static_cast<REGSAM>(access), nullptr, created.put(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    *result = Adopt(std::move(created));
    return kErrorSuccess;
}

long WinRegistry::CloseKey(RegKeyHandle key) {
    if (IsPredefinedKey(key)) return kErrorSuccess;
    std::lock_guard lock(mutex_);
    const auto it = handles_.find(key);
    if (it == handles_.end()) return kErrorInvalidHandle;
    const HKEY hkey = it->second.release();
    handles_.erase(it);
    return RegCloseKey(hkey);
}

long WinRegistry::QueryValue(RegKeyHandle key, std::string_view name, RegType* type,
                             std::uint8_t* data, std::uint32_t* size) {
    if (data != nullptr && size == nullptr) return kErrorInvalidParameter;
    if (HasZeroByte(name)) return kErrorInvalidParameter;
    std::lock_guard lock(mutex_);
    HKEY hkey = nullptr;
    if (const long status = Lookup(key, &hkey); status != kErrorSuccess) return status;
    const std::string value_name(name);
    DWORD value_type = REG_NONE;
    DWORD value_size = size != nullptr ? *size : 0;
    const LSTATUS status = RegQueryValueExA(hkey, value_name.c_str(), nullptr, &value_type, data,
                                            size != nullptr ? &value_size : nullptr);
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        if (type != nullptr) *type = static_cast<RegType>(value_type);
        if (size != nullptr) *size = value_size;
    }
    return status;
}

long WinRegistry::SetValue(RegKeyHandle key, std::string_view name, RegType type,
                           const std::uint8_t* data, std::uint32_t size) {
    if (HasZeroByte(name)) return kErrorInvalidParameter;
    std::lock_guard lock(mutex_);
    HKEY hkey = nullptr;
    if (const long status = Lookup(key, &hkey); status != kErrorSuccess) return status;
    const std::string value_name(name);
    return RegSetValueExA(hkey, value_name.c_str(), 0, static_cast<DWORD>(type), data, size);
}

long WinRegistry::EnumKey(RegKeyHandle key, std::uint32_t index, char* name,
                          std::uint32_t* name_chars) {
    if (name == nullptr || name_chars == nullptr) return kErrorInvalidParameter;
    std::lock_guard lock(mutex_);
    HKEY hkey = nullptr;
    if (const long status = Lookup(key, &hkey); status != kErrorSuccess) return status;
    // Read into a buffer that always fits, so a short one of the caller's
    // learns the length it needs and stays untouched.
    char found[kEnumNameBytes];
    DWORD length = kEnumNameBytes;
    const LSTATUS status =
        RegEnumKeyExA(hkey, index, found, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    if (*name_chars <= length) {
        *name_chars = length;
        return kErrorMoreData;
    }
    std::memcpy(name, found, length);
    name[length] = '\0';
    *name_chars = length;
    return kErrorSuccess;
}

long WinRegistry::EnumValue(RegKeyHandle key, std::uint32_t index, std::string* name,
                            RegType* type, std::string* data) {
    std::lock_guard lock(mutex_);
    HKEY hkey = nullptr;
    if (const long status = Lookup(key, &hkey); status != kErrorSuccess) return status;
    LSTATUS status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kEnumValueAttempts && status == ERROR_MORE_DATA; ++attempt) {
        DWORD longest_name = 0;
        DWORD largest_data = 0;
        status = RegQueryInfoKeyA(hkey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, &longest_name, &largest_data, nullptr, nullptr);
        if (status != ERROR_SUCCESS) return status;
        // The sizes count UTF-16 units; an ANSI name may take two bytes for each.
        std::vector<char> name_buffer(2 * static_cast<std::size_t>(longest_name) + 1);
        std::vector<BYTE> data_buffer(static_cast<std::size_t>(largest_data) + 1);
        auto name_length = static_cast<DWORD>(name_buffer.size());
        auto data_length = static_cast<DWORD>(data_buffer.size());
        DWORD value_type = REG_NONE;
        status = RegEnumValueA(hkey, index, name_buffer.data(), &name_length, nullptr, &value_type,
                               data != nullptr ? data_buffer.data() : nullptr,
                               data != nullptr ? &data_length : nullptr);
        if (status != ERROR_SUCCESS) continue;
        if (name != nullptr) name->assign(name_buffer.data(), name_length);
        if (type != nullptr) *type = static_cast<RegType>(value_type);
        if (data != nullptr) {
            data->assign(reinterpret_cast<const char*>(data_buffer.data()), data_length);
        }
    }
    return status;
}

long WinRegistry::DeleteValue(RegKeyHandle key, std::string_view name) {
    if (HasZeroByte(name)) return kErrorInvalidParameter;
    std::lock_guard lock(mutex_);
    HKEY hkey = nullptr;
    if (const long status = Lookup(key, &hkey); status != kErrorSuccess) return status;
    const std::string value_name(name);
    return RegDeleteValueA(hkey, value_name.c_str());
}

long WinRegistry::DeleteKeyTree(RegKeyHandle parent, std::string_view sub_key) {
    // RegDeleteTreeA with no sub-key would empty a whole hive.
    if (IsPredefinedKey(parent) && sub_key.empty()) return kErrorAccessDenied;
    if (HasZeroByte(sub_key)) return kErrorInvalidParameter;
    std::lock_guard lock(mutex_);
    HKEY base = nullptr;
    if (const long status = Lookup(parent, &base); status != kErrorSuccess) return status;
    if (!sub_key.empty()) {
        const std::string path(sub_key);
        return RegDeleteTreeA(base, path.c_str());
    }
    // Without a sub-key RegDeleteTreeA keeps the key itself; the port removes it too.
    const LSTATUS status = RegDeleteTreeA(base, nullptr);
    if (status != ERROR_SUCCESS) return status;
    return RegDeleteKeyA(base, "");
}

std::size_t WinRegistry::OpenKeyCount() const {
    std::lock_guard lock(mutex_);
    return handles_.size();
}

}  // namespace kx
