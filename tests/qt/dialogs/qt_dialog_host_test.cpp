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
#include "platform/linux/qt/qt_dialog_metrics.h"

namespace kx::qt_test {
namespace {

using namespace std::chrono_literals;
using Command = ScriptedHandler::Command;

namespace every {
inline constexpr int kFrame = 100;
inline constexpr int kLabel = 101;
inline constexpr int kCentred = 102;
inline constexpr int kEdit = 103;
inline constexpr int kPassword = 104;
inline constexpr int kMemo = 105;
inline constexpr int kReadOnly = 106;
inline constexpr int kList = 107;
inline constexpr int kBar = 108;
inline constexpr int kCheck = 109;
inline constexpr int kOff = 110;
inline constexpr int kOther = 111;
inline constexpr int kHiddenStyle = 112;

using namespace style;
constexpr ControlTemplate kControls[] = {
    {kFrame, ControlKind::GroupBox, kBsGroupBox, "Frame", 2, 2, 200, 100},
    {kLabel, ControlKind::Static, kSsLeft, "Label", 5, 12, 60, 10},
    {kCentred, ControlKind::Static, kSsCenter, "Centred", 70, 12, 60, 10},
    {kEdit, ControlKind::Edit, kBorder | kTabStop | kEsAutoHScroll, "initial", 5, 25, 100, 12},
    {kPassword, ControlKind::Edit, kBorder | kTabStop | kEsPassword, "", 5, 40, 100, 12},
    {kMemo, ControlKind::Edit, kEsMultiline | kEsAutoVScroll | kVScroll | kBorder | kTabStop, "",
     5, 55, 100, 40},
    {kReadOnly, ControlKind::Edit, kBorder | kEsReadOnly, "fixed", 110, 25, 60, 12},
    {kList, ControlKind::DropDownList, kCbsDropDownList | kVScroll | kTabStop, "", 110, 40, 80,
     100},
    {kBar, ControlKind::ProgressBar, 0, "", 5, 110, 150, 8},
    {kCheck, ControlKind::AutoCheckBox, kBsAutoCheckBox | kTabStop, "Check", 5, 125, 80, 10},
    {kOff, ControlKind::PushButton, kBsPushButton | kTabStop | kDisabled, "Off", 90, 125, 50, 14},
    {kOther, ControlKind::PushButton, kBsPushButton | kTabStop, "Other", 145, 125, 50, 14},
    {kHiddenStyle, ControlKind::Static, kSsLeft, "no WS_VISIBLE", 5, 140, 80, 8},
    {kIdOk, ControlKind::DefaultPushButton, kBsDefPushButton | kTabStop, "OK", 90, 145, 50, 14},
    {kIdCancel, ControlKind::PushButton, kBsPushButton | kTabStop, "Cancel", 145, 145, 50, 14},
};
constexpr DialogTemplate kTemplate{
    .resource_id = 900,
    .caption = "Every control",
    .style = kPopup | kCaption | kSysMenu | kDsModalFrame | kDsSetFont,
    .width = 210,
    .height = 165,
    .controls = kControls,
};
}  // namespace every

namespace page {
inline constexpr int kBrowser = 300;
using namespace style;
constexpr ControlTemplate kControls[] = {
    {kBrowser, ControlKind::WebBrowser, kVisible | kTabStop, "", 10, 5, 200, 100},
    {kIdOk, ControlKind::DefaultPushButton, kBsDefPushButton | kTabStop, "OK", 160, 110, 50, 14},
};
constexpr DialogTemplate kTemplate{
    .resource_id = 901,
    .caption = "A page",
    .style = kPopup | kCaption | kSysMenu | kDsModalFrame | kDsSetFont,
    .width = 220,
    .height = 130,
    .controls = kControls,
};
}  // namespace page

// Runs `steps` from inside the dialog's modal loop, once it is shown, then
// ends the dialog with 1.
int RunSteps(QtWindowSystem& windows, ScriptedHandler& handler, const std::function<void()>& steps,
             const DialogTemplate& dialog = every::kTemplate) {
    auto previous_init = handler.on_init;
    handler.on_init = [&handler, previous_init, steps](DialogHost& host) {
        if (previous_init) previous_init(host);
        Later([&handler, steps] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(handler.Window()));
            steps();
            if (handler.HasHost()) handler.host().EndDialog(1);
        });
    };
    return RunGuarded(windows, dialog, handler, kNoWindow);
}

qt_dialog::BaseUnits BaseOf(DialogHost& host) {
    const PixelRect unit = host.MapDialogRect({0, 0, 4, 8});
    return {unit.right, unit.bottom};
}

