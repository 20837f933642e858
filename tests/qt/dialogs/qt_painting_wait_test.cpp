// The wait for an installer on real widgets: the window is painted, but a
// key, a click, a close or a timer during the wait is not acted on, and the
// same are acted on once it is over.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QObject>
#include <QTest>
#include <QWidget>

#include "dialog_test_support.h"
#include "host_test_dialogs.h"
#include "platform/linux/posix_processes.h"
#include "platform/linux/qt/qt_event_wait.h"

namespace kx::qt_test {
namespace {

namespace fs = std::filesystem;
using Command = ScriptedHandler::Command;

class PaintCounter final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
    int paints = 0;
};

class QtPaintingWaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kx_painting_wait_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Script(const std::string& body) {
        const fs::path path = dir_ / "setup.sh";
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }

    fs::path dir_;
};

// What the player does at the window, each a step of its own.
struct Deed {
    const char* name;
    void (*act)(ScriptedHandler& h);
    Command acted_on;
};

const Deed kDeeds[] = {
    {"Escape", [](ScriptedHandler& h) { QTest::keyClick(h.Window(), Qt::Key_Escape); },
     {kIdCancel, kBnClicked}},
    {"a click", [](ScriptedHandler& h) { QTest::mouseClick(h.Item(every::kOther), Qt::LeftButton); },
     {every::kOther, kBnClicked}},
    {"the close box",
     [](ScriptedHandler& h) {
         QCloseEvent close;
         QApplication::sendEvent(h.Window()->windowHandle(), &close);
     },
     {kIdCancel, kBnClicked}},
};

TEST_F(QtPaintingWaitTest, NothingThePlayerDoesDuringTheWaitIsActedOnButAfterItIs) {
    for (const Deed& deed : kDeeds) {
        SCOPED_TRACE(deed.name);
        QtWindowSystem windows;
        ScriptedHandler h;
        PosixProcesses processes({}, WaitPaintingQtEvents);
        ASSERT_EQ(RunSteps(windows, h, [&] {
                      PaintCounter counter;
                      h.Window()->installEventFilter(&counter);
                      h.host().StartTimer(5, 10);
                      ASSERT_TRUE(TurnUntil([&] { return !h.timers.empty(); }));

                      ProcessHandle process = 0;
                      std::uint32_t error = 0;
                      ASSERT_TRUE(processes.Start(StartPriority::Default, Script("sleep 0.6"), "", &process, &error))
                          << error;
                      UniqueProcess owned(processes, process);
                      bool acted = false;
                      Later(
                          [&] {
                              EXPECT_TRUE(QtInputHeld());
                              deed.act(h);
                              h.Window()->update();
                              acted = true;
                          },
                          std::chrono::milliseconds(150));
                      const std::size_t ticks = h.timers.size();
                      const int paints = counter.paints;
                      processes.WaitForExit(process);

                      EXPECT_TRUE(acted);
                      EXPECT_FALSE(QtInputHeld());
                      EXPECT_TRUE(h.commands.empty()) << h.commands.size();
                      EXPECT_EQ(h.timers.size(), ticks) << "a timer fired into the wait";
                      EXPECT_GT(counter.paints, paints) << "the window was not painted";
                      EXPECT_TRUE(h.Window()->isVisible());

                      deed.act(h);
                      EXPECT_EQ(h.commands, std::vector<Command>{deed.acted_on});
                      EXPECT_TRUE(TurnUntil([&] { return h.timers.size() > ticks; }));
                      h.host().StopTimer(5);
                      h.Window()->removeEventFilter(&counter);
                  }),
                  1);
    }
}

TEST_F(QtPaintingWaitTest, WorkPutOffDuringTheWaitRunsAfterItInOrder) {
    PosixProcesses processes({}, WaitPaintingQtEvents);
    ProcessHandle process = 0;
    std::uint32_t error = 0;
    ASSERT_TRUE(processes.Start(StartPriority::Default, Script("sleep 0.3"), "", &process, &error)) << error;
    UniqueProcess owned(processes, process);
    QObject context;
    std::vector<int> ran;
    Later([&] {
        AfterQtInputHold(&context, [&] { ran.push_back(1); });
        AfterQtInputHold(&context, [&] { ran.push_back(2); });
    });
    processes.WaitForExit(process);
    EXPECT_TRUE(ran.empty());
    EXPECT_TRUE(TurnUntil([&] { return ran.size() == 2; }));
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace kx::qt_test
