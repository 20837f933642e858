#pragma once

// How an engine suite asks its backend for an internet API.

#include <cstdint>
#include <optional>

namespace kx::test {

struct SuiteInetOptions {
    // Whether the demo's certificate authority is trusted; a backend whose
    // trust lies outside the program reaches an untrusted service instead
    // (see UnknownCaHost).
    bool trust_demo_ca = true;
    // The demo host on this port alone, the other leading nowhere, where
    // the backend can route ports; elsewhere both ports lead to the demo.
    std::optional<std::uint16_t> only_port;
};

}  // namespace kx::test
