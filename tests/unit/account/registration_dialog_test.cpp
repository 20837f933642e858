#include "account/registration_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "account/registration_lists.h"
#include "account/user_info.h"
#include "base/registry_paths.h"
#include "platform/common/memory_registry.h"
#include "resources/registration_template.h"
#include "support/captured_debug_output.h"
#include "support/fake_clock.h"
#include "support/registry_helpers.h"
#include "support/scripted_inet_api.h"
#include "support/scripted_window_system.h"

namespace kx {
namespace {

namespace rc = registration_control;
using namespace std::chrono_literals;
using test::ScriptedDialog;
using test::Sz;

constexpr WindowId kLogin = 0x88;
const int kInputs[] = {rc::kUserName, rc::kPassword,  rc::kConfirmPassword, rc::kEmail,
                       rc::kFirstName, rc::kLastName, rc::kAddress,         rc::kAddress2,
                       rc::kCity,      rc::kState,    rc::kOtherState,      rc::kZip,
                       rc::kCountry,   rc::kHearAbout, kIdOk};

int IndexOf(std::span<const std::string_view> items, std::string_view item) {
    return static_cast<int>(std::find(items.begin(), items.end(), item) - items.begin());
}

// Every required field filled in; the state is Texas and the country the
// preselected United States.
void FillForm(ScriptedDialog& d) {
    d.Type(rc::kUserName, "newbie");
    d.Type(rc::kPassword, "pw1");
    d.Type(rc::kConfirmPassword, "pw1");
    d.Type(rc::kEmail, "newbie@mail.example");
    d.Type(rc::kFirstName, "New");
    d.Type(rc::kLastName, "Bie");
    d.Type(rc::kAddress, "1 Main St");
    d.Type(rc::kCity, "Austin");
    d.Choose(rc::kState, IndexOf(StateItems(), "Texas"));
    d.Type(rc::kZip, "78701");
}

class RegistrationDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        TheUserInfo() = KXUserInfo{};
        windows_.SetIdleTimeout(3s);
    }

    void Reply(std::uint32_t status, std::string body) {
        inet_.SetReply({status, std::nullopt, std::move(body), 0});
    }
    void Then(test::ScriptedWindowSystem::Step step) { windows_.Then(std::move(step)); }
    void Agree(std::function<void(ScriptedDialog&)> fill = FillForm) {
        Then([fill](ScriptedDialog& d) {
            fill(d);
            d.Click(kIdOk);
        });
    }
    void Cancel() {
        Then([](ScriptedDialog& d) { d.Click(kIdCancel); });
    }
    int Run() {
        RegistrationDialog dialog(ports_);
        return dialog.RunModal(windows_, kLogin);
    }
    std::vector<std::string> Bodies() const {
        std::vector<std::string> bodies;
        for (const auto& send : inet_.Log().sends) bodies.push_back(send.body);
        return bodies;
    }
    const test::MessageBoxRecord& OnlyMessage() {
        EXPECT_EQ(windows_.MessageBoxes().size(), 1u);
        return windows_.MessageBoxes().back();
    }

    test::CapturedDebugOutput debug_;
    MemoryRegistry registry_;
    test::ScriptedInetApi inet_;
    test::ScriptedWindowSystem windows_;
    test::FakeClock clock_;
    Ports ports_{&registry_, &inet_, &windows_, &clock_};
};

TEST_F(RegistrationDialogTest, OpensWithTheListsTheAgreementAndNoChoiceButTheCountry) {
    Cancel();
    EXPECT_EQ(Run(), RegistrationDialog::kCancelled);
    ScriptedDialog& d = windows_.Last();
    EXPECT_EQ(d.Owner(), kLogin);
    EXPECT_TRUE(d.Centred());
    const auto items = [](std::span<const std::string_view> list) {
        return std::vector<std::string>(list.begin(), list.end());
    };
    EXPECT_EQ(d.Control(rc::kState).items, items(StateItems()));
    EXPECT_EQ(d.Control(rc::kCountry).items, items(CountryItems()));
    EXPECT_EQ(d.Control(rc::kHearAbout).items, items(HearAboutItems()));
    EXPECT_EQ(d.Control(rc::kState).selection, kNoListItem);
    EXPECT_EQ(d.Control(rc::kCountry).selection, 0);
    EXPECT_EQ(d.Control(rc::kHearAbout).selection, kNoListItem);
    EXPECT_EQ(d.Text(rc::kAgreement), RegistrationAgreement());
    EXPECT_EQ(d.Text(rc::kStatusLine), "Please fill out this form");
    EXPECT_TRUE(windows_.MessageBoxes().empty());
}