TEST(QtDialogHost, BuildsEveryControlKindAtItsTemplateRectangle) {
    QtWindowSystem windows;
    ScriptedHandler h;
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  const qt_dialog::BaseUnits base = BaseOf(h.host());
                  for (const ControlTemplate& control : every::kControls) {
                      QWidget* item = h.Item(control.id);
                      ASSERT_NE(item, nullptr) << control.id;
                      const QRect expected = qt_dialog::ControlRect(control, base);
                      if (control.kind == ControlKind::DropDownList) {
                          EXPECT_EQ(item->pos(), expected.topLeft());
                          EXPECT_EQ(item->width(), expected.width());
                      } else if (control.kind == ControlKind::AutoCheckBox) {
                          // Grown about its middle when its box would not fit.
                          EXPECT_TRUE(item->geometry().contains(expected)) << control.id;
                      } else {
                          EXPECT_EQ(item->geometry(), expected) << control.id;
                      }
                      // Visible although no template sets WS_VISIBLE.
                      EXPECT_TRUE(item->isVisible()) << control.id;
                  }
                  EXPECT_NE(qobject_cast<QGroupBox*>(h.Item(every::kFrame)), nullptr);
                  EXPECT_EQ(qobject_cast<QGroupBox*>(h.Item(every::kFrame))->title(), "Frame");
                  auto* label = qobject_cast<QLabel*>(h.Item(every::kLabel));
                  ASSERT_NE(label, nullptr);
                  EXPECT_TRUE(label->alignment() & Qt::AlignLeft);
                  auto* centred = qobject_cast<QLabel*>(h.Item(every::kCentred));
                  ASSERT_NE(centred, nullptr);
                  EXPECT_TRUE(centred->alignment() & Qt::AlignHCenter);
                  auto* password = qobject_cast<QLineEdit*>(h.Item(every::kPassword));
                  ASSERT_NE(password, nullptr);
                  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
                  auto* memo = qobject_cast<QPlainTextEdit*>(h.Item(every::kMemo));
                  ASSERT_NE(memo, nullptr);
                  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
                  auto* fixed = qobject_cast<QLineEdit*>(h.Item(every::kReadOnly));
                  ASSERT_NE(fixed, nullptr);
                  EXPECT_TRUE(fixed->isReadOnly());
                  auto* list = qobject_cast<QComboBox*>(h.Item(every::kList));
                  ASSERT_NE(list, nullptr);
                  EXPECT_FALSE(list->isEditable());
                  EXPECT_NE(qobject_cast<QProgressBar*>(h.Item(every::kBar)), nullptr);
                  EXPECT_NE(qobject_cast<QCheckBox*>(h.Item(every::kCheck)), nullptr);
                  auto* ok = qobject_cast<QPushButton*>(h.Item(kIdOk));
                  ASSERT_NE(ok, nullptr);
                  EXPECT_TRUE(ok->isDefault());
                  // kDisabled.
                  EXPECT_FALSE(h.Item(every::kOff)->isEnabled());
                  EXPECT_FALSE(h.host().IsItemEnabled(every::kOff));
                  EXPECT_EQ(h.host().GetClientRect(),
                            (PixelRect{0, 0, qt_dialog::MulDiv(210, base.x, 4),
                                       qt_dialog::MulDiv(165, base.y, 8)}));
                  EXPECT_EQ(h.Window()->windowTitle(), "Every control");
              }),
              1);
}

