#include "support/fake_processes.h"

namespace kx::test {

bool FakeProcesses::Start(StartPriority priority, std::string_view application,
                          std::string_view directory, ProcessHandle* process, std::uint32_t* error) {
    starts_.push_back({std::string(application), std::string(directory), priority});
    if (start_error_ != 0) {
        *error = start_error_;
        return false;
    }
    *process = next_handle_++;
    ++open_;
    return true;
}

void FakeProcesses::WaitForExit(ProcessHandle) {
    ++plain_waits_;
    while (!events_.empty()) {
        Event event = std::move(events_.front());
        events_.pop_front();
        event();
    }
}

ProcessState FakeProcesses::WaitServingEvents(ProcessHandle) {
    ++serving_waits_;
    if (events_.empty()) return ProcessState::Ended;
    Event event = std::move(events_.front());
    events_.pop_front();
    event();
    return events_.empty() ? ProcessState::Ended : ProcessState::Running;
}

bool FakeProcesses::ExitCode(ProcessHandle, std::uint32_t* code) {
    *code = exit_code_;
    return true;
}

void FakeProcesses::Close(ProcessHandle) {
    if (open_ > 0) --open_;
}

}  // namespace kx::test
