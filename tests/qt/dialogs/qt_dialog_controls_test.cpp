// The controls a dialog template makes: their widgets, rectangles, texts,
// checks, lists and progress bars, driven through the DialogHost calls.

#include "platform/linux/qt/qt_dialog_controls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>
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

TEST(QtDialogControls, BuildsEveryControlKindAtItsTemplateRectangle) {
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

TEST(QtDialogControls, ItemTextIsCutToTheCapacityInAnsiBytes) {
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

TEST(QtDialogControls, ListsSelectTheFirstItemBeginningWithThePrefixWithoutRegardToCase) {
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

TEST(QtDialogControls, ProgressPositionsAreHeldInsideTheRange) {
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

TEST(QtDialogControls, ChecksEnablingAndShowing) {
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

TEST(QtDialogControls, ClicksReachTheHandlerAndAnAutoCheckBoxTogglesFirst) {
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

// The controls straight from their templates, without a running dialog.
namespace bare {
inline constexpr int kTwice = 400;
inline constexpr int kEdit = 401;
inline constexpr int kList = 402;
inline constexpr int kBar = 403;
inline constexpr int kButton = 404;
using namespace style;
constexpr ControlTemplate kControls[] = {
    {kTwice, ControlKind::Static, kSsLeft, "first", 5, 5, 60, 10},
    {kTwice, ControlKind::Static, kSsLeft, "second", 5, 20, 60, 10},
    {kEdit, ControlKind::Edit, kBorder | kTabStop, "typed", 5, 35, 60, 12},
    {kList, ControlKind::DropDownList, kCbsDropDownList | kTabStop, "", 5, 50, 60, 60},
    {kBar, ControlKind::ProgressBar, 0, "", 5, 115, 60, 8},
    {kButton, ControlKind::PushButton, kBsPushButton | kTabStop, "Push", 70, 5, 50, 14},
};
}  // namespace bare

class BareControls : public ::testing::Test {
protected:
    BareControls() : controls_(window_, {6, 13}, [this](int id) { clicks_.push_back(id); }) {
        for (const ControlTemplate& control : bare::kControls) controls_.Add(control, {});
    }

    qt_dialog::Control& At(int id) {
        qt_dialog::Control* control = controls_.Find(id);
        EXPECT_NE(control, nullptr) << id;
        return *control;
    }

    QWidget window_;
    std::vector<int> clicks_;
    qt_dialog::Controls controls_;
};

TEST_F(BareControls, AnIdNamesItsFirstControlAndAnUnknownIdNone) {
    EXPECT_EQ(At(bare::kTwice).Text(), "first");
    EXPECT_EQ(controls_.Find(999), nullptr);
    EXPECT_EQ(controls_.FirstTabStop(), At(bare::kEdit).widget);
    EXPECT_FALSE(controls_.InBrowser(At(bare::kEdit).widget));
}

TEST_F(BareControls, CallsForAnotherKindChangeNothing) {
    qt_dialog::Control& edit = At(bare::kEdit);
    edit.SetCheck(CheckState::Checked);
    edit.AddListItem("item");
    edit.SetProgressRange(0, 10);
    EXPECT_EQ(edit.Check(), CheckState::Unchecked);
    EXPECT_EQ(edit.SelectListItem("i"), kNoListItem);
    EXPECT_EQ(edit.ListSelection(), kNoListItem);
    EXPECT_EQ(edit.ListItemText(0), "");
    EXPECT_EQ(edit.Text(), "typed");

    qt_dialog::Control& button = At(bare::kButton);
    button.SetProgressPosition(50);
    EXPECT_EQ(button.position, 0);
    EXPECT_TRUE(clicks_.empty());
}

struct ProgressCase {
    const char* name;
    int low;
    int high;
    int asked;
    int held;
};

class ProgressRangeTest : public BareControls, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(ProgressRangeTest, ThePositionIsCoercedAsTheControlDoes) {
    const ProgressCase& c = GetParam();
    qt_dialog::Control& bar = At(bare::kBar);
    bar.SetProgressRange(c.low, c.high);
    bar.SetProgressPosition(c.asked);
    EXPECT_EQ(bar.position, c.held);
    const auto* shown = static_cast<QProgressBar*>(bar.widget);
    // Never a busy indicator, short of the one range that cannot grow.
    EXPECT_TRUE(shown->minimum() < shown->maximum() || shown->maximum() == INT_MAX);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ProgressRangeTest,
    ::testing::Values(ProgressCase{"inside", 0, 100, 40, 40},
                      ProgressCase{"below", 10, 20, 5, 10},
                      ProgressCase{"above", 10, 20, 25, 20},
                      ProgressCase{"empty_range", 7, 7, 9, 7},
                      ProgressCase{"reversed_takes_the_high_end", 20, 10, 15, 10},
                      ProgressCase{"at_the_largest_int", INT_MAX, INT_MAX, 0, INT_MAX}),
    [](const ::testing::TestParamInfo<ProgressCase>& param) { return std::string(param.param.name); });

TEST_F(BareControls, ListItemsOutOfRangeHaveNoText) {
    qt_dialog::Control& list = At(bare::kList);
    list.AddListItem("Alpha");
    EXPECT_EQ(list.ListSelection(), kNoListItem);
    EXPECT_EQ(list.ListItemText(-1), "");
    EXPECT_EQ(list.ListItemText(1), "");
    EXPECT_EQ(list.ListItemText(0), "Alpha");
}

}  // namespace
}  // namespace kx::qt_test
