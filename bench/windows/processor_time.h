#pragma once

// This process's processor time, user and kernel together, for the Windows
// benchmarks.

#include <windows.h>

namespace kx::bench {

inline double FileTimeSeconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 1e7;
}

inline double ProcessorSeconds() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}

}  // namespace kx::bench
