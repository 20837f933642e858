#pragma once

// Linux backend: the tick count.
//
// Implements:
//  - kx::Clock over CLOCK_BOOTTIME, milliseconds since the system started,
//    suspended time included as Windows counts it.

#include "platform/clock.h"

namespace kx {

class SystemClock final : public Clock {
public:
    std::uint64_t TickCount64() override;
};

}  // namespace kx
