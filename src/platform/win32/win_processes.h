#pragma once

// Windows backend: processes and files.
//
// Implements:
//  - kx::Processes over CreateProcessA: the application name alone (no
//    command line), no inherited handles, the console's environment, a
//    zeroed STARTUPINFOA with only its size (this build's own, 104 bytes on
//    x64), and as creation flags NORMAL_PRIORITY_CLASS or none, as the
//    caller asks. The UI wait is
//    MsgWaitForMultipleObjectsEx on the process and the thread's queue,
//    dispatching every waiting message (game clients' calls arrive as
//    messages of this thread), so it spends no processor time while idle;
//  - kx::Files over GetTempPathA, GetCurrentDirectoryA, CreateFileA and
//    DeleteFileA.
//
// Missing: job objects; a process handle is the kernel's own.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/processes.h"

namespace kx {

class WinProcesses final : public Processes {
public:
    bool Start(StartPriority priority, std::string_view application, std::string_view directory,
               ProcessHandle* process, std::uint32_t* error) override;
    void WaitForExit(ProcessHandle process) override;
    ProcessState WaitServingEvents(ProcessHandle process) override;
    bool ExitCode(ProcessHandle process, std::uint32_t* code) override;
    void Close(ProcessHandle process) override;
};

class WinFiles final : public Files {
public:
    std::string TempDirectory() override;
    // The user's temporary directory is already the user's own.
    std::string PrivateDownloadDirectory() override { return TempDirectory(); }
    // Any file may be started; there is no mode to set.
    bool MarkExecutable(std::string_view) override { return true; }
    std::string CurrentDirectory() override;
    bool CanOpen(std::string_view path) override;
    bool Delete(std::string_view path) override;
};

}  // namespace kx
