#pragma once

// The process port: starting the programs the console runs (installers and
// game clients) and waiting for them, shaped after CreateProcessA and the
// wait calls. Paths are the core's 8-bit texts; a backend whose file system
// separates with "/" accepts "\" as a separator too.

#include <cstdint>
#include <string_view>

namespace kx {

using ProcessHandle = std::uintptr_t;  // 0 is none

enum class ProcessState { Running, Ended };

// CreateProcessA's priority flags: none (the system's default for a child),
// or NORMAL_PRIORITY_CLASS asked for outright.
enum class StartPriority { Default, Normal };

class Processes {
public:
    virtual ~Processes() = default;

    // CreateProcessA with `application` as the application name, no command
    // line, no inherited handles, `priority` as the creation flags, the
    // console's environment, and `directory` as the current directory
    // (empty: the console's own). On failure returns false with the system
    // error code in `error`.
    virtual bool Start(StartPriority priority, std::string_view application,
                       std::string_view directory, ProcessHandle* process,
                       std::uint32_t* error) = 0;

    // Waits without a time-out until the process has ended; no input, close
    // request, timer or page event is served meanwhile (WaitForSingleObject
    // with INFINITE). A backend may keep its windows painted.
    virtual void WaitForExit(ProcessHandle process) = 0;

    // Waits until the process ends or something arrives for the UI thread
    // (window messages, game client calls), serves what arrived, and reports
    // whether the process has ended. Uses no processor time while idle.
    virtual ProcessState WaitServingEvents(ProcessHandle process) = 0;

    // GetExitCodeProcess; false when the code cannot be had.
    virtual bool ExitCode(ProcessHandle process, std::uint32_t* code) = 0;

    virtual void Close(ProcessHandle process) = 0;
};

// Owns one process handle and closes it on every path out of a scope.
class UniqueProcess {
public:
    UniqueProcess(Processes& processes, ProcessHandle process)
        : processes_(processes), process_(process) {}
    UniqueProcess(const UniqueProcess&) = delete;
    UniqueProcess& operator=(const UniqueProcess&) = delete;
    ~UniqueProcess() {
        if (process_ != 0) processes_.Close(process_);
    }
    ProcessHandle get() const { return process_; }

private:
    Processes& processes_;
    ProcessHandle process_;
};

}  // namespace kx
