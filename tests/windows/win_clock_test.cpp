#include "platform/win32/win_clock.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace kx {
namespace {

TEST(WinClock, CountsWithTheSystemAndItsLowBitsAreTheShortCount) {
    WinClock clock;
    const std::uint64_t before = clock.TickCount64();
    Sleep(60);
    const std::uint64_t after = clock.TickCount64();
    // The count moves in the system's ticks, which may be coarse.
    EXPECT_GT(after, before);
    const DWORD short_count = GetTickCount();
    EXPECT_LE(static_cast<std::uint32_t>(short_count - clock.TickCount()), 1000u);
}

}  // namespace
}  // namespace kx
