#include "platform/common/registry_tree.h"

#include <algorithm>

#include "base/ansi_text.h"

namespace kx {
namespace {

// Folds to upper case as Windows does, on the UTF-16 unit of the byte's
// Windows-1252 character: that decides where '_' and the other characters
// between 'Z' and 'a' sort, and which accented letters match.
char16_t FoldCase(char c) {
    const char16_t unit = AnsiToWideChar(c);
    if (unit >= u'a' && unit <= u'z') return static_cast<char16_t>(unit - 0x20);
    // Latin-1's small letters, the division sign excepted.
    if (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7) return static_cast<char16_t>(unit - 0x20);
    switch (unit) {
        case 0xFF: return 0x178;   // y diaeresis
        case 0x161: return 0x160;  // s caron
        case 0x153: return 0x152;  // ligature oe
        case 0x17E: return 0x17D;  // z caron
        default: return unit;
    }
}

bool HasByte(std::string_view text, char c) {
    return text.find(c) != std::string_view::npos;
}

}  // namespace

bool NamesEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareNames(a, b) == 0;
}

int CompareNames(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = FoldCase(a[i]);
        const char16_t y = FoldCase(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool IsValidKeyName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxRegNameLength && !HasByte(name, '\\') &&
           !HasByte(name, '\0');
}

bool IsValidValueName(std::string_view name) {
    return name.size() <= kMaxRegValueNameLength && !HasByte(name, '\0');
}

long ParseKeyPath(std::string_view text, KeyPath* path) {
    KeyPath parts;
    if (!text.empty() && text.front() == '\\') return kErrorInvalidParameter;
    if (!text.empty() && text.back() == '\\') text.remove_suffix(1);
    while (!text.empty()) {
        const std::size_t cut = text.find('\\');
        const std::string_view part = text.substr(0, cut);
        if (!IsValidKeyName(part)) return kErrorInvalidParameter;
        parts.emplace_back(part);
        if (parts.size() > kMaxKeyDepth) return kErrorInvalidParameter;
        if (cut == std::string_view::npos) break;
        text.remove_prefix(cut + 1);
        // A separator at the very end was removed above, so this one is doubled.
        if (text.empty()) return kErrorInvalidParameter;
    }
    *path = std::move(parts);
    return kErrorSuccess;
}

long ParseSubKeyPath(std::string_view text, KeyPath* path) {
    if (!text.empty() && text.front() == '\\') return kErrorBadPathname;
    std::string collapsed;
    collapsed.reserve(text.size());
    for (const char c : text) {
        if (c == '\\' && !collapsed.empty() && collapsed.back() == '\\') continue;
        collapsed += c;
    }
    return ParseKeyPath(collapsed, path);
}

std::string JoinKeyPath(const KeyPath& path) {
    std::string joined;
    for (const std::string& part : path) {
        if (!joined.empty()) joined += '\\';
        joined += part;
    }
    return joined;
}

const RegValue* RegKeyNode::FindValue(std::string_view value_name) const {
    for (const RegValue& value : values) {
        if (NamesEqual(value.name, value_name)) return &value;
    }
    return nullptr;
}

void RegKeyNode::SetValue(std::string_view value_name, RegType type, std::string data) {
    for (RegValue& value : values) {
        if (NamesEqual(value.name, value_name)) {
            value.type = type;
            value.data = std::move(data);
            return;
        }
    }
    values.push_back(RegValue{std::string(value_name), type, std::move(data)});
}

bool RegKeyNode::DeleteValue(std::string_view value_name) {
    const auto it = std::find_if(values.begin(), values.end(), [&](const RegValue& value) {
        return NamesEqual(value.name, value_name);
    });
    if (it == values.end()) return false;
    values.erase(it);
    return true;
}

namespace {

template <typename Keys>
auto LowerBound(Keys& keys, std::string_view key_name) {
    return std::lower_bound(keys.begin(), keys.end(), key_name,
                            [](const RegKeyNode& node, std::string_view name) {
                                return CompareNames(node.name, name) < 0;
                            });
}

}  // namespace

const RegKeyNode* RegKeyNode::FindSubkey(std::string_view key_name) const {
    const auto it = LowerBound(subkeys, key_name);
    return (it != subkeys.end() && NamesEqual(it->name, key_name)) ? &*it : nullptr;
}

RegKeyNode* RegKeyNode::FindSubkey(std::string_view key_name) {
    const auto it = LowerBound(subkeys, key_name);
    return (it != subkeys.end() && NamesEqual(it->name, key_name)) ? &*it : nullptr;
}

RegKeyNode& RegKeyNode::AddSubkey(std::string_view key_name) {
    const auto it = LowerBound(subkeys, key_name);
    if (it != subkeys.end() && NamesEqual(it->name, key_name)) return *it;
    RegKeyNode node;
    node.name = std::string(key_name);
    return *subkeys.insert(it, std::move(node));
}

bool RegKeyNode::RemoveSubkey(std::string_view key_name) {
    const auto it = LowerBound(subkeys, key_name);
    if (it == subkeys.end() || !NamesEqual(it->name, key_name)) return false;
    subkeys.erase(it);
    return true;
}

const RegKeyNode* RegistryTree::Find(const KeyPath& path) const {
    const RegKeyNode* node = &root_;
    for (const std::string& part : path) {
        node = node->FindSubkey(part);
        if (node == nullptr) return nullptr;
    }
    return node;
}

RegKeyNode* RegistryTree::Find(const KeyPath& path) {
    RegKeyNode* node = &root_;
    for (const std::string& part : path) {
        node = node->FindSubkey(part);
        if (node == nullptr) return nullptr;
    }
    return node;
}

RegKeyNode& RegistryTree::Create(const KeyPath& path) {
    RegKeyNode* node = &root_;
    for (const std::string& part : path) node = &node->AddSubkey(part);
    return *node;
}

bool RegistryTree::Remove(const KeyPath& path) {
    if (path.empty()) return false;
    RegKeyNode* parent = Find(KeyPath(path.begin(), path.end() - 1));
    return parent != nullptr && parent->RemoveSubkey(path.back());
}

}  // namespace kx
