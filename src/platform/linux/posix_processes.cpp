#include "platform/linux/posix_processes.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace kx {

namespace {

int OpenPidfd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

void WaitReadable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
    }
}

// Spawn's file actions, released on every path.
class SpawnActions {
public:
    SpawnActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
    ~SpawnActions() {
        if (ok_) ::posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    bool ok() const { return ok_; }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
    bool ok_ = false;
};

}  // namespace

std::string NativePath(std::string_view path) {
    std::string native(path);
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return native;
}

PosixProcesses::PosixProcesses(UiWait ui_wait) : ui_wait_(std::move(ui_wait)) {}

// A child still running is left to run on, as a started program outlives a
// closed handle on Windows; only our descriptors go.
PosixProcesses::~PosixProcesses() = default;

bool PosixProcesses::Start(std::string_view application, std::string_view directory,
                           ProcessHandle* process, std::uint32_t* error) {
    const std::string program = NativePath(application);
    const std::string dir = NativePath(directory);
    if (program.empty() || program.find('\0') != std::string::npos ||
        dir.find('\0') != std::string::npos) {
        *error = EINVAL;
        return false;
    }
    // The spawned program starts only if it exists and may be run: check
    // first so the failure is reported here, as CreateProcess reports it.
    if (::access(program.c_str(), X_OK) != 0) {
        *error = static_cast<std::uint32_t>(errno);
        return false;
    }

    SpawnActions actions;
    if (!actions.ok()) {
        *error = ENOMEM;
        return false;
    }
    if (!dir.empty() && ::posix_spawn_file_actions_addchdir_np(actions.get(), dir.c_str()) != 0) {
        *error = ENOMEM;
        return false;
    }

    // The game gets its standard streams only: not the trace file, downloads or sockets.
    if (::posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1) != 0) {
        *error = ENOMEM;
        return false;
    }

    std::vector<char*> argv{const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = -1;
    if (const int result =
            ::posix_spawn(&pid, program.c_str(), actions.get(), nullptr, argv.data(), environ);
        result != 0) {
        *error = static_cast<std::uint32_t>(result);
        return false;
    }

    Child child;
    child.pid = pid;
    child.pidfd.reset(OpenPidfd(pid));
    const std::lock_guard lock(mutex_);
    const ProcessHandle handle = next_handle_++;
    children_[handle] = std::move(child);
    *process = handle;
    return true;
}

PosixProcesses::Child* PosixProcesses::Find(ProcessHandle process) {
    const std::lock_guard lock(mutex_);
    const auto it = children_.find(process);
    return it == children_.end() ? nullptr : &it->second;
}

bool PosixProcesses::Reap(Child& child, int flags) {
    if (child.reaped) return true;
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(child.pid, &status, flags);
    } while (result < 0 && errno == EINTR);
    if (result == child.pid || (result < 0 && errno == ECHILD)) {
        child.reaped = true;
        child.status = result == child.pid ? status : 0;
    }
    return child.reaped;
}

void PosixProcesses::WaitForExit(ProcessHandle process) {
    Child* child = Find(process);
    if (child != nullptr) Reap(*child, 0);
}

ProcessState PosixProcesses::WaitServingEvents(ProcessHandle process) {
    Child* child = Find(process);
    if (child == nullptr || Reap(*child, WNOHANG)) return ProcessState::Ended;
    if (!child->pidfd) {
        // Without a pidfd there is nothing to poll: wait for the end itself.
        Reap(*child, 0);
        return ProcessState::Ended;
    }
    if (ui_wait_) {
        ui_wait_(child->pidfd.get());
    } else {
        WaitReadable(child->pidfd.get());
    }
    return Reap(*child, WNOHANG) ? ProcessState::Ended : ProcessState::Running;
}

bool PosixProcesses::ExitCode(ProcessHandle process, std::uint32_t* code) {
    Child* child = Find(process);
    if (child == nullptr || !child->reaped) return false;
    if (WIFEXITED(child->status)) {
        *code = static_cast<std::uint32_t>(WEXITSTATUS(child->status));
    } else if (WIFSIGNALED(child->status)) {
        // As a killed Windows process reports a code of its own.
        *code = 128u + static_cast<std::uint32_t>(WTERMSIG(child->status));
    } else {
        *code = 0;
    }
    return true;
}

void PosixProcesses::Close(ProcessHandle process) {
    const std::lock_guard lock(mutex_);
    const auto it = children_.find(process);
    if (it == children_.end()) return;
    children_.erase(it);
}

std::string PosixFiles::TempDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir;
}

std::string PosixFiles::CurrentDirectory() {
    std::vector<char> buffer(PATH_MAX);
    if (::getcwd(buffer.data(), buffer.size()) == nullptr) return {};
    return buffer.data();
}

bool PosixFiles::CanOpen(std::string_view path) {
    return static_cast<bool>(UniqueFd(::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC)));
}

bool PosixFiles::Delete(std::string_view path) { return ::unlink(NativePath(path).c_str()) == 0; }

}  // namespace kx
