#pragma once

// Runs a function in a forked child process, so a test can kill a writer
// mid-step or let two writers race. The child never returns into the test
// framework: it ends with _exit and the function's result as exit code.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

namespace kx::test {

class ChildProcess {
public:
    explicit ChildProcess(const std::function<int()>& body) : pid_(::fork()) {
        if (pid_ == 0) ::_exit(body());
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // A child still running when the test ends is killed, never left behind.
    ~ChildProcess() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
    }

    bool started() const { return pid_ > 0; }

    void Kill() { ::kill(pid_, SIGKILL); }

    // The raw wait status.
    int Wait() {
        if (reaped_) return status_;
        while (::waitpid(pid_, &status_, 0) < 0) {
            if (errno != EINTR) break;
        }
        reaped_ = true;
        return status_;
    }

    bool ExitedWith(int code) {
        const int status = Wait();
        return WIFEXITED(status) && WEXITSTATUS(status) == code;
    }

    bool KilledBy(int signal) {
        const int status = Wait();
        return WIFSIGNALED(status) && WTERMSIG(status) == signal;
    }

private:
    pid_t pid_;
    int status_ = 0;
    bool reaped_ = false;
};

}  // namespace kx::test
