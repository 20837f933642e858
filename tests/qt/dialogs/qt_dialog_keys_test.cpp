// The dialog manager's keys on real key events: Enter, Escape, a focused
// push button, and keys typed into a page.

#include "platform/linux/qt/qt_dialog_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include <QApplication>
#include <QKeyEvent>
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

struct DialogKeyCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool dialogs;
};

class IsDialogKeyTest : public ::testing::TestWithParam<DialogKeyCase> {};

TEST_P(IsDialogKeyTest, OnlyABareOrShiftedEnterOrEscape) {
    const DialogKeyCase& c = GetParam();
    const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers);
    EXPECT_EQ(qt_dialog::IsDialogKey(event), c.dialogs);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, IsDialogKeyTest,
    ::testing::Values(DialogKeyCase{"return", Qt::Key_Return, Qt::NoModifier, true},
                      DialogKeyCase{"keypad_enter", Qt::Key_Enter, Qt::KeypadModifier, true},
                      DialogKeyCase{"escape", Qt::Key_Escape, Qt::NoModifier, true},
                      DialogKeyCase{"shift_return", Qt::Key_Return, Qt::ShiftModifier, true},
                      DialogKeyCase{"ctrl_return", Qt::Key_Return, Qt::ControlModifier, false},
                      DialogKeyCase{"alt_escape", Qt::Key_Escape, Qt::AltModifier, false},
                      DialogKeyCase{"meta_return", Qt::Key_Return, Qt::MetaModifier, false},
                      DialogKeyCase{"tab", Qt::Key_Tab, Qt::NoModifier, false},
                      DialogKeyCase{"space", Qt::Key_Space, Qt::NoModifier, false}),
    [](const ::testing::TestParamInfo<DialogKeyCase>& param) { return std::string(param.param.name); });

TEST(QtDialogKeys, EnterSendsOkAndEscapeCancelWithoutClosingTheDialog) {
    QtWindowSystem windows;
    ScriptedHandler h;
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  QTest::keyClick(h.Item(every::kEdit), Qt::Key_Return);
                  QTest::keyClick(h.Item(every::kPassword), Qt::Key_Enter, Qt::KeypadModifier);
                  QTest::keyClick(h.Item(every::kEdit), Qt::Key_Escape);
                  // On a check box or a list Enter is still the dialog's.
                  QTest::keyClick(h.Item(every::kCheck), Qt::Key_Return);
                  QTest::keyClick(h.Item(every::kList), Qt::Key_Return);
                  // Keys at the window itself.
                  QTest::keyClick(h.Window(), Qt::Key_Return);
                  QTest::keyClick(h.Window(), Qt::Key_Escape);
                  EXPECT_EQ(h.commands, (std::vector<Command>{{kIdOk, kBnClicked},
                                                              {kIdOk, kBnClicked},
                                                              {kIdCancel, kBnClicked},
                                                              {kIdOk, kBnClicked},
                                                              {kIdOk, kBnClicked},
                                                              {kIdOk, kBnClicked},
                                                              {kIdCancel, kBnClicked}}));
                  // The handler decides: nothing closed by itself.
                  EXPECT_TRUE(h.Window()->isVisible());
                  EXPECT_EQ(h.qt_host().HasEnded(), false);
              }),
              1);
}

TEST(QtDialogKeys, EnterInAMultilineEditGoesToOk) {
    QtWindowSystem windows;
    ScriptedHandler h;
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  auto* memo = qobject_cast<QPlainTextEdit*>(h.Item(every::kMemo));
                  QTest::keyClicks(memo, "line");
                  QTest::keyClick(memo, Qt::Key_Return);
                  EXPECT_EQ(h.commands, (std::vector<Command>{{kIdOk, kBnClicked}}));
                  EXPECT_EQ(memo->toPlainText(), "line");
                  QTest::keyClick(memo, Qt::Key_Escape);
                  EXPECT_EQ(h.commands.back(), (Command{kIdCancel, kBnClicked}));
              }),
              1);
}

