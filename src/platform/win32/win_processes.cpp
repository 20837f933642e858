#include "platform/win32/win_processes.h"

#include <windows.h>

#include <string>

#include "platform/win32/win_handles.h"

namespace kx {

namespace {

HANDLE AsHandle(ProcessHandle process) { return reinterpret_cast<HANDLE>(process); }

// Every message waiting for this thread, whatever window it is for.
void DispatchWaiting() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool HasEnded(HANDLE process) { return WaitForSingleObject(process, 0) != WAIT_TIMEOUT; }

}  // namespace

bool WinProcesses::Start(StartPriority priority, std::string_view application,
                         std::string_view directory, ProcessHandle* process, std::uint32_t* error) {
    const std::string program(application);
    const std::string folder(directory);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const DWORD flags = priority == StartPriority::Normal ? NORMAL_PRIORITY_CLASS : 0;
    if (!CreateProcessA(program.c_str(), nullptr, nullptr, nullptr, FALSE, flags, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
        if (error != nullptr) *error = GetLastError();
        return false;
    }
    // Only the process is waited for; its first thread is nobody's business.
    const UniqueHandle thread(started.hThread);
    *process = reinterpret_cast<ProcessHandle>(started.hProcess);
    return true;
}

void WinProcesses::WaitForExit(ProcessHandle process) {
    WaitForSingleObject(AsHandle(process), INFINITE);
}

ProcessState WinProcesses::WaitServingEvents(ProcessHandle process) {
    HANDLE handle = AsHandle(process);
    if (HasEnded(handle)) return ProcessState::Ended;
    // Input that arrived before the wait counts too, or a message posted
    // just before it would wait for the next one.
    const DWORD woke =
        MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0 + 1) DispatchWaiting();
    return woke == WAIT_FAILED || HasEnded(handle) ? ProcessState::Ended : ProcessState::Running;
}

bool WinProcesses::ExitCode(ProcessHandle process, std::uint32_t* code) {
    DWORD exit_code = 0;
    if (!GetExitCodeProcess(AsHandle(process), &exit_code)) return false;
    *code = exit_code;
    return true;
}

void WinProcesses::Close(ProcessHandle process) { UniqueHandle owned(AsHandle(process)); }

std::string WinFiles::TempDirectory() {
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof buffer, buffer);
    if (length == 0 || length >= sizeof buffer) return {};
    return std::string(buffer, length);
}

std::string WinFiles::CurrentDirectory() {
    const DWORD needed = GetCurrentDirectoryA(0, nullptr);
    if (needed == 0) return {};
    std::string directory(needed, '\0');
    const DWORD length = GetCurrentDirectoryA(needed, directory.data());
    if (length == 0 || length >= needed) return {};
    directory.resize(length);
    // The root keeps its separator from the call; the port wants none.
    if (!directory.empty() && (directory.back() == '\\' || directory.back() == '/')) {
        directory.pop_back();
    }
    return directory;
}

bool WinFiles::CanOpen(std::string_view path) {
    const std::string name(path);
    const UniqueHandle file(CreateFileA(name.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

bool WinFiles::Delete(std::string_view path) {
    const std::string name(path);
    return DeleteFileA(name.c_str()) != 0;
}

}  // namespace kx