TEST_F(RegistrationDialogTest, TheFormIsCheckedInOrderAndNothingIsSentUntilItPasses) {
    const auto only_logon = [](ScriptedDialog& d) {
        d.Type(rc::kUserName, "newbie");
        d.Type(rc::kPassword, "pw1");
        d.Type(rc::kConfirmPassword, "pw1");
        d.Type(rc::kEmail, "newbie@mail.example");
    };
    const auto other_state = [](std::string other, std::string country) {
        return [=](ScriptedDialog& d) {
            FillForm(d);
            d.Choose(rc::kState, 0);
            d.Type(rc::kOtherState, other);
            d.Choose(rc::kCountry, IndexOf(CountryItems(), country));
        };
    };
    Agree([](ScriptedDialog&) {});
    Agree(only_logon);
    Agree(other_state("", "Canada"));
    Agree(other_state("Ontario", "United States"));
    Cancel();
    EXPECT_EQ(Run(), RegistrationDialog::kCancelled);

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Username cannot be blank.", "Registration error"},
        {"First Name cannot be blank.", "Registration error"},
        {"You entered other in the State field, please enter your state in the field marked "
         "'Other (State/Province').",
         "Registration error"},
        {"You have entered 'Other' in the State field, please choose a country other than the "
         "United States",
         "Registration Error"},
    };
    std::vector<std::pair<std::string, std::string>> shown;
    for (const auto& box : windows_.MessageBoxes()) shown.emplace_back(box.text, box.caption);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(inet_.CallCount(test::InetOp::CrackUrl), 0u);
    for (const int id : kInputs) EXPECT_TRUE(windows_.Last().Enabled(id)) << id;
}

TEST_F(RegistrationDialogTest, TheRequestCarriesEveryFieldInTheServicesOrder) {
    inet_.Script(test::InetOp::SendRequest, test::Behavior::PendUntilReleased());
    Agree([](ScriptedDialog& d) {
        FillForm(d);
        d.Type(rc::kFirstName, std::string(60, 'F'));
        d.Type(rc::kAddress2, "Apt 2");
        d.Type(rc::kOtherState, "ignored?");
        d.Choose(rc::kCountry, IndexOf(CountryItems(), "Canada"));
        d.Choose(rc::kHearAbout, 1);
    });
    Then([this](ScriptedDialog& d) {
        for (const int id : kInputs) EXPECT_FALSE(d.Enabled(id)) << id;
        EXPECT_TRUE(d.Enabled(kIdCancel));
        EXPECT_TRUE(inet_.WaitUntilHeld(5s));
        d.Click(kIdCancel);
        // The request is given up before the dialog ends, not when it is destroyed.
        const test::InetCallLog log = inet_.Log();
        ASSERT_EQ(log.open_requests.size(), 1u);
        EXPECT_EQ(std::count(log.closed.begin(), log.closed.end(), log.open_requests[0].created),
                  1);
    });
    EXPECT_EQ(Run(), RegistrationDialog::kCancelled);

    const std::string body =
        "COMMAND=CREATEACCOUNT&USERNAME=newbie&PASSWORD=pw1&EMAIL=newbie%40mail%2Ee%78ample"
        "&FIRSTNAME=" + std::string(49, 'F') +
        "&LASTNAME=Bie&CITY=Austin&STATE=Te%78as&ZIP=78701&ADDRESS=1+Main+St&ADDRESS2=Apt+2"
        "&COUNTRY=Canada&OTHERSTATE=ignored%3F&ABOUT=Friend";
    EXPECT_EQ(Bodies(), std::vector<std::string>{body});
    const std::string url =
        "https://console.kestrix.com/ws_console/createaccount/createaccount.asp";
    const std::vector<std::string> pieces = debug_.Pieces();
    const auto at = std::find(pieces.begin(), pieces.end(), url);
    ASSERT_LE(at + 3, pieces.end());
    std::string traced = body;
    traced.replace(traced.find("PASSWORD=pw1"), 12, "PASSWORD=********");
    EXPECT_EQ(std::vector<std::string>(at, at + 3), (std::vector<std::string>{url, "?", traced}));
    EXPECT_EQ(inet_.Log().open_requests[0].path, "/ws_console/createaccount/createaccount.asp");

    ScriptedDialog& d = windows_.Last();
    EXPECT_EQ(d.Log().back(), "end 0");
    EXPECT_EQ(d.LatePosts(), 0);
}