TEST(QtDialogKeys, EnterOnAFocusedPushButtonClicksItAndADisabledOkTakesNoEnter) {
    QtWindowSystem windows;
    ScriptedHandler h;
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  QTest::keyClick(h.Item(every::kOther), Qt::Key_Return);
                  QTest::keyClick(h.Item(kIdCancel), Qt::Key_Return);
                  EXPECT_EQ(h.commands, (std::vector<Command>{{every::kOther, kBnClicked},
                                                              {kIdCancel, kBnClicked}}));
                  h.commands.clear();
                  h.host().EnableItem(kIdOk, Enablement::Disabled);
                  QTest::keyClick(h.Item(every::kEdit), Qt::Key_Return);
                  QTest::keyClick(h.Window(), Qt::Key_Return);
                  EXPECT_TRUE(h.commands.empty());
                  // Escape is sent whatever the state of the Cancel button.
                  h.host().EnableItem(kIdCancel, Enablement::Disabled);
                  QTest::keyClick(h.Item(every::kEdit), Qt::Key_Escape);
                  EXPECT_EQ(h.commands, (std::vector<Command>{{kIdCancel, kBnClicked}}));
              }),
              1);
}

TEST(QtDialogKeys, KeysTypedInAPageAreThePagesButEscapeCancels) {
    StandInBrowsers browsers;
    QtWindowSystem windows(browsers.Factory());
    ScriptedHandler h;
    ASSERT_EQ(RunSteps(
                  windows, h,
                  [&] {
                      auto* field = h.Item(page::kBrowser)->findChild<QLineEdit*>("page_field");
                      ASSERT_NE(field, nullptr);
                      field->setFocus();
                      QTest::keyClicks(field, "query");
                      QTest::keyClick(field, Qt::Key_Return);
                      QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
                      EXPECT_TRUE(h.commands.empty());
                      EXPECT_EQ(field->text(), "query");
                      // Handed back by the view to the dialog, as the web view
                      // does with keys its page leaves alone.
                      QTest::keyClick(h.Window(), Qt::Key_Return);
                      EXPECT_TRUE(h.commands.empty());
                      QTest::keyClick(field, Qt::Key_Escape);
                      EXPECT_EQ(h.commands, (std::vector<Command>{{kIdCancel, kBnClicked}}));
                      // Outside the page Enter is the dialog's again.
                      QTest::keyClick(h.Item(kIdOk), Qt::Key_Return);
                      EXPECT_EQ(h.commands.back(), (Command{kIdOk, kBnClicked}));
                  },
                  page::kTemplate),
              1);
}

TEST(QtDialogKeys, InARealWebViewEnterStaysWithThePageAndEscapeReachesTheDialog) {
    QWebEngineView* view = nullptr;
    QtWindowSystem windows([&view](QWidget* parent) {
        view = new QWebEngineView(parent);
        BrowserControl control;
        control.browser = std::make_unique<StandInBrowser>();
        control.widget = view;
        return control;
    });
    ScriptedHandler h;
    auto page_value = [&view] {
        QString value;
        bool answered = false;
        view->page()->runJavaScript(QStringLiteral("document.getElementById('f').value"),
                                    [&](const QVariant& result) {
                                        value = result.toString();
                                        answered = true;
                                    });
        TurnUntil([&] { return answered; });
        return value;
    };
    ASSERT_EQ(RunSteps(
                  windows, h,
                  [&] {
                      ASSERT_NE(view, nullptr);
                      QSignalSpy loaded(view, &QWebEngineView::loadFinished);
                      view->setHtml(QStringLiteral(
                          "<html><body><input id='f'><script>"
                          "document.getElementById('f').focus();</script></body></html>"));
                      ASSERT_TRUE(loaded.wait(20000));
                      // Shown active, even without a window manager.
                      EXPECT_TRUE(QTest::qWaitForWindowActive(h.Window()));
                      view->setFocus();
                      ASSERT_TRUE(TurnUntil([&] { return view->focusProxy() != nullptr; }));
                      QWidget* page_keys = view->focusProxy();
                      QTest::keyClicks(page_keys, "abc");
                      QTest::keyClick(page_keys, Qt::Key_Return);
                      EXPECT_TRUE(TurnUntil([&] { return page_value() == "abc"; }));
                      // Long enough for the engine to hand unhandled keys back.
                      QTest::qWait(300);
                      EXPECT_TRUE(h.commands.empty());
                      // Escape, as the window system delivers it to the focused page.
                      QTest::keyClick(h.Window()->windowHandle(), Qt::Key_Escape);
                      EXPECT_TRUE(TurnUntil([&] { return !h.commands.empty(); }));
                      EXPECT_EQ(h.commands, (std::vector<Command>{{kIdCancel, kBnClicked}}));
                  },
                  page::kTemplate),
              1);
}

}  // namespace
}  // namespace kx::qt_test
