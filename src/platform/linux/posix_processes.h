#pragma once

// Linux backend: processes and files.
//
// Implements:
//  - kx::Processes with posix_spawn (the program in its own directory, no
//    arguments, the console's environment) and a pidfd per child, so that
//    waiting is a poll on a descriptor: the UI loop can wait on it together
//    with its own events and burns no processor time meanwhile;
//  - kx::Files over the XDG-conforming temporary directory and plain calls.
// Both take "\" as a path separator as well as "/", since the core writes
// paths the way the console's service and registry do.
//
// Missing: job objects and process priority classes.

#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "platform/files.h"
#include "platform/linux/unique_fd.h"
#include "platform/processes.h"

namespace kx {

// Turns the core's "\"-separated paths into native ones.
std::string NativePath(std::string_view path);

class PosixProcesses final : public Processes {
public:
    // Waits until `fd` is readable or the UI has something to do, and serves
    // the UI. The default waits on `fd` alone: there is no UI to serve.
    using UiWait = std::function<void(int fd)>;

    explicit PosixProcesses(UiWait ui_wait = {});
    ~PosixProcesses() override;
    PosixProcesses(const PosixProcesses&) = delete;
    PosixProcesses& operator=(const PosixProcesses&) = delete;

    bool Start(std::string_view application, std::string_view directory, ProcessHandle* process,
               std::uint32_t* error) override;
    void WaitForExit(ProcessHandle process) override;
    ProcessState WaitServingEvents(ProcessHandle process) override;
    bool ExitCode(ProcessHandle process, std::uint32_t* code) override;
    void Close(ProcessHandle process) override;

private:
    struct Child {
        int pid = -1;
        UniqueFd pidfd;
        bool reaped = false;
        int status = 0;
    };

    Child* Find(ProcessHandle process);
    // Reaps the child if it has ended; true once it has.
    bool Reap(Child& child, int flags);

    UiWait ui_wait_;
    std::mutex mutex_;
    std::map<ProcessHandle, Child> children_;
    ProcessHandle next_handle_ = 1;
};

class PosixFiles final : public Files {
public:
    std::string TempDirectory() override;
    std::string CurrentDirectory() override;
    bool CanOpen(std::string_view path) override;
    bool Delete(std::string_view path) override;
};

}  // namespace kx
