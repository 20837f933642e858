#include "support/registry_helpers.h"

#include <vector>

namespace kx::test {

bool CreateKey(Registry& registry, std::string_view path, RegKeyHandle root) {
    UniqueRegKey key(registry);
    return registry.CreateKey(root, path, RegAccess::Write, key.put()) ==
           kErrorSuccess;
}

void SetValue(Registry& registry, std::string_view path, std::string_view name,
              std::string_view data, RegType type, RegKeyHandle root) {
    UniqueRegKey key(registry);
    if (registry.CreateKey(root, path, RegAccess::Write, key.put()) != kErrorSuccess)
        return;
    registry.SetValue(key.get(), name, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                      static_cast<std::uint32_t>(data.size()));
}

std::optional<std::string> GetValue(Registry& registry, std::string_view path,
                                    std::string_view name, RegKeyHandle root) {
    UniqueRegKey key(registry);
    if (registry.OpenKey(root, path, RegAccess::Read, key.put()) != kErrorSuccess)
        return std::nullopt;
    std::uint32_t size = 0;
    if (registry.QueryValue(key.get(), name, nullptr, nullptr, &size) != kErrorSuccess)
        return std::nullopt;
    std::vector<std::uint8_t> data(size);
    if (registry.QueryValue(key.get(), name, nullptr, data.data(), &size) != kErrorSuccess)
        return std::nullopt;
    return std::string(data.begin(), data.begin() + size);
}

}  // namespace kx::test
