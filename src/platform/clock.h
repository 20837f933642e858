#pragma once

// The clock port: the system's millisecond tick count.

#include <cstdint>

namespace kx {

class Clock {
public:
    virtual ~Clock() = default;

    // Milliseconds since the system started, never wrapping (GetTickCount64).
    // The 32-bit GetTickCount is this value modulo 2^32.
    virtual std::uint64_t TickCount64() = 0;

    std::uint32_t TickCount() { return static_cast<std::uint32_t>(TickCount64()); }
};

}  // namespace kx
