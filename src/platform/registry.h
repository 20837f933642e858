#pragma once

// The registry port. Shaped after the Win32 registry calls so that every step
// of the console's settings logic is one call with the result code Windows
// would give: the Win32 backend forwards to advapi32, the Linux backend keeps
// one text file per hive, and tests use the in-memory registry.
//
// Semantics every implementation keeps:
// - key and value names match without regard to ASCII letter case, and keep
//   the case they were created with;
// - a query of a missing value fails with kErrorFileNotFound and leaves the
//   caller's buffer untouched;
// - a query into a buffer that is too small fails with kErrorMoreData, leaves
//   the buffer untouched and reports the size needed;
// - enumeration past the last subkey fails with kErrorNoMoreItems.

#include <cstdint>
#include <string>
#include <string_view>

namespace kx {

// Win32 error codes as the registry calls return them. Named in our own style
// so they never collide with the Windows SDK's macros in the Win32 backend.
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorBadPathname = 161;
inline constexpr long kErrorMoreData = 234;
inline constexpr long kErrorNoMoreItems = 259;
inline constexpr long kErrorBadDatabase = 1009;  // ERROR_BADDB: the hive cannot be read
inline constexpr long kErrorKeyDeleted = 1018;

// An open key. Values up to 0xFFFFFFFF are predefined roots, as in Win32.
using RegKeyHandle = std::uintptr_t;
inline constexpr RegKeyHandle kHKeyClassesRoot = 0x80000000u;
inline constexpr RegKeyHandle kHKeyCurrentUser = 0x80000001u;
inline constexpr RegKeyHandle kHKeyLocalMachine = 0x80000002u;
inline constexpr RegKeyHandle kNullKey = 0;

inline bool IsPredefinedKey(RegKeyHandle key) {
    return key == kHKeyClassesRoot || key == kHKeyCurrentUser || key == kHKeyLocalMachine;
}

enum class RegAccess : std::uint32_t {
    Read = 0x20019,       // KEY_READ
    Write = 0x20006,      // KEY_WRITE
    AllAccess = 0xF003F,  // KEY_ALL_ACCESS
};

enum class RegType : std::uint32_t {
    None = 0,
    Sz = 1,
    ExpandSz = 2,
    Binary = 3,
    Dword = 4,
    MultiSz = 7,
    Qword = 11,
};

// Longest key name, as Windows allows.
inline constexpr std::size_t kMaxRegNameLength = 255;
// Longest value name: Windows allows far longer value names than key names.
inline constexpr std::size_t kMaxRegValueNameLength = 16383;

class Registry {
public:
    virtual ~Registry() = default;

    // RegOpenKeyExA: fails with kErrorFileNotFound when the key is missing.
    // An empty sub_key opens the parent again.
    virtual long OpenKey(RegKeyHandle parent, std::string_view sub_key, RegAccess access,
                         RegKeyHandle* result) = 0;

    // RegCreateKeyExA: opens the key, creating it and its missing parents.
    virtual long CreateKey(RegKeyHandle parent, std::string_view sub_key, RegAccess access,
                           RegKeyHandle* result) = 0;

    // RegCloseKey. Closing a predefined root does nothing.
    virtual long CloseKey(RegKeyHandle key) = 0;

    // RegQueryValueExA. `size` holds the buffer's capacity in bytes on entry
    // and the value's size on return. With `data` null only the size and type
    // are reported. `type` may be null. An empty name is the default value.
    virtual long QueryValue(RegKeyHandle key, std::string_view name, RegType* type,
                            std::uint8_t* data, std::uint32_t* size) = 0;

    // RegSetValueExA: stores exactly `size` bytes.
    virtual long SetValue(RegKeyHandle key, std::string_view name, RegType type,
                          const std::uint8_t* data, std::uint32_t size) = 0;

    // RegEnumKeyExA. `name_chars` holds the buffer's capacity in characters,
    // terminator included, on entry and the name's length without it on
    // return. A name that does not fit fails with kErrorMoreData.
    virtual long EnumKey(RegKeyHandle key, std::uint32_t index, char* name,
                         std::uint32_t* name_chars) = 0;

    // RegEnumValueA, by index, reporting the name (as a string, not a
    // buffer: only tools enumerate values), the type and the data.
    virtual long EnumValue(RegKeyHandle key, std::uint32_t index, std::string* name,
                           RegType* type, std::string* data) = 0;

    // RegDeleteValueA.
    virtual long DeleteValue(RegKeyHandle key, std::string_view name) = 0;

    // RegDeleteTreeA followed by the removal of the key itself.
    virtual long DeleteKeyTree(RegKeyHandle parent, std::string_view sub_key) = 0;
};

// Owns one open key and closes it on every path out of a scope.
class UniqueRegKey {
public:
    UniqueRegKey() = default;
    explicit UniqueRegKey(Registry& registry) : registry_(&registry) {}
    UniqueRegKey(const UniqueRegKey&) = delete;
    UniqueRegKey& operator=(const UniqueRegKey&) = delete;
    UniqueRegKey(UniqueRegKey&& other) noexcept
        : registry_(other.registry_), key_(other.release()) {}
    UniqueRegKey& operator=(UniqueRegKey&& other) noexcept {
        if (this != &other) {
            reset();
            registry_ = other.registry_;
            key_ = other.release();
        }
        return *this;
    }
    ~UniqueRegKey() { reset(); }

    RegKeyHandle get() const { return key_; }
    explicit operator bool() const { return key_ != kNullKey; }

    // The out-parameter for OpenKey or CreateKey; drops any key held before.
    RegKeyHandle* put() {
        reset();
        return &key_;
    }

    RegKeyHandle release() {
        RegKeyHandle key = key_;
        key_ = kNullKey;
        return key;
    }

    void reset() {
        if (key_ != kNullKey && registry_ != nullptr) registry_->CloseKey(key_);
        key_ = kNullKey;
    }

private:
    Registry* registry_ = nullptr;
    RegKeyHandle key_ = kNullKey;
};

}  // namespace kx
