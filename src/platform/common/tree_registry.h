#pragma once

// The whole Registry contract over a HiveStore. Open keys are remembered by
// hive and path, so a handle whose key was deleted, by us or by another
// process sharing the store, fails with kErrorKeyDeleted. Handles carry the
// access they were opened with and are checked as Windows checks them (a
// key opened to read cannot be written). Calls may come from any thread.
//
// Implements:
//  - kx::Registry (open, create, query, set, enumerate, delete key, value and
//    tree) with the Win32 status codes, over any HiveStore.
//
// Missing: security descriptors, notifications, volatile keys.

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

#include "platform/common/hive_store.h"
#include "platform/registry.h"

namespace kx {

class TreeRegistry : public Registry {
public:
    // The store must outlive the registry.
    explicit TreeRegistry(HiveStore& store) : store_(store) {}

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

    // Keys opened and not yet closed; lets tests prove that no path leaks a handle.
    std::size_t OpenKeyCount() const;

private:
    struct OpenedKey {
        Hive hive = Hive::LocalMachine;
        KeyPath path;
        std::uint32_t rights = 0;
    };

    // Resolves a handle and checks that it carries the rights an operation needs.
    long Resolve(RegKeyHandle key, std::uint32_t needed_rights, OpenedKey* opened) const;
    // Resolves parent plus sub_key into the key they name.
    long ResolvePath(RegKeyHandle parent, std::string_view sub_key,
                     std::uint32_t needed_rights, OpenedKey* base, KeyPath* full) const;
    RegKeyHandle AddHandle(OpenedKey opened);

    HiveStore& store_;
    mutable std::mutex mutex_;
    std::map<RegKeyHandle, OpenedKey> handles_;
    RegKeyHandle next_handle_ = 0;
};

}  // namespace kx
