#pragma once

// Short forms of the registry calls the store tests repeat.

#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace kx::testing {

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

inline ValueRead GetValue(Registry& reg, std::string_view key_path, std::string_view name) {
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

}  // namespace kx::testing