TEST_F(RegistrationDialogTest, AnAcceptedAccountIsRememberedAndSaved) {
    TheUserInfo().bLoggedIn = 1;
    Reply(200, "ERRORCODE=0\r\n");
    Then([](ScriptedDialog& d) {
        FillForm(d);
        d.Click(kIdOk);
        EXPECT_TRUE(d.DeliverUntil(WM_INET_DONE));
    });
    EXPECT_EQ(Run(), RegistrationDialog::kAccountCreated);

    EXPECT_EQ(OnlyMessage().text,
              "Congratulations!, You have successfully created a new account with $10 free game "
              "credits.\nYou can use this account to log in. Have Fun!");
    EXPECT_EQ(OnlyMessage().caption, "Congratulations!");
    EXPECT_STREQ(TheUserInfo().szUserName, "newbie");
    EXPECT_STREQ(TheUserInfo().szPassword, "pw1");
    EXPECT_EQ(TheUserInfo().bSavePassword, 1);
    EXPECT_EQ(TheUserInfo().bLoggedIn, 1);
    std::string name = "newbie", password = "pw1";
    name.resize(kUserTextSize, '\0');
    password.resize(kUserTextSize, '\0');
    EXPECT_EQ(test::GetValue(registry_, kPlayerKey, "Username", kHKeyCurrentUser), name);
    EXPECT_EQ(test::GetValue(registry_, kPlayerKey, "Password", kHKeyCurrentUser), password);
    EXPECT_EQ(test::GetValue(registry_, kPlayerKey, "SavePWD", kHKeyCurrentUser), Sz("1"));
}

