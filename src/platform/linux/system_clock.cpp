#include "platform/linux/system_clock.h"

#include <time.h>

namespace kx {

std::uint64_t SystemClock::TickCount64() {
    timespec now{};
    if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0) ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1'000'000u;
}

}  // namespace kx
