#pragma once

// Windows backend: the tick count.
//
// Implements:
//  - kx::Clock over GetTickCount64, whose low 32 bits are GetTickCount and
//    timeGetTime's count as the console compares them.

#include "platform/clock.h"

namespace kx {

class WinClock final : public Clock {
public:
    std::uint64_t TickCount64() override;
};

}  // namespace kx
