#pragma once

// Short-hands for tests that arrange or inspect registry contents through the
// port, exactly as any other caller would.

#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace kx::test {

// Creates the key under HKEY_LOCAL_MACHINE; true when it exists afterwards.
bool CreateKey(Registry& registry, std::string_view path);

// Stores exactly the bytes of `data` (pass the terminating zero yourself).
void SetValue(Registry& registry, std::string_view path, std::string_view name,
              std::string_view data, RegType type = RegType::Sz);

// The value's exact bytes, or nothing when the key or value is missing.
std::optional<std::string> GetValue(Registry& registry, std::string_view path,
                                    std::string_view name);

// A text with its terminating zero, as RegSetValueExA callers store texts.
inline std::string Sz(std::string_view text) {
    std::string bytes(text);
    bytes += '\0';
    return bytes;
}

}  // namespace kx::test