TEST_F(RegistrationDialogTest, AFailedReplyLeavesTheFormToBeCorrectedAndSentAgain) {
    struct Case {
        std::uint32_t status;
        std::string body;
        std::string message;
        std::string caption;
    } const cases[] = {
        {404, "ERRORCODE=0\r\n",
         "Error communicating with tournament server.\nPlease try again: (404)",
         "Registration error"},
        {200, "ERRORCODE=8\r\nERRORTEXT=That user name is taken.\r\n", "That user name is taken.",
         "Registration error"},
        {200, "ERRORCODE=8\r\n",
         "An unknown error occured while sending registration information.", "Log in error"},
        {200, "WELCOME=1\r\n", "An unexpected response was received from the tournament server.",
         "Log in error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        TheUserInfo() = KXUserInfo{};
        test::ScriptedWindowSystem windows;
        MemoryRegistry registry;
        test::ScriptedInetApi inet;
        Ports ports{&registry, &inet, &windows, &clock_};
        inet.SetReply({c.status, std::nullopt, c.body, 0});
        windows.Then([](ScriptedDialog& d) {
            FillForm(d);
            d.Click(kIdOk);
            EXPECT_TRUE(d.DeliverUntil(WM_INET_DONE));
        });
        windows.Then([&](ScriptedDialog& d) {
            ASSERT_EQ(windows.MessageBoxes().size(), 1u);
            EXPECT_EQ(windows.MessageBoxes()[0].text, c.message);
            EXPECT_EQ(windows.MessageBoxes()[0].caption, c.caption);
            for (const int id : kInputs) EXPECT_TRUE(d.Enabled(id)) << id;
            EXPECT_STREQ(TheUserInfo().szUserName, "");
            EXPECT_FALSE(test::GetValue(registry, kPlayerKey, "Username", kHKeyCurrentUser).has_value());
            inet.SetReply({200, std::nullopt, "ERRORCODE=0\r\n", 0});
            d.Type(rc::kUserName, "newbie2");
            d.Click(kIdOk);
            EXPECT_TRUE(d.DeliverUntil(WM_INET_DONE));
        });
        RegistrationDialog dialog(ports);
        EXPECT_EQ(dialog.RunModal(windows, kLogin), RegistrationDialog::kAccountCreated);
        EXPECT_STREQ(TheUserInfo().szUserName, "newbie2");
    }
}

TEST_F(RegistrationDialogTest, AReplyCutShortIsAFailedRequestWhateverItsBodySays) {
    struct Case {
        const char* name;
        std::size_t failing_read;
        test::Behavior behavior;
        std::string message;
    } const cases[] = {
        {"aborted after an accepting body", 1, test::Behavior::Fail(12030),
         "An error occurred sending request. (12030)"},
        {"aborted after an accepting body, pending", 1, test::Behavior::Pend(12030),
         "An error occurred sending request. (12030)"},
        {"reset before any byte", 0, test::Behavior::Fail(12031),
         "An error occurred sending request. (12031)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TheUserInfo() = KXUserInfo{};
        test::ScriptedWindowSystem windows;
        windows.SetIdleTimeout(3s);
        MemoryRegistry registry;
        test::ScriptedInetApi inet;
        Ports ports{&registry, &inet, &windows, &clock_};
        inet.SetReply({200, std::nullopt, "ERRORCODE=0\r\n", 0});
        inet.ScriptNth(test::InetOp::Read, c.failing_read, c.behavior);
        windows.Then([](ScriptedDialog& d) {
            FillForm(d);
            d.Click(kIdOk);
            EXPECT_TRUE(d.DeliverUntil(WM_INET_DONE));
        });
        windows.Then([&](ScriptedDialog& d) {
            ASSERT_EQ(windows.MessageBoxes().size(), 1u);
            EXPECT_EQ(windows.MessageBoxes()[0].text, c.message);
            EXPECT_EQ(windows.MessageBoxes()[0].caption, "Registration Error");
            for (const int id : kInputs) EXPECT_TRUE(d.Enabled(id)) << id;
            EXPECT_STREQ(TheUserInfo().szUserName, "");
            EXPECT_FALSE(test::GetValue(registry, kPlayerKey, "Username", kHKeyCurrentUser).has_value());
            d.Click(kIdCancel);
        });
        RegistrationDialog dialog(ports);
        EXPECT_EQ(dialog.RunModal(windows, kLogin), RegistrationDialog::kCancelled);
    }
}

TEST_F(RegistrationDialogTest, FailuresToStartAreReportedUnderTheirOwnCaption) {
    inet_.Script(test::InetOp::CrackUrl, test::Behavior::Fail(12006));
    Agree();
    Cancel();
    EXPECT_EQ(Run(), RegistrationDialog::kCancelled);
    EXPECT_EQ(OnlyMessage().text, "An error occurred sending request. (12006)");
    EXPECT_EQ(OnlyMessage().caption, "Registration Error");
    for (const int id : kInputs) EXPECT_TRUE(windows_.Last().Enabled(id)) << id;

    inet_.Script(test::InetOp::Open, test::Behavior::Fail(12004));
    EXPECT_EQ(Run(), RegistrationDialog::kNoInternet);
    EXPECT_EQ(windows_.MessageBoxes().back().text,
              "Unable to initialize internet connection. Error: 0");
    EXPECT_EQ(windows_.MessageBoxes().back().caption, "Registration Error");
}

TEST_F(RegistrationDialogTest, TheStatusLineFollowsTheEngine) {
    // The texts that differ from the login's, and codes without a text.
    const std::pair<std::uint32_t, std::string> steps[] = {
        {31, "Please fill out this form"}, {30, "Sending data request..."},
        {31, "Sending data request..."},   {41, ""},
        {200, "Receiving Response..."},    {100, "Receiving Response..."},
        {50, "Disconnecting..."},
    };
    for (const auto& [status, text] : steps) {
        Then([status = status](ScriptedDialog& d) {
            d.Poster()->Post(WM_INET_STATUS, status, 0);
        });
        Then([status = status, text = text](ScriptedDialog& d) {
            EXPECT_EQ(d.Text(rc::kStatusLine), text) << status;
        });
    }
    Cancel();
    EXPECT_EQ(Run(), RegistrationDialog::kCancelled);
    EXPECT_EQ(debug_.CountOf("OnInetStateChanged \n"), std::size(steps));
}

}  // namespace
}  // namespace kx
