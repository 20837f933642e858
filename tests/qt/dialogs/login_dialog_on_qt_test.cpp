// The core's LoginDialog, and the RegistrationDialog it opens, on the Qt
// window system: real widgets, real keys and clicks, the request engine's
// posts arriving from its worker thread, and message boxes answered.

#include "account/login_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "account/registration_lists.h"
#include "account/user_info.h"
#include "dialog_test_support.h"
#include "platform/common/memory_registry.h"
#include "resources/login_template.h"
#include "resources/registration_template.h"
#include "support/fake_clock.h"
#include "support/scripted_inet_api.h"

namespace kx::qt_test {
namespace {

namespace lc = login_control;
namespace rc = registration_control;
using namespace std::chrono_literals;

// The dialog of `template_id` when it is the one in front, or null.
QtDialogHost* Showing(int template_id) {
    const auto& live = QtDialogHost::Live();
    if (live.empty()) return nullptr;
    QtDialogHost* host = live.back();
    QWidget* window = host->Widget();
    if (!window->isVisible()) return nullptr;
    const QString caption = window->windowTitle();
    const bool login = caption == "Please enter your username and password";
    const bool registration = caption == "Please Fill in the Registration Form";
    if ((template_id == kLoginTemplateId && login) ||
        (template_id == kRegistrationTemplateId && registration)) {
        return host;
    }
    return nullptr;
}

QtDialogHost* AwaitShowing(int template_id) {
    QtDialogHost* host = nullptr;
    TurnUntil([&] {
        host = Showing(template_id);
        return host != nullptr && QTest::qWaitForWindowExposed(host->Widget(), 0);
    });
    return host;
}

struct Rig {
    Rig() {
        TheUserInfo() = KXUserInfo{};
        inet.SetStageStatuses(test::StageStatuses::On);
    }
    ~Rig() { TheUserInfo() = KXUserInfo{}; }

    MemoryRegistry registry;
    test::ScriptedInetApi inet;
    QtWindowSystem windows;
    test::FakeClock clock;
    Ports ports{&registry, &inet, &windows, &clock};
};

TEST(LoginDialogOnQt, ABlankNameIsRefusedThenTypedCredentialsLogIn) {
    Rig rig;
    rig.inet.SetReply({200, std::nullopt, "ERRORCODE=0\r\nUSERID=1002\r\nSESSIONID=S-1\r\n", 0});
    SeenBox blank;
    bool box_owned_by_login = false;

    Later([&] {
        QtDialogHost* login = AwaitShowing(kLoginTemplateId);
        ASSERT_NE(login, nullptr);
        // The dialog handed its focus to the user name.
        EXPECT_EQ(login->Widget()->focusWidget(), login->ItemWidget(lc::kUserName));

        AnswerNextMessageBox(QMessageBox::Ok, &blank, [&](QMessageBox& box) {
            box_owned_by_login = box.parentWidget() == login->Widget();
        });
        QTest::keyClick(login->ItemWidget(lc::kUserName), Qt::Key_Return);
        ASSERT_TRUE(blank.seen);
        EXPECT_TRUE(login->Widget()->isVisible());

        QTest::keyClicks(login->ItemWidget(lc::kUserName), "Max Power");
        QTest::keyClicks(login->ItemWidget(lc::kPassword), "p&ss w");
        QTest::mouseClick(login->ItemWidget(lc::kRememberPassword), Qt::LeftButton);
        QTest::keyClick(login->ItemWidget(lc::kPassword), Qt::Key_Return);
    });
    const int result = RunLoginDialog(rig.ports, &TheUserInfo(), kNoWindow);

    EXPECT_EQ(blank.text, "Username cannot be blank.");
    EXPECT_EQ(blank.title, "Log in error");
    EXPECT_TRUE(box_owned_by_login);
    EXPECT_EQ(result, LoginDialog::kLoggedIn);
    EXPECT_STREQ(TheUserInfo().szUserID, "1002");
    EXPECT_STREQ(TheUserInfo().szUserName, "Max Power");
    EXPECT_STREQ(TheUserInfo().szPassword, "p&ss w");
    EXPECT_EQ(TheUserInfo().bSavePassword, 1);
    // One request: the blank name sent nothing.
    EXPECT_EQ(rig.inet.Log().sends.size(), 1u);
}

TEST(LoginDialogOnQt, RegisterOpensTheRegistrationFormOverTheLoginAndBothCancel) {
    Rig rig;
    bool login_disabled_meanwhile = false;
    int country_selection = -2;
    QString country_text;
    int state_selection = -2;

    Later([&] {
        QtDialogHost* login = AwaitShowing(kLoginTemplateId);
        ASSERT_NE(login, nullptr);
        Later([&, login] {
            QtDialogHost* registration = AwaitShowing(kRegistrationTemplateId);
            ASSERT_NE(registration, nullptr);
            EXPECT_EQ(registration->Widget()->parentWidget(), login->Widget());
            login_disabled_meanwhile = !login->Widget()->isEnabled();
            auto* country = qobject_cast<QComboBox*>(registration->ItemWidget(rc::kCountry));
            auto* state = qobject_cast<QComboBox*>(registration->ItemWidget(rc::kState));
            country_selection = country->currentIndex();
            country_text = country->currentText();
            state_selection = state->currentIndex();
            EXPECT_EQ(qobject_cast<QLabel*>(registration->ItemWidget(rc::kStatusLine))->text(),
                      "Please fill out this form");
            // Escape in the agreement: the form's Cancel.
            QTest::keyClick(registration->ItemWidget(rc::kAgreement), Qt::Key_Escape);
            Later([login] {
                ASSERT_NE(AwaitShowing(kLoginTemplateId), nullptr);
                EXPECT_TRUE(login->Widget()->isEnabled());
                QTest::keyClick(login->ItemWidget(lc::kUserName), Qt::Key_Escape);
            });
        });
        QTest::mouseClick(login->ItemWidget(lc::kRegister), Qt::LeftButton);
    });
    EXPECT_EQ(RunLoginDialog(rig.ports, &TheUserInfo(), kNoWindow), LoginDialog::kCancelled);
    EXPECT_TRUE(login_disabled_meanwhile);
    EXPECT_EQ(country_text, QString::fromLatin1(kUnitedStatesItem.data(),
                                                static_cast<qsizetype>(kUnitedStatesItem.size())));
    EXPECT_GE(country_selection, 0);
    // Nothing chosen for the state until the player chooses.
    EXPECT_EQ(state_selection, -1);
    EXPECT_TRUE(QtDialogHost::Live().empty());
}

}  // namespace
}  // namespace kx::qt_test
