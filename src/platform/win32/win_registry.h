#pragma once

// Windows backend: the registry.
//
// Implements:
//  - kx::Registry over advapi32: RegOpenKeyExA, RegCreateKeyExA,
//    RegQueryValueExA, RegSetValueExA, RegEnumKeyExA, RegQueryInfoKeyA with
//    RegEnumValueA, RegDeleteValueA, RegDeleteTreeA with RegDeleteKeyA, and
//    RegCloseKey. Their result codes are passed through unchanged.
//  - Handles of its own, each owning one HKEY until it is closed. A closed or
//    made-up handle fails with kErrorInvalidHandle before it reaches Windows,
//    and an old handle never names a key opened later.
//  - The port's promises that the Win32 calls leave open: a name that does
//    not fit is reported with its length, a name or path carrying a zero byte
//    is refused instead of being cut short, and a hive's root is never
//    deleted.
//  - A count of open handles, so tests can prove that nothing leaks.
//
// Missing: the other predefined roots (HKEY_USERS and the rest), the 32- and
// 64-bit views, security descriptors, change notification.

#include <cstddef>
#include <map>
#include <mutex>

#include "platform/registry.h"

struct HKEY__;

namespace kx {

class WinRegistry final : public Registry {
public:
    WinRegistry() = default;
    WinRegistry(const WinRegistry&) = delete;
    WinRegistry& operator=(const WinRegistry&) = delete;
    ~WinRegistry() override;  // closes every key still open

    long OpenKey(RegKeyHandle parent, std::string_view sub_key, RegAccess access,
                 RegKeyHandle* result) override;
    long CreateKey(RegKeyHandle parent, std::string_view sub_key, RegAccess access,
                   RegKeyHandle* result) override;
    long CloseKey(RegKeyHandle key) override;
    long QueryValue(RegKeyHandle key, std::string_view name, RegType* type, std::uint8_t* data,
                    std::uint32_t* size) override;
    long SetValue(RegKeyHandle key, std::string_view name, RegType type,
                  const std::uint8_t* data, std::uint32_t size) override;
    long EnumKey(RegKeyHandle key, std::uint32_t index, char* name,
                 std::uint32_t* name_chars) override;
    long EnumValue(RegKeyHandle key, std::uint32_t index, std::string* name, RegType* type,
                   std::string* data) override;
    long DeleteValue(RegKeyHandle key, std::string_view name) override;
    long DeleteKeyTree(RegKeyHandle parent, std::string_view sub_key) override;

    // Keys opened and not yet closed.
    std::size_t OpenKeyCount() const;

private:
    using HKey = HKEY__*;

    // Owns one HKEY and closes it on every path out.
    class UniqueHKey {
    public:
        UniqueHKey() = default;
        explicit UniqueHKey(HKey key) : key_(key) {}
        UniqueHKey(const UniqueHKey&) = delete;
        UniqueHKey& operator=(const UniqueHKey&) = delete;
        UniqueHKey(UniqueHKey&& other) noexcept : key_(other.release()) {}
        UniqueHKey& operator=(UniqueHKey&& other) noexcept;
        ~UniqueHKey() { reset(); }

        HKey get() const { return key_; }
        HKey* put() {
            reset();
            return &key_;
        }
        HKey release() {
            HKey key = key_;
            key_ = nullptr;
            return key;
        }
        void reset();

    private:
        HKey key_ = nullptr;
    };

    // The HKEY a handle stands for; call with mutex_ held.
    long Lookup(RegKeyHandle key, HKey* hkey) const;
    // Takes ownership of an opened HKEY and hands out a new handle for it.
    RegKeyHandle Adopt(UniqueHKey hkey);

    mutable std::mutex mutex_;
    std::map<RegKeyHandle, UniqueHKey> handles_;
    RegKeyHandle next_handle_ = 0;
};

}  // namespace kx
