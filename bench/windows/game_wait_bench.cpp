// The console's processor time while it waits for a game, on Windows: a
// child that runs for a while (the test child program, told by the
// environment to sleep) is waited for with the UI wait the play uses, while
// another thread posts a message to the waiting thread every 100 ms, as a
// game's calls would arrive. Prints the wall time, this process's user and
// kernel time over the wait, and the share of one core.
//
// Usage: kx_bench_game_wait.exe [seconds]   (default 10)

#include <windows.h>

#include "processor_time.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/win32/win_processes.h"

namespace {

using kx::bench::ProcessorSeconds;

LRESULT CALLBACK Count(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP) return 0;
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string child(path);
    child = child.substr(0, child.find_last_of('\\') + 1) + "kx_windows_child.exe";
    SetEnvironmentVariableA("KX_CHILD_SLEEP_MS", std::to_string(seconds * 1000).c_str());

    WNDCLASSA window_class{};
    window_class.lpfnWndProc = Count;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "KxBenchWindow";
    RegisterClassA(&window_class);
    HWND window = CreateWindowA("KxBenchWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                window_class.hInstance, nullptr);

    kx::WinProcesses processes;
    kx::ProcessHandle process = 0;
    std::uint32_t error = 0;
    if (!processes.Start(kx::StartPriority::Default, child, "", &process, &error)) {
        std::fprintf(stderr, "cannot start %s: %u\n", child.c_str(), error);
        return 1;
    }
    std::atomic<bool> done{false};
    std::thread poster([&] {
        while (!done) {
            Sleep(100);
            PostMessageA(window, WM_APP, 0, 0);
        }
    });
    const ULONGLONG start = GetTickCount64();
    const double before = ProcessorSeconds();
    long turns = 0;
    while (processes.WaitServingEvents(process) == kx::ProcessState::Running) ++turns;
    const double used = ProcessorSeconds() - before;
    const double wall = static_cast<double>(GetTickCount64() - start) / 1000.0;
    done = true;
    poster.join();
    processes.Close(process);
    std::printf("game wait: %.2f s wall, %.3f s processor (%.2f %% of a core), %ld wake-ups\n",
                wall, used, wall > 0 ? 100.0 * used / wall : 0.0, turns);
    return 0;
}
