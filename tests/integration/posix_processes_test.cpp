// Starting and waiting for programs on Linux, and the file calls beside them.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/linux/posix_processes.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

class PosixProcessesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kx_proc_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "game");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A shell script that runs `body`; returns its path.
    std::string Script(const std::string& name, const std::string& body) {
        const fs::path path = dir_ / "game" / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir_;
};

TEST_F(PosixProcessesTest, RunsTheProgramInItsDirectoryAndReportsItsExitCode) {
    const std::string program = Script("game.sh", "pwd > where.txt; exit 7");
    PosixProcesses processes;
    ProcessHandle process = 0;
    std::uint32_t error = 0;
    ASSERT_TRUE(processes.Start(StartPriority::Default, program, (dir_ / "game").string(), &process, &error)) << error;
    UniqueProcess owned(processes, process);

    std::uint32_t code = 0;
    processes.WaitForExit(process);
    ASSERT_TRUE(processes.ExitCode(process, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(Read(dir_ / "game" / "where.txt"), (dir_ / "game").string() + "\n");
}

TEST_F(PosixProcessesTest, TheServingWaitHandsTheUiTheChildsDescriptorUntilItEnds) {
    const std::string program = Script("slow.sh", "sleep 0.3");
    int ui_turns = 0;
    PosixProcesses processes([&](int fd) {
        ++ui_turns;
        EXPECT_GE(fd, 0);
        // The UI loop would wait for its own events too; here only the child.
        pollfd entry{fd, POLLIN, 0};
        ::poll(&entry, 1, -1);
    });
    ProcessHandle process = 0;
    std::uint32_t error = 0;
    ASSERT_TRUE(processes.Start(StartPriority::Default, program, "", &process, &error));
    UniqueProcess owned(processes, process);
    while (processes.WaitServingEvents(process) == ProcessState::Running) {
    }
    EXPECT_GE(ui_turns, 1);
    std::uint32_t code = 99;
    ASSERT_TRUE(processes.ExitCode(process, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(PosixProcessesTest, TheProgramHoldsOnlyItsStandardStreams) {
    // Descriptors the console opened without close-on-exec, low and high.
    const int file = ::open((dir_ / "trace.txt").c_str(), O_WRONLY | O_CREAT, 0600);
    int pipe_ends[2] = {-1, -1};
    ASSERT_EQ(::pipe(pipe_ends), 0);
    const int high = ::dup2(file, 200);
    ASSERT_GE(file, 0);
    ASSERT_EQ(high, 200);

    // ls's own listing of the directory takes the lowest free number: 3.
    const std::string program = Script("fds.sh", "ls /proc/self/fd > fds.txt");
    PosixProcesses processes;
    ProcessHandle process = 0;
    std::uint32_t error = 0;
    const bool started = processes.Start(StartPriority::Default, program, (dir_ / "game").string(), &process, &error);
    for (const int fd : {file, pipe_ends[0], pipe_ends[1], high}) ::close(fd);
    ASSERT_TRUE(started) << error;
    UniqueProcess owned(processes, process);
    processes.WaitForExit(process);

    EXPECT_EQ(Read(dir_ / "game" / "fds.txt"), "0\n1\n2\n3\n");
}

TEST_F(PosixProcessesTest, AProgramThatCannotRunFailsWithTheSystemsError) {
    PosixProcesses processes;
    ProcessHandle process = 0;
    std::uint32_t error = 0;
    EXPECT_FALSE(processes.Start(StartPriority::Default, (dir_ / "missing").string(), "", &process, &error));
    EXPECT_EQ(error, static_cast<std::uint32_t>(ENOENT));

    const fs::path data = dir_ / "game" / "data.txt";
    std::ofstream(data) << "not a program";
    EXPECT_FALSE(processes.Start(StartPriority::Default, data.string(), "", &process, &error));
    EXPECT_EQ(error, static_cast<std::uint32_t>(EACCES));
    EXPECT_EQ(process, 0u);
}

struct WatchCase {
    const char* name;
    ChildWatch watch;
};
constexpr WatchCase kWatches[] = {
    {"pidfd", ChildWatch::Pidfd},
    {"signalfd", ChildWatch::SignalDescriptor},
    {"ticks", ChildWatch::Ticks},
};

TEST_F(PosixProcessesTest, TheServingWaitKeepsServingWhileTheChildRunsWhateverWatchesIt) {
    for (const WatchCase& c : kWatches) {
        SCOPED_TRACE(c.name);
        const std::string program = Script("game.sh", "sleep 0.5; exit 5");
        // The UI stands for one that has a call to answer every 50 ms: it
        // serves it and comes back, or comes back earlier when woken.
        int served = 0;
        PosixProcesses processes(
            [&](int fd) {
                ++served;
                pollfd entry{fd, POLLIN, 0};
                ::poll(&entry, 1, 50);
            },
            {}, c.watch);
        ProcessHandle process = 0;
        std::uint32_t error = 0;
        ASSERT_TRUE(processes.Start(StartPriority::Default, program, "", &process, &error)) << error;
        UniqueProcess owned(processes, process);
        int waits = 0;
        while (processes.WaitServingEvents(process) == ProcessState::Running) ++waits;
        // About ten calls in half a second; a wait that blocked until the end
        // would have served none.
        EXPECT_GE(served, 5);
        EXPECT_GE(waits, 5);
        std::uint32_t code = 0;
        ASSERT_TRUE(processes.ExitCode(process, &code));
        EXPECT_EQ(code, 5u);
    }
}

TEST_F(PosixProcessesTest, ThePlainWaitAsksItsUiWaitUntilTheChildHasEnded) {
    for (const WatchCase& c : kWatches) {
        SCOPED_TRACE(c.name);
        const std::string program = Script("setup.sh", "sleep 0.3; exit 9");
        int looks = 0;
        bool ended_seen = false;
        PosixProcesses processes(
            {},
            [&](int fd, const std::function<bool()>& ended) {
                EXPECT_GE(fd, 0);
                for (;;) {
                    ++looks;
                    if (ended()) break;
                    pollfd entry{fd, POLLIN, 0};
                    ::poll(&entry, 1, -1);
                }
                ended_seen = true;
            },
            c.watch);
        ProcessHandle process = 0;
        std::uint32_t error = 0;
        ASSERT_TRUE(processes.Start(StartPriority::Default, program, "", &process, &error)) << error;
        UniqueProcess owned(processes, process);
        processes.WaitForExit(process);
        EXPECT_TRUE(ended_seen);
        EXPECT_GE(looks, 2);
        // Ticks look often; the descriptors that only wake at the end do not.
        if (c.watch != ChildWatch::Ticks) {
            EXPECT_LE(looks, 5);
        }
        std::uint32_t code = 0;
        ASSERT_TRUE(processes.ExitCode(process, &code));
        EXPECT_EQ(code, 9u);
    }
}

TEST_F(PosixProcessesTest, TheProgramStartsWithSigchldUnblocked) {
    PosixProcesses processes({}, {}, ChildWatch::SignalDescriptor);
    const std::string program = Script("mask.sh", "grep SigBlk /proc/self/status > mask.txt");
    ProcessHandle process = 0;
    std::uint32_t error = 0;
    ASSERT_TRUE(processes.Start(StartPriority::Default, program, (dir_ / "game").string(), &process, &error)) << error;
    UniqueProcess owned(processes, process);
    processes.WaitForExit(process);
    const std::string line = Read(dir_ / "game" / "mask.txt");
    ASSERT_GT(line.size(), 8u) << line;
    const unsigned long long mask = std::stoull(line.substr(line.find(':') + 1), nullptr, 16);
    EXPECT_EQ(mask & (1ull << (SIGCHLD - 1)), 0u) << line;
}

TEST_F(PosixProcessesTest, EachPrivateDownloadDirectoryIsNewAndTheUsersAlone) {
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old != nullptr ? old : "";
    ::setenv("TMPDIR", dir_.c_str(), 1);
    PosixFiles files;
    const std::string first = files.PrivateDownloadDirectory();
    const std::string second = files.PrivateDownloadDirectory();
    if (old != nullptr) {
        ::setenv("TMPDIR", saved.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
    for (const std::string& made : {first, second}) {
        SCOPED_TRACE(made);
        ASSERT_FALSE(made.empty());
        EXPECT_EQ(made.back(), '/');
        EXPECT_EQ(made.rfind(dir_.string() + "/", 0), 0u);
        struct stat status {};
        ASSERT_EQ(::lstat(made.c_str(), &status), 0);
        EXPECT_TRUE(S_ISDIR(status.st_mode));
        EXPECT_EQ(status.st_mode & 07777, 0700u);
        EXPECT_TRUE(fs::is_empty(made));
    }
    EXPECT_NE(first, second);
}

TEST_F(PosixProcessesTest, MarkingExecutableTakesOnlyARegularFileItself) {
    const fs::path file = dir_ / "setup.sh";
    const fs::path link = dir_ / "link.sh";
    std::ofstream(file) << "#!/bin/sh\nexit 0\n";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(file, link);
    struct Case {
        fs::path path;
        bool marked;
        unsigned file_mode_after;
    } const cases[] = {
        {link, false, 0600},
        {dir_ / "missing.sh", false, 0600},
        {dir_ / "game", false, 0600},
        {file, true, 0700},
    };
    PosixFiles files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.string());
        EXPECT_EQ(files.MarkExecutable(c.path.string()), c.marked);
        struct stat status {};
        ASSERT_EQ(::stat(file.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, c.file_mode_after);
    }

    // Marked, the download starts: the fault was error 13 here.
    PosixProcesses processes;
    ProcessHandle process = 0;
    std::uint32_t error = 0;
    ASSERT_TRUE(processes.Start(StartPriority::Default, file.string(), "", &process, &error)) << error;
    UniqueProcess owned(processes, process);
    processes.WaitForExit(process);
}

TEST_F(PosixProcessesTest, FilesTakeBackslashesAsSeparators) {
    PosixFiles files;
    const std::string temp = files.TempDirectory();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '/');
    EXPECT_FALSE(files.CurrentDirectory().empty());

    std::string windows_style = (dir_ / "game").string() + "\\verify.txt";
    std::ofstream(dir_ / "game" / "verify.txt") << "log";
    EXPECT_TRUE(files.CanOpen(windows_style));
    EXPECT_TRUE(files.Delete(windows_style));
    EXPECT_FALSE(files.CanOpen(windows_style));
    EXPECT_FALSE(files.Delete(windows_style));
}

}  // namespace
}  // namespace kx