TEST(QtDialogHost, ItemTextIsCutToTheCapacityInAnsiBytes) {
    QtWindowSystem windows;
    ScriptedHandler h;
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  DialogHost& host = h.host();
                  EXPECT_EQ(host.GetItemText(every::kEdit, 50), "initial");
                  EXPECT_EQ(host.GetItemText(every::kEdit, 4), "ini");
                  EXPECT_EQ(host.GetItemText(every::kEdit, 8), "initial");
                  EXPECT_EQ(host.GetItemText(every::kEdit, 1), "");
                  EXPECT_EQ(host.GetItemText(every::kEdit, 0), "");
                  EXPECT_EQ(host.GetItemText(999, 50), "");

                  // Windows-1252 at the widget boundary, one byte a character.
                  host.SetItemText(every::kEdit, "caf\xE9 \x80");
                  EXPECT_EQ(qobject_cast<QLineEdit*>(h.Item(every::kEdit))->text(),
                            QString::fromUtf8("caf\u00E9 \u20AC"));
                  EXPECT_EQ(host.GetItemText(every::kEdit, 50), "caf\xE9 \x80");
                  EXPECT_EQ(host.GetItemText(every::kEdit, 5), "caf\xE9");

                  // What the player types.
                  auto* password = qobject_cast<QLineEdit*>(h.Item(every::kPassword));
                  QTest::keyClicks(password, "s3cret");
                  EXPECT_EQ(host.GetItemText(every::kPassword, 50), "s3cret");
                  EXPECT_EQ(host.GetItemText(every::kPassword, 3), "s3");
                  QTest::keyClicks(h.Item(every::kReadOnly), "xyz");
                  EXPECT_EQ(host.GetItemText(every::kReadOnly, 50), "fixed");

                  // A multiline edit's lines end in CR LF.
                  host.SetItemText(every::kMemo, "one\r\ntwo");
                  EXPECT_EQ(qobject_cast<QPlainTextEdit*>(h.Item(every::kMemo))->toPlainText(),
                            "one\ntwo");
                  EXPECT_EQ(host.GetItemText(every::kMemo, 50), "one\r\ntwo");

                  host.SetItemText(every::kLabel, "Connecting to server...");
                  EXPECT_EQ(qobject_cast<QLabel*>(h.Item(every::kLabel))->text(),
                            "Connecting to server...");
                  EXPECT_EQ(host.GetItemText(every::kLabel, 11), "Connecting");
                  host.SetItemText(every::kOther, "Renamed");
                  EXPECT_EQ(qobject_cast<QPushButton*>(h.Item(every::kOther))->text(), "Renamed");
                  EXPECT_EQ(host.GetItemText(every::kOther, 50), "Renamed");
                  host.SetItemText(every::kCheck, "Ch\xE8que");
                  EXPECT_EQ(qobject_cast<QCheckBox*>(h.Item(every::kCheck))->text(),
                            QString::fromUtf8("Ch\u00E8que"));

                  host.SetCaption("T\xE9st");
                  EXPECT_EQ(h.Window()->windowTitle(), QString::fromUtf8("T\u00E9st"));
              }),
              1);
}

TEST(QtDialogHost, ListsSelectTheFirstItemBeginningWithThePrefixWithoutRegardToCase) {
    QtWindowSystem windows;
    ScriptedHandler h;
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  DialogHost& host = h.host();
                  auto* list = qobject_cast<QComboBox*>(h.Item(every::kList));
                  for (const char* item : {"Alpha", "beta", "Bravo", "\xC9t\xE9"}) {
                      host.AddListItem(every::kList, item);
                  }
                  EXPECT_EQ(list->count(), 4);
                  // Adding selects nothing, as CB_ADDSTRING does.
                  EXPECT_EQ(host.GetListSelection(every::kList), kNoListItem);
                  EXPECT_EQ(host.GetItemText(every::kList, 50), "");

                  EXPECT_EQ(host.SelectListItem(every::kList, "b"), 1);
                  EXPECT_EQ(host.GetListSelection(every::kList), 1);
                  EXPECT_EQ(host.SelectListItem(every::kList, "BR"), 2);
                  EXPECT_EQ(list->currentIndex(), 2);
                  EXPECT_EQ(host.GetItemText(every::kList, 50), "Bravo");
                  EXPECT_EQ(host.SelectListItem(every::kList, "\xE9T"), 3);
                  EXPECT_EQ(host.SelectListItem(every::kList, "alphabet"), kNoListItem);
                  EXPECT_EQ(host.SelectListItem(every::kList, "zz"), kNoListItem);
                  // Not found: the selection stays.
                  EXPECT_EQ(host.GetListSelection(every::kList), 3);
                  EXPECT_EQ(host.GetListItemText(every::kList, 2), "Bravo");
                  EXPECT_EQ(host.GetListItemText(every::kList, 3), "\xC9t\xE9");
                  EXPECT_EQ(host.GetListItemText(every::kList, 4), "");
                  EXPECT_EQ(host.GetListItemText(every::kList, -1), "");
                  EXPECT_EQ(host.SelectListItem(every::kEdit, "a"), kNoListItem);

                  // One line high when closed; the template height is the open list's.
                  const int open_height =
                      h.host().MapDialogRect({0, 0, 0, 100}).bottom;
                  EXPECT_EQ(list->height(), list->sizeHint().height());
                  EXPECT_LT(list->height(), open_height / 2);
                  EXPECT_GE(list->maxVisibleItems(), 3);
                  const PixelRect before = host.GetItemRect(every::kList);
                  host.MoveItem(every::kList, {1, 2, 101, 300});
                  EXPECT_EQ(host.GetItemRect(every::kList),
                            (PixelRect{1, 2, 101, 2 + before.height()}));
              }),
              1);
}

