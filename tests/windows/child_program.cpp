// A program for the process tests to start. It takes no arguments, as the
// console gives none: what it does comes from the environment it inherits.
//   KX_CHILD_WRITE_CWD  a file to write the current directory into
//   KX_CHILD_SLEEP_MS   how long to run first
//   KX_CHILD_EXIT       the exit code
//   KX_CHILD_FIND_TITLE a console window to look for and bring forward, as a
//                       second console does; exits 0 when found, 1 when not

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/win32/win_single_instance.h"

int main() {
    char value[MAX_PATH] = {};
    if (GetEnvironmentVariableA("KX_CHILD_FIND_TITLE", value, sizeof value) > 0) {
        kx::WinSingleInstance instance;
        const kx::WindowId other = instance.FindWindowByTitle(value);
        if (other == kx::kNoWindow) return 1;
        instance.SetForegroundWindow(other);
        return 0;
    }
    if (GetEnvironmentVariableA("KX_CHILD_WRITE_CWD", value, sizeof value) > 0) {
        char directory[MAX_PATH] = {};
        GetCurrentDirectoryA(sizeof directory, directory);
        if (FILE* out = std::fopen(value, "w")) {
            std::fputs(directory, out);
            std::fclose(out);
        }
    }
    if (GetEnvironmentVariableA("KX_CHILD_SLEEP_MS", value, sizeof value) > 0) {
        Sleep(static_cast<DWORD>(std::atoi(value)));
    }
    if (GetEnvironmentVariableA("KX_CHILD_EXIT", value, sizeof value) > 0) return std::atoi(value);
    return 0;
}
