#pragma once

// Linux backend: processes and files.
//
// Implements:
//  - kx::Processes with posix_spawn (the program in its own directory, no
//    arguments, the console's environment) and a descriptor that becomes
//    readable when a child may have ended, so that waiting is a poll on it:
//    the UI loop can wait on it together with its own events and burns no
//    processor time meanwhile. The descriptor is a pidfd per child where the
//    kernel has them, else one signalfd for SIGCHLD (blocked in every thread
//    from start-up), and as a last resort a timer that ticks every 20 ms;
//  - the plain wait with a UI wait of its own that keeps windows painted;
//  - kx::Files over the XDG-conforming temporary directory and plain calls;
//    each private download directory is made fresh with mkdtemp (mode 0700),
//    and a program is marked executable for its owner only, never through a
//    symbolic link.
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

// How the end of a child is noticed.
enum class ChildWatch {
    Pidfd,             // a descriptor per child; a child without one is watched by ticks
    SignalDescriptor,  // a signalfd for SIGCHLD, which must be blocked in every thread
    Ticks,             // a timer descriptor that wakes the wait every 20 ms
};

// Picks the watch for this kernel, at start-up before any thread exists:
// without pidfds it blocks SIGCHLD in the calling thread, which the threads
// made later inherit, and answers SignalDescriptor.
ChildWatch ChooseChildWatch();

class PosixProcesses final : public Processes {
public:
    // Waits until `fd` is readable or the UI has something to do, and serves
    // the UI. The default waits on `fd` alone: there is no UI to serve.
    using UiWait = std::function<void(int fd)>;
    // Returns once `ended` answers true, asking it whenever `fd` has become
    // readable; serves no input meanwhile. The default blocks in waitpid.
    using ModalWait = std::function<void(int fd, const std::function<bool()>& ended)>;

    explicit PosixProcesses(UiWait ui_wait = {}, ModalWait modal_wait = {},
                            ChildWatch watch = ChildWatch::Pidfd);
    ~PosixProcesses() override;
    PosixProcesses(const PosixProcesses&) = delete;
    PosixProcesses& operator=(const PosixProcesses&) = delete;

    bool Start(StartPriority priority, std::string_view application, std::string_view directory,
               ProcessHandle* process, std::uint32_t* error) override;
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
    // The descriptor to wait on for `child`, and what to do once it woke.
    int WatchFd(const Child& child) const;
    void Drain(const Child& child) const;

    UiWait ui_wait_;
    ModalWait modal_wait_;
    ChildWatch watch_;
    UniqueFd signal_fd_;  // SignalDescriptor
    UniqueFd tick_fd_;    // Ticks, and children without their own descriptor
    std::mutex mutex_;
    std::map<ProcessHandle, Child> children_;
    ProcessHandle next_handle_ = 1;
};

class PosixFiles final : public Files {
public:
    std::string TempDirectory() override;
    std::string PrivateDownloadDirectory() override;
    bool MarkExecutable(std::string_view path) override;
    std::string CurrentDirectory() override;
    bool CanOpen(std::string_view path) override;
    bool Delete(std::string_view path) override;
};

}  // namespace kx
