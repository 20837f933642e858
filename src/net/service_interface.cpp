#include "net/service_interface.h"

#include <array>

#include "base/registry_paths.h"

namespace kx {

bool IsValidHostName(std::string_view host) {
    if (host.empty() || host.size() > kMaxHostNameLength) return false;
    std::size_t label_length = 0;
    for (char c : host) {
        if (c == '.') {
            if (label_length == 0) return false;
            label_length = 0;
            continue;
        }
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '-';
        if (!allowed || ++label_length > 63) return false;
    }
    return label_length > 0;
}

std::string ServiceHost(Registry& registry) {
    UniqueRegKey key(registry);
    if (registry.OpenKey(kHKeyLocalMachine, kGeneralKey, RegAccess::Read, key.put()) !=
        kErrorSuccess) {
        return std::string(kDefaultServiceHost);
    }

    std::array<std::uint8_t, kMaxHostNameLength + 1> buffer{};
    auto size = static_cast<std::uint32_t>(buffer.size());
    RegType type = RegType::None;
    if (registry.QueryValue(key.get(), kServiceHostValue, &type, buffer.data(), &size) !=
            kErrorSuccess ||
        (type != RegType::Sz && type != RegType::ExpandSz)) {
        return std::string(kDefaultServiceHost);
    }

    std::string host(reinterpret_cast<const char*>(buffer.data()), size);
    if (const auto nul = host.find('\0'); nul != std::string::npos) host.resize(nul);
    if (!IsValidHostName(host)) return std::string(kDefaultServiceHost);
    return host;
}

}  // namespace kx
