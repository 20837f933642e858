#include "platform/win32/win_clock.h"

#include <windows.h>

namespace kx {

std::uint64_t WinClock::TickCount64() { return GetTickCount64(); }

}  // namespace kx
