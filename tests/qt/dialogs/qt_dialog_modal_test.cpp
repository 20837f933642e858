// The modal helpers: an owner disabled for the time of a modal window and
// given back its state and focus, and message boxes as the player sees and
// answers them.

#include "platform/linux/qt/qt_dialog_modal.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "dialog_test_support.h"

namespace kx::qt_dialog {
namespace {

using qt_test::AnswerNextMessageBox;
using qt_test::SeenBox;

TEST(QtOwnerDisabled, DisablesTheOwnerAndGivesBackItsStateAndFocus) {
    QWidget owner;
    auto* first = new QLineEdit(&owner);
    auto* second = new QLineEdit(&owner);
    second->move(0, 40);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    second->setFocus();
    ASSERT_EQ(owner.focusWidget(), second);
    {
        OwnerDisabled disabled(&owner);
        EXPECT_FALSE(owner.isEnabled());
        EXPECT_FALSE(second->isEnabled());
        disabled.Restore();
        EXPECT_TRUE(owner.isEnabled());
        disabled.Restore();  // once only
        EXPECT_TRUE(owner.isEnabled());
    }
    EXPECT_TRUE(owner.isEnabled());
    EXPECT_EQ(owner.focusWidget(), second);
    (void)first;

    // An owner that was disabled already stays so.
    owner.setEnabled(false);
    { OwnerDisabled disabled(&owner); }
    EXPECT_FALSE(owner.isEnabled());

    OwnerDisabled none(nullptr);
    none.Restore();
}

TEST(QtMessageBox, ShowsTheExactTextAndCaptionAndAnswersOk) {
    SeenBox seen;
    AnswerNextMessageBox(QMessageBox::Ok, &seen);
    const MessageBoxResult answer =
        RunMessageBox(nullptr, "Username cannot be blank.", "Log in error", MessageBoxButtons::Ok);
    EXPECT_EQ(answer, MessageBoxResult::Ok);
    ASSERT_TRUE(seen.seen);
    EXPECT_EQ(seen.text, "Username cannot be blank.");
    EXPECT_EQ(seen.title, "Log in error");
    EXPECT_TRUE(seen.has_ok);
    EXPECT_FALSE(seen.has_yes);
    EXPECT_FALSE(seen.has_no);
    // No owner: modal to the whole application.
    EXPECT_EQ(seen.parent, nullptr);
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);
}

TEST(QtMessageBox, TextsAreWindows1252PlainTextWithTheirLineBreaks) {
    SeenBox seen;
    bool plain = false;
    AnswerNextMessageBox(QMessageBox::Ok, &seen, [&](QMessageBox& box) {
        plain = box.textFormat() == Qt::PlainText;
    });
    RunMessageBox(nullptr, "<b>Error</b> \xA9 2024\r\nPlease try again: (12029)", "Caf\xE9",
                  MessageBoxButtons::Ok);
    ASSERT_TRUE(seen.seen);
    EXPECT_TRUE(plain);
    EXPECT_EQ(seen.text, QString::fromUtf8("<b>Error</b> \u00A9 2024\nPlease try again: (12029)"));
    EXPECT_EQ(seen.title, QString::fromUtf8("Caf\u00E9"));
}

TEST(QtMessageBox, EscapeAnswersAnOkBox) {
    SeenBox seen;
    // Escape instead of a click; the button is then clicked on a closed box
    // only if Escape did not answer.
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    timer->start(10);
    EXPECT_EQ(RunMessageBox(nullptr, "Done", "Info", MessageBoxButtons::Ok), MessageBoxResult::Ok);
}

TEST(QtMessageBox, YesNoBoxesAnswerTheClickedButtonAndIgnoreEscapeAndTheCloseBox) {
    SeenBox seen;
    AnswerNextMessageBox(QMessageBox::Yes, &seen);
    EXPECT_EQ(RunMessageBox(nullptr, "Play now?", "Kestrix", MessageBoxButtons::YesNo),
              MessageBoxResult::Yes);
    ASSERT_TRUE(seen.seen);
    EXPECT_TRUE(seen.has_yes);
    EXPECT_TRUE(seen.has_no);
    EXPECT_FALSE(seen.has_ok);

    bool open_after_escape = false;
    bool open_after_close = false;
    AnswerNextMessageBox(QMessageBox::No, nullptr, [&](QMessageBox& box) {
        QTest::keyClick(&box, Qt::Key_Escape);
        open_after_escape = box.isVisible();
        QCloseEvent close;
        QApplication::sendEvent(box.windowHandle(), &close);
        open_after_close = box.isVisible();
    });
    EXPECT_EQ(RunMessageBox(nullptr, "Play now?", "Kestrix", MessageBoxButtons::YesNo),
              MessageBoxResult::No);
    EXPECT_TRUE(open_after_escape);
    EXPECT_TRUE(open_after_close);
}

TEST(QtMessageBox, AnOwnedBoxIsTheOwnersChildAndDisablesItMeanwhile) {
    QWidget owner;
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    SeenBox seen;
    bool owner_enabled = true;
    bool box_enabled = false;
    AnswerNextMessageBox(QMessageBox::Ok, &seen, [&](QMessageBox& box) {
        owner_enabled = owner.isEnabled();
        box_enabled = box.isEnabled();
    });
    EXPECT_EQ(RunMessageBox(&owner, "Saved", "Info", MessageBoxButtons::Ok), MessageBoxResult::Ok);
    ASSERT_TRUE(seen.seen);
    EXPECT_EQ(seen.parent, &owner);
    EXPECT_EQ(seen.modality, Qt::WindowModal);
    EXPECT_FALSE(owner_enabled);
    EXPECT_TRUE(box_enabled);
    EXPECT_TRUE(owner.isEnabled());
}

}  // namespace
}  // namespace kx::qt_dialog
