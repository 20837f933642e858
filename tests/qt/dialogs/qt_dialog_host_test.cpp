// QtDialogHost: one running dialog on real widgets, driven through the
// DialogHost calls the core makes and through real key and mouse events.

#include "platform/linux/qt/qt_dialog_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QThread>
#include <QWindow>

#include "dialog_test_support.h"
#include "host_test_dialogs.h"
#include "platform/linux/qt/qt_dialog_metrics.h"

namespace kx::qt_test {
namespace {

using namespace std::chrono_literals;
using Command = ScriptedHandler::Command;

TEST(QtDialogHost, ItemRectsAndTheClientAreaAreInClientPixels) {
    QtWindowSystem windows;
    ScriptedHandler h;
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  DialogHost& host = h.host();
                  const QRect edit = h.Item(every::kEdit)->geometry();
                  EXPECT_EQ(host.GetItemRect(every::kEdit),
                            (PixelRect{edit.x(), edit.y(), edit.x() + edit.width(),
                                       edit.y() + edit.height()}));
                  host.MoveItem(every::kEdit, {7, 9, 57, 31});
                  EXPECT_EQ(h.Item(every::kEdit)->geometry(), QRect(7, 9, 50, 22));
                  EXPECT_EQ(host.GetItemRect(every::kEdit), (PixelRect{7, 9, 57, 31}));
                  EXPECT_EQ(host.GetItemRect(999), PixelRect{});

                  host.SetClientSize(400, 250);
                  EXPECT_EQ(host.GetClientRect(), (PixelRect{0, 0, 400, 250}));
                  EXPECT_EQ(h.Window()->size(), QSize(400, 250));
                  // Fixed: the player cannot resize it.
                  EXPECT_EQ(h.Window()->minimumSize(), h.Window()->maximumSize());
              }),
              1);
}

TEST(QtDialogHost, FocusGoesToTheFirstTabStopOrTheControlChosenDuringInit) {
    QtWindowSystem windows;
    {
        ScriptedHandler h;
        ASSERT_EQ(RunSteps(windows, h, [&] {
                      EXPECT_EQ(h.Window()->focusWidget(), h.Item(every::kEdit));
                  }),
                  1);
    }
    {
        ScriptedHandler h;
        h.on_init = [&](DialogHost& host) { host.FocusItem(every::kMemo); };
        ASSERT_EQ(RunSteps(windows, h, [&] {
                      EXPECT_EQ(h.Window()->focusWidget(), h.Item(every::kMemo));
                      h.host().FocusItem(every::kOther);
                      EXPECT_EQ(h.Window()->focusWidget(), h.Item(every::kOther));
                  }),
                  1);
    }
}

TEST(QtDialogHost, TheCloseBoxSendsCancelAndLeavesTheWindowOpen) {
    QtWindowSystem windows;
    ScriptedHandler h;
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  // What the window manager's close button delivers.
                  QCloseEvent close;
                  QApplication::sendEvent(h.Window()->windowHandle(), &close);
                  EXPECT_FALSE(close.isAccepted());
                  EXPECT_EQ(h.commands, (std::vector<Command>{{kIdCancel, kBnClicked}}));
                  EXPECT_TRUE(h.Window()->isVisible());
                  h.Window()->close();
                  EXPECT_EQ(h.commands.size(), 2u);
                  EXPECT_TRUE(h.Window()->isVisible());
              }),
              1);
}

TEST(QtDialogHost, TimersFireByIdUntilStopped) {
    QtWindowSystem windows;
    ScriptedHandler h;
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  DialogHost& host = h.host();
                  host.StartTimer(7, 15);
                  host.StartTimer(8, 15);
                  host.StartTimer(8, 15);  // replaces, does not add
                  EXPECT_TRUE(TurnUntil([&] {
                      return std::count(h.timers.begin(), h.timers.end(), 7u) >= 3 &&
                             std::count(h.timers.begin(), h.timers.end(), 8u) >= 3;
                  }));
                  host.StopTimer(7);
                  host.StopTimer(8);
                  host.StopTimer(99);  // never started
                  const std::size_t fired = h.timers.size();
                  QTest::qWait(100);
                  EXPECT_EQ(h.timers.size(), fired);
                  // A timer still running when the dialog ends fires no more.
                  host.StartTimer(9, 10);
              }),
              1);
    const std::size_t at_end = h.timers.size();
    QTest::qWait(100);
    EXPECT_EQ(h.timers.size(), at_end);
    EXPECT_TRUE(h.all_on_ui_thread);
}

TEST(QtDialogHost, PostsFromAnotherThreadArriveInOrderOnTheUiThread) {
    QtWindowSystem windows;
    ScriptedHandler h;
    constexpr std::uint32_t kCount = 500;
    std::vector<std::uintptr_t> wparams;
    h.on_posted = [&](std::uint32_t, std::uintptr_t wparam, std::intptr_t lparam) {
        wparams.push_back(wparam);
        EXPECT_EQ(lparam, -static_cast<std::intptr_t>(wparam));
    };
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  const std::shared_ptr<Notifier> poster = h.host().Poster();
                  std::thread worker([poster] {
                      for (std::uint32_t i = 0; i < kCount; ++i) {
                          poster->Post(0x0401, i, -static_cast<std::intptr_t>(i));
                      }
                  });
                  worker.join();
                  EXPECT_TRUE(TurnUntil([&] { return h.posts.size() == kCount; }));
              }),
              1);
    ASSERT_EQ(wparams.size(), kCount);
    for (std::uint32_t i = 0; i < kCount; ++i) EXPECT_EQ(wparams[i], i);
    EXPECT_TRUE(h.all_on_ui_thread);
}

