#pragma once

// Short-hands for tests that arrange or inspect registry contents through the
// port, exactly as any other caller would.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace kx::test {

// Creates the key, by default under HKEY_LOCAL_MACHINE; true when it exists afterwards.
bool CreateKey(Registry& registry, std::string_view path, RegKeyHandle root = kHKeyLocalMachine);

// Stores exactly the bytes of `data` (pass the terminating zero yourself).
void SetValue(Registry& registry, std::string_view path, std::string_view name,
              std::string_view data, RegType type = RegType::Sz,
              RegKeyHandle root = kHKeyLocalMachine);

// The value's exact bytes, or nothing when the key or value is missing.
std::optional<std::string> GetValue(Registry& registry, std::string_view path,
                                    std::string_view name, RegKeyHandle root = kHKeyLocalMachine);

// A text with its terminating zero, as RegSetValueExA callers store texts.
inline std::string Sz(std::string_view text) {
    std::string bytes(text);
    bytes += '\0';
    return bytes;
}

// The store tests' forms, which keep the registry's own status codes.
inline long PutValue(Registry& reg, std::string_view key_path, std::string_view name,
                     const std::string& bytes, RegType type = RegType::Binary) {
    UniqueRegKey key(reg);
    const long status = reg.CreateKey(kHKeyLocalMachine, key_path, RegAccess::Write, key.put());
    if (status != kErrorSuccess) return status;
    return reg.SetValue(key.get(), name, type, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                        static_cast<std::uint32_t>(bytes.size()));
}

struct ValueRead {
    long status = kErrorSuccess;
    std::string bytes;
};

inline ValueRead ReadValue(Registry& reg, std::string_view key_path, std::string_view name) {
    ValueRead read;
    UniqueRegKey key(reg);
    read.status = reg.OpenKey(kHKeyLocalMachine, key_path, RegAccess::Read, key.put());
    if (read.status != kErrorSuccess) return read;
    std::uint32_t size = 0;
    read.status = reg.QueryValue(key.get(), name, nullptr, nullptr, &size);
    if (read.status != kErrorSuccess) return read;
    read.bytes.resize(size);
    read.status = reg.QueryValue(key.get(), name, nullptr,
                                 reinterpret_cast<std::uint8_t*>(read.bytes.data()), &size);
    read.bytes.resize(size);
    return read;
}

}  // namespace kx::test