TEST(QtDialogHost, ProgressPositionsAreHeldInsideTheRange) {
    QtWindowSystem windows;
    ScriptedHandler h;
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  DialogHost& host = h.host();
                  auto* bar = qobject_cast<QProgressBar*>(h.Item(every::kBar));
                  EXPECT_EQ(bar->minimum(), 0);
                  EXPECT_EQ(bar->maximum(), 100);
                  EXPECT_EQ(bar->value(), 0);
                  host.SetProgressPosition(every::kBar, 42);
                  EXPECT_EQ(bar->value(), 42);
                  host.SetProgressPosition(every::kBar, 150);
                  EXPECT_EQ(bar->value(), 100);
                  host.SetProgressPosition(every::kBar, -5);
                  EXPECT_EQ(bar->value(), 0);
                  // A new range holds the position too.
                  host.SetProgressRange(every::kBar, 10, 20);
                  EXPECT_EQ(bar->minimum(), 10);
                  EXPECT_EQ(bar->maximum(), 20);
                  EXPECT_EQ(bar->value(), 10);
                  host.SetProgressPosition(every::kBar, 15);
                  EXPECT_EQ(bar->value(), 15);
                  host.SetProgressRange(every::kBar, 0, 12);
                  EXPECT_EQ(bar->value(), 12);
                  // An empty range shows an empty bar, not Qt's busy one.
                  host.SetProgressRange(every::kBar, 5, 5);
                  EXPECT_LT(bar->minimum(), bar->maximum());
                  EXPECT_EQ(bar->value(), 5);
                  EXPECT_EQ(bar->value(), bar->minimum());
              }),
              1);
}

TEST(QtDialogHost, ChecksEnablingAndShowing) {
    QtWindowSystem windows;
    ScriptedHandler h;
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  DialogHost& host = h.host();
                  EXPECT_EQ(host.GetCheck(every::kCheck), CheckState::Unchecked);
                  host.SetCheck(every::kCheck, CheckState::Checked);
                  EXPECT_EQ(host.GetCheck(every::kCheck), CheckState::Checked);
                  EXPECT_TRUE(qobject_cast<QCheckBox*>(h.Item(every::kCheck))->isChecked());
                  EXPECT_TRUE(h.commands.empty()) << "SetCheck is no click";

                  host.EnableItem(every::kEdit, Enablement::Disabled);
                  EXPECT_FALSE(host.IsItemEnabled(every::kEdit));
                  EXPECT_FALSE(h.Item(every::kEdit)->isEnabled());
                  host.EnableItem(every::kEdit, Enablement::Enabled);
                  EXPECT_TRUE(host.IsItemEnabled(every::kEdit));
                  // A control's own state, whatever its window's.
                  h.Window()->setEnabled(false);
                  EXPECT_TRUE(host.IsItemEnabled(every::kEdit));
                  EXPECT_FALSE(host.IsItemEnabled(every::kOff));
                  h.Window()->setEnabled(true);
                  EXPECT_FALSE(host.IsItemEnabled(999));

                  host.ShowItem(every::kBar, Visibility::Hidden);
                  EXPECT_FALSE(h.Item(every::kBar)->isVisible());
                  host.ShowItem(every::kBar, Visibility::Shown);
                  EXPECT_TRUE(h.Item(every::kBar)->isVisible());
              }),
              1);
}

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

TEST(QtDialogHost, EnterSendsOkAndEscapeCancelWithoutClosingTheDialog) {
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

TEST(QtDialogHost, EnterInAMultilineEditGoesToOk) {
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

TEST(QtDialogHost, EnterOnAFocusedPushButtonClicksItAndADisabledOkTakesNoEnter) {
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

TEST(QtDialogHost, ClicksReachTheHandlerAndAnAutoCheckBoxTogglesFirst) {
    QtWindowSystem windows;
    ScriptedHandler h;
    std::vector<CheckState> seen_checks;
    h.on_command = [&](int id, int) {
        if (id == every::kCheck) seen_checks.push_back(h.host().GetCheck(every::kCheck));
    };
    ASSERT_EQ(RunSteps(windows, h, [&] {
                  QTest::mouseClick(h.Item(every::kOther), Qt::LeftButton);
                  QTest::mouseClick(h.Item(every::kOff), Qt::LeftButton);  // disabled
                  // Anywhere in the control, as a Windows check box takes it.
                  QTest::mouseClick(h.Item(every::kCheck), Qt::LeftButton, {},
                                    h.Item(every::kCheck)->rect().bottomRight() - QPoint(2, 2));
                  QTest::keyClick(h.Item(every::kCheck), Qt::Key_Space);
                  EXPECT_EQ(h.commands, (std::vector<Command>{{every::kOther, kBnClicked},
                                                              {every::kCheck, kBnClicked},
                                                              {every::kCheck, kBnClicked}}));
                  EXPECT_EQ(seen_checks,
                            (std::vector<CheckState>{CheckState::Checked, CheckState::Unchecked}));
              }),
              1);
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

TEST(QtDialogHost, KeysTypedInAPageAreThePagesButEscapeCancels) {
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

TEST(QtDialogHost, InARealWebViewEnterStaysWithThePageAndEscapeReachesTheDialog) {
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
