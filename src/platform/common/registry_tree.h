#pragma once

// The value model of one hive: keys with case-insensitive, case-preserving
// names, values with a type and exact bytes. Subkeys are kept in
// case-insensitive alphabetical order and values in creation order, as the
// Windows registry enumerates them, so enumeration is stable and the text
// form of a hive does not depend on the order of writes to different keys.
//
// Implements:
//  - RegistryTree: keys, values, enumeration and deletion of one hive;
//  - the registry's name comparison (ASCII case folded to upper case).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace kx {

// Windows allows 512 levels; the limit also keeps recursion over a tree
// read from an untrusted file shallow.
inline constexpr std::size_t kMaxKeyDepth = 512;

// Values larger than this are refused: settings are small, and the limit keeps
// a damaged or hostile hive file from making us allocate without bound.
inline constexpr std::size_t kMaxValueBytes = 1024 * 1024;

// The key names from a hive's root down to one key.
using KeyPath = std::vector<std::string>;

// Names match without regard to case and sort as Windows sorts them: each
// byte is read as its Windows-1252 character and folded to upper case, so
// "\xe9" (e acute) matches "\xc9" and '_' sorts after 'Z'.
bool NamesEqual(std::string_view a, std::string_view b);
int CompareNames(std::string_view a, std::string_view b);

bool IsValidKeyName(std::string_view name);
bool IsValidValueName(std::string_view name);

// Splits a backslash-separated key path. An empty path is the key itself; one
// trailing backslash is ignored, as Windows does; a leading or doubled
// backslash (an empty component) and any invalid name give
// kErrorInvalidParameter.
long ParseKeyPath(std::string_view text, KeyPath* path);

// A sub-key as the Win32 calls read it: a leading backslash gives
// kErrorBadPathname, and a run of backslashes inside or at the end counts as
// one. Otherwise as ParseKeyPath.
long ParseSubKeyPath(std::string_view text, KeyPath* path);

std::string JoinKeyPath(const KeyPath& path);

struct RegValue {
    std::string name;
    RegType type = RegType::None;
    std::string data;  // the exact bytes

    bool operator==(const RegValue&) const = default;
};

struct RegKeyNode {
    std::string name;
    std::vector<RegValue> values;     // creation order
    std::vector<RegKeyNode> subkeys;  // case-insensitive alphabetical order

    const RegValue* FindValue(std::string_view value_name) const;
    // Keeps an existing value's position and written name; replaces its type and bytes.
    void SetValue(std::string_view value_name, RegType type, std::string data);
    bool DeleteValue(std::string_view value_name);

    const RegKeyNode* FindSubkey(std::string_view key_name) const;
    RegKeyNode* FindSubkey(std::string_view key_name);
    // Finds the subkey or inserts it at its place in the order.
    RegKeyNode& AddSubkey(std::string_view key_name);
    bool RemoveSubkey(std::string_view key_name);

    bool operator==(const RegKeyNode&) const = default;
};

class RegistryTree {
public:
    const RegKeyNode& root() const { return root_; }
    RegKeyNode& root() { return root_; }

    const RegKeyNode* Find(const KeyPath& path) const;
    RegKeyNode* Find(const KeyPath& path);
    // Creates the key and any missing parents; returns the key.
    RegKeyNode& Create(const KeyPath& path);
    // Removes the key with everything below it; the root cannot be removed.
    bool Remove(const KeyPath& path);

    bool operator==(const RegistryTree&) const = default;

private:
    RegKeyNode root_;
};

}  // namespace kx
