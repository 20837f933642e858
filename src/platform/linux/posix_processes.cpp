#include "platform/linux/posix_processes.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace kx {

namespace {

int OpenPidfd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// Often enough that a game's call is answered before it gives up, rarely
// enough to cost nothing worth measuring.
constexpr long kTickNanoseconds = 20'000'000;

int OpenTicks() {
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (fd < 0) return -1;
    itimerspec period{};
    period.it_interval.tv_nsec = kTickNanoseconds;
    period.it_value.tv_nsec = kTickNanoseconds;
    if (::timerfd_settime(fd, 0, &period, nullptr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

sigset_t ChildSignal() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGCHLD);
    return set;
}

// A signalfd only hears of SIGCHLD while every thread blocks it; the block
// here covers this thread and the threads it makes later.
int OpenChildSignalFd() {
    const sigset_t set = ChildSignal();
    if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
    return ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

// Reads whatever made `fd` readable, so that the next wait sleeps again.
void DrainFd(int fd, std::size_t record) {
    alignas(8) char buffer[sizeof(signalfd_siginfo) * 8];
    const std::size_t chunk = sizeof buffer / record * record;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, chunk);
        if (got > 0) continue;
        if (got < 0 && errno == EINTR) continue;
        return;
    }
}

// What a child starts with: the console's signal mask less SIGCHLD, which
// the console may block for its own wait.
class SpawnAttributes {
public:
    SpawnAttributes() {
        ok_ = ::posix_spawnattr_init(&attributes_) == 0;
        if (!ok_) return;
        sigset_t mask;
        ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
        sigdelset(&mask, SIGCHLD);
        ok_ = ::posix_spawnattr_setsigmask(&attributes_, &mask) == 0 &&
              ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK) == 0;
    }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    bool ok() const { return ok_; }
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_{};
    bool ok_ = false;
};

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

ChildWatch ChooseChildWatch() {
    const UniqueFd own(OpenPidfd(::getpid()));
    if (own) return ChildWatch::Pidfd;
    const sigset_t set = ChildSignal();
    return ::pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0 ? ChildWatch::SignalDescriptor
                                                            : ChildWatch::Ticks;
}

PosixProcesses::PosixProcesses(UiWait ui_wait, ModalWait modal_wait, ChildWatch watch)
    : ui_wait_(std::move(ui_wait)), modal_wait_(std::move(modal_wait)), watch_(watch) {
    if (watch_ == ChildWatch::SignalDescriptor) {
        signal_fd_.reset(OpenChildSignalFd());
        if (!signal_fd_) watch_ = ChildWatch::Ticks;
    }
    // Every watch may need the ticks: a child whose pidfd could not be had.
    tick_fd_.reset(OpenTicks());
}

// A child still running is left to run on, as a started program outlives a
// closed handle on Windows; only our descriptors go.
PosixProcesses::~PosixProcesses() = default;

bool PosixProcesses::Start(StartPriority, std::string_view application, std::string_view directory,
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

    SpawnAttributes attributes;
    if (!attributes.ok()) {
        *error = ENOMEM;
        return false;
    }

    std::vector<char*> argv{const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = -1;
    if (const int result = ::posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(),
                                         argv.data(), environ);
        result != 0) {
        *error = static_cast<std::uint32_t>(result);
        return false;
    }

    Child child;
    child.pid = pid;
    if (watch_ == ChildWatch::Pidfd) child.pidfd.reset(OpenPidfd(pid));
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

int PosixProcesses::WatchFd(const Child& child) const {
    if (child.pidfd) return child.pidfd.get();
    if (watch_ == ChildWatch::SignalDescriptor) return signal_fd_.get();
    return tick_fd_.get();
}

void PosixProcesses::Drain(const Child& child) const {
    // A pidfd stays readable once its child has ended; nothing to read.
    if (child.pidfd) return;
    if (watch_ == ChildWatch::SignalDescriptor) {
        DrainFd(signal_fd_.get(), sizeof(signalfd_siginfo));
    } else if (tick_fd_) {
        DrainFd(tick_fd_.get(), sizeof(std::uint64_t));
    }
}

void PosixProcesses::WaitForExit(ProcessHandle process) {
    Child* child = Find(process);
    if (child == nullptr || Reap(*child, WNOHANG)) return;
    const int fd = WatchFd(*child);
    if (!modal_wait_ || fd < 0) {
        Reap(*child, 0);
        return;
    }
    // Drained before each look, so that an end after the look still wakes the wait.
    modal_wait_(fd, [this, child] {
        Drain(*child);
        return Reap(*child, WNOHANG);
    });
    // The UI wait may have returned early, as when its loop was told to quit.
    Reap(*child, 0);
}

ProcessState PosixProcesses::WaitServingEvents(ProcessHandle process) {
    Child* child = Find(process);
    if (child == nullptr || Reap(*child, WNOHANG)) return ProcessState::Ended;
    const int fd = WatchFd(*child);
    if (fd < 0) {
        // No descriptor of any kind could be had: only the end itself is left.
        Reap(*child, 0);
        return ProcessState::Ended;
    }
    if (ui_wait_) {
        ui_wait_(fd);
    } else {
        WaitReadable(fd);
    }
    Drain(*child);
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

std::string PosixFiles::PrivateDownloadDirectory() {
    std::string pattern = TempDirectory() + "kestrix-download-XXXXXX";
    // mkdtemp makes it new, empty and 0700, or fails: nothing is reused.
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    pattern += '/';
    return pattern;
}

bool PosixFiles::MarkExecutable(std::string_view path) {
    const std::string native = NativePath(path);
    if (native.find('\0') != std::string::npos) return false;
    // The descriptor pins the file itself: a link put in its place is refused.
    const UniqueFd fd(::open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (!fd || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    return ::fchmod(fd.get(), S_IRWXU) == 0;
}

bool PosixFiles::CanOpen(std::string_view path) {
    return static_cast<bool>(UniqueFd(::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC)));
}

bool PosixFiles::Delete(std::string_view path) { return ::unlink(NativePath(path).c_str()) == 0; }

}  // namespace kx