TEST(QtDialogHost, NoPostReachesTheHandlerOnceTheDialogHasEnded) {
    QtWindowSystem windows;
    ScriptedHandler h;
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread worker;
    bool ended = false;
    int after_end = 0;
    h.on_posted = [&](std::uint32_t message, std::uintptr_t, std::intptr_t) {
        if (ended) ++after_end;
        if (message == 1 && h.posts.size() == 50) {
            h.host().EndDialog(5);
            ended = true;
            // Posted in the same turn, before the loop ends: dropped too.
            h.host().Poster()->Post(2, 0, 0);
        }
    };
    // The worker and this test keep the notifier after the dialog is gone.
    std::shared_ptr<Notifier> poster;
    h.on_init = [&](DialogHost& host) {
        poster = host.Poster();
        worker = std::thread([&stop, &sent, poster] {
            while (!stop.load()) {
                poster->Post(1, 0, 0);
                ++sent;
                std::this_thread::yield();
            }
        });
    };
    EXPECT_EQ(RunGuarded(windows, every::kTemplate, h, kNoWindow), 5);
    // The worker goes on posting to a dialog that is gone: dropped safely.
    const int sent_at_end = sent.load();
    EXPECT_TRUE(TurnUntil([&] { return sent.load() > sent_at_end + 1000; }));
    QTest::qWait(50);
    stop = true;
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(after_end, 0);
    EXPECT_EQ(h.posts.size(), 50u);
    // And once more from this thread, long after.
    poster->Post(3, 0, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(h.posts.size(), 50u);
}

TEST(QtDialogHost, EndDialogDuringInitNeverShowsTheWindow) {
    QtWindowSystem windows;
    ScriptedHandler h;
    bool ever_shown = false;
    h.on_init = [&](DialogHost& host) {
        EXPECT_FALSE(h.Window()->isVisible());
        host.EndDialog(3);
        // Later calls change only the result, as EndDialog's do.
        host.EndDialog(4);
        Later([&] { ever_shown = true; });
    };
    h.on_destroy = [&] { EXPECT_FALSE(h.Window()->isVisible()); };
    EXPECT_EQ(RunGuarded(windows, every::kTemplate, h, kNoWindow), 4);
    EXPECT_FALSE(h.visible_at_init);
    EXPECT_EQ(h.destroys, 1);
}

TEST(QtDialogHost, OnDestroyRunsOnceWithTheHostStillValid) {
    QtWindowSystem windows;
    ScriptedHandler h;
    std::string text_at_destroy;
    WindowId window = kNoWindow;
    h.on_init = [&](DialogHost& host) { window = host.Window(); };
    h.on_destroy = [&] {
        text_at_destroy = h.host().GetItemText(every::kEdit, 50);
        EXPECT_NE(QtWindowSystem::WidgetOf(window), nullptr);
        h.host().StopTimer(1);
        h.host().Poster()->Post(1, 0, 0);  // to a dialog that has ended
    };
    EXPECT_EQ(RunSteps(windows, h, [&] { h.host().StartTimer(1, 1000); }), 1);
    EXPECT_EQ(h.destroys, 1);
    EXPECT_EQ(text_at_destroy, "initial");
    EXPECT_EQ(QtWindowSystem::WidgetOf(window), nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(h.posts.empty());
}

TEST(QtDialogHost, ShowWindowHidesAndShowsTheDialogItself) {
    QtWindowSystem windows;
    ScriptedHandler h;
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  h.host().ShowWindow(Visibility::Hidden);
                  EXPECT_FALSE(h.Window()->isVisible());
                  // Still running: commands and posts go on.
                  h.host().Poster()->Post(9, 0, 0);
                  EXPECT_TRUE(TurnUntil([&] { return !h.posts.empty(); }));
                  h.host().ShowWindow(Visibility::Shown);
                  EXPECT_TRUE(h.Window()->isVisible());
              }),
              1);
}

TEST(QtDialogHost, CentresOnTheWorkAreaWithoutAnOwner) {
    QtWindowSystem windows;
    ScriptedHandler h;
    h.on_init = [&](DialogHost& host) { host.CenterOnOwner(); };
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  const QRect area = h.Window()->screen()->availableGeometry();
                  const QRect frame = h.Window()->frameGeometry();
                  EXPECT_LE(std::abs(frame.center().x() - area.center().x()), 1);
                  EXPECT_LE(std::abs(frame.center().y() - area.center().y()), 1);
              }),
              1);
}

TEST(QtDialogHost, ChosenMessageBoxesAreOwnedByTheDialog) {
    QtWindowSystem windows;
    ScriptedHandler h;
    SeenBox seen;
    bool window_enabled_meanwhile = true;
    bool owned = false;
    MessageBoxResult answer = MessageBoxResult::Ok;
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  AnswerNextMessageBox(QMessageBox::No, &seen, [&](QMessageBox& box) {
                      window_enabled_meanwhile = h.Window()->isEnabled();
                      owned = box.parentWidget() == h.Window();
                  });
                  answer = h.host().ShowMessageBox("Really?", "Question", MessageBoxButtons::YesNo);
                  EXPECT_TRUE(h.Window()->isEnabled());
              }),
              1);
    EXPECT_EQ(answer, MessageBoxResult::No);
    ASSERT_TRUE(seen.seen);
    EXPECT_EQ(seen.text, "Really?");
    EXPECT_EQ(seen.title, "Question");
    EXPECT_TRUE(owned);
    EXPECT_FALSE(window_enabled_meanwhile);
    EXPECT_EQ(seen.modality, Qt::WindowModal);
}

}  // namespace
}  // namespace kx::qt_test
