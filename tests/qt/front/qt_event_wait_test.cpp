// Waiting for a game while the UI thread keeps serving.

#include <gtest/gtest.h>

#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/linux/posix_processes.h"
#include "platform/linux/qt/qt_event_wait.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

class QtEventWaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kx_wait_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Script(const std::string& body) {
        const fs::path path = dir_ / "game.sh";
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }

    fs::path dir_;
};

TEST_F(QtEventWaitTest, ServesTheUiWhileTheGameRunsAndEndsWhenItEnds) {
    PosixProcesses processes(WaitServingQtEvents);
    ProcessHandle process = 0;
    std::uint32_t error = 0;
    ASSERT_TRUE(processes.Start(StartPriority::Default, Script("sleep 1"), dir_.string(), &process, &error)) << error;
    UniqueProcess owned(processes, process);

    // Timers stand in for the game's calls and the player's input.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(100);

    const auto started = std::chrono::steady_clock::now();
    int waits = 0;
    while (processes.WaitServingEvents(process) == ProcessState::Running) ++waits;
    const auto waited = std::chrono::steady_clock::now() - started;

    EXPECT_GE(ticks, 3) << "the UI was not served while the game ran";
    // Each wait returns after serving something, not after spinning: about
    // one return per tick, nowhere near a polling loop's thousands.
    EXPECT_LT(waits, 200);
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    std::uint32_t code = 99;
    ASSERT_TRUE(processes.ExitCode(process, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(QtEventWaitTest, AGameThatHasAlreadyEndedIsReportedAtOnce) {
    PosixProcesses processes(WaitServingQtEvents);
    ProcessHandle process = 0;
    std::uint32_t error = 0;
    ASSERT_TRUE(processes.Start(StartPriority::Default, Script("exit 3"), dir_.string(), &process, &error)) << error;
    UniqueProcess owned(processes, process);
    processes.WaitForExit(process);
    EXPECT_EQ(processes.WaitServingEvents(process), ProcessState::Ended);
}

}  // namespace
}  // namespace kx
