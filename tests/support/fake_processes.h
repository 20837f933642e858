#pragma once

// A process port in memory: starts succeed or fail as told, and a started
// program "runs" as a list of events that the waits serve one at a time, so a
// test can act as the program (and as whatever it calls) while the console waits.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace kx::test {

struct StartRecord {
    std::string application;
    std::string directory;
    StartPriority priority = StartPriority::Default;
};

class FakeProcesses final : public Processes {
public:
    using Event = std::function<void()>;

    // The next starts fail with this system error code.
    void FailStarts(std::uint32_t error) { start_error_ = error; }
    // Runs while the started program lives, in order; the program ends once
    // the last has been served.
    void Then(Event event) { events_.push_back(std::move(event)); }
    void SetExitCode(std::uint32_t code) { exit_code_ = code; }

    const std::vector<StartRecord>& Starts() const { return starts_; }
    // Calls of WaitServingEvents, and of WaitForExit.
    int ServingWaits() const { return serving_waits_; }
    int PlainWaits() const { return plain_waits_; }
    // Handles given out and not yet closed.
    std::size_t OpenHandles() const { return open_; }

    bool Start(StartPriority priority, std::string_view application, std::string_view directory,
               ProcessHandle* process, std::uint32_t* error) override;
    void WaitForExit(ProcessHandle process) override;
    ProcessState WaitServingEvents(ProcessHandle process) override;
    bool ExitCode(ProcessHandle process, std::uint32_t* code) override;
    void Close(ProcessHandle process) override;

private:
    std::uint32_t start_error_ = 0;
    std::uint32_t exit_code_ = 0;
    std::deque<Event> events_;
    std::vector<StartRecord> starts_;
    int serving_waits_ = 0;
    int plain_waits_ = 0;
    std::size_t open_ = 0;
    ProcessHandle next_handle_ = 0x700;
};

}  // namespace kx::test
