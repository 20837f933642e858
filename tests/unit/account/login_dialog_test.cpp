#include "account/login_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "account/registration_lists.h"
#include "base/registry_paths.h"
#include "base/trace_log.h"
#include "platform/common/memory_registry.h"
#include "resources/login_template.h"
#include "resources/registration_template.h"
#include "support/fake_clock.h"
#include "support/registry_helpers.h"
#include "support/scripted_inet_api.h"
#include "support/scripted_window_system.h"

namespace kx {
namespace {

namespace fs = std::filesystem;
namespace lc = login_control;
namespace rc = registration_control;
using namespace std::chrono_literals;
using test::ScriptedDialog;
using test::Sz;

constexpr WindowId kConsole = 0x77;
const std::string kAccepted = "ERRORCODE=0\r\nUSERID=1002\r\nSESSIONID=S-1\r\n";
const int kInputs[] = {lc::kUserName, lc::kPassword, lc::kRememberPassword, kIdOk,
                       lc::kRegister, lc::kGuestLogin, lc::kPlaySounds};

std::string Field50(std::string_view text) {
    std::string bytes(text);
    bytes.resize(kUserTextSize, '\0');
    return bytes;
}

// One console's worth of ports; the player record is the console-wide one.
struct Rig {
    Rig() { windows.SetIdleTimeout(3s); }

    void Reply(std::uint32_t status, std::string body) {
        inet.SetReply({status, std::nullopt, std::move(body), 0});
    }
    void Then(test::ScriptedWindowSystem::Step step) { windows.Then(std::move(step)); }
    void Login(std::string user_name, std::string password) {
        Then([=](ScriptedDialog& d) {
            d.Type(lc::kUserName, user_name);
            d.Type(lc::kPassword, password);
            d.Click(kIdOk);
            AwaitReply(d);
        });
    }
    // In the same step as the click: between steps the modal loop would
    // deliver the reply itself.
    static void AwaitReply(ScriptedDialog& d) { EXPECT_TRUE(d.DeliverUntil(WM_INET_DONE)); }
    void Cancel() {
        Then([](ScriptedDialog& d) { d.Click(kIdCancel); });
    }
    int Run(KXUserInfo* info = &TheUserInfo()) { return RunLoginDialog(ports, info, kConsole); }

    ScriptedDialog& Login() { return *windows.Find(kLoginTemplateId); }
    std::vector<std::string> Bodies() const {
        std::vector<std::string> bodies;
        for (const auto& send : inet.Log().sends) bodies.push_back(send.body);
        return bodies;
    }
    std::optional<std::string> Stored(std::string_view name) {
        return test::GetValue(registry, kPlayerKey, name, kHKeyCurrentUser);
    }

    MemoryRegistry registry;
    test::ScriptedInetApi inet;
    test::ScriptedWindowSystem windows;
    test::FakeClock clock;
    Ports ports{&registry, &inet, &windows, &clock};
};

class LoginDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        TheUserInfo() = KXUserInfo{};
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        trace_path_ = fs::temp_directory_path() / ("kx_login_" + name + ".txt");
        TheTraceLog().Open(clock_, trace_path_);
    }
    void TearDown() override {
        TheTraceLog().Close();
        fs::remove(trace_path_);
    }

    // The trace lines without their times, e.g. "Login Command Complete,200:0".
    std::vector<std::string> Traces() const {
        std::vector<std::string> lines;
        std::ifstream in(trace_path_);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line.substr(line.find(',') + 1));
        }
        return lines;
    }

    test::FakeClock clock_;
    fs::path trace_path_;
    Rig rig_;
};

TEST_F(LoginDialogTest, OpensWithTheStoredSettings) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> stored;
        std::string user_name, password;
        bool remember, sounds;
    } const cases[] = {
        {{}, "", "", false, false},
        {{{"Username", Field50("ann")}, {"SavePWD", Sz("1")}, {"Password", Field50("pw")},
          {"PlaySounds", Sz("1")}},
         "ann", "pw", true, true},
        {{{"Username", Field50("ann")}, {"SavePWD", Sz("0")}, {"Password", Field50("pw")},
          {"PlaySounds", Sz("yes")}},
         "ann", "", false, false},
    };
    for (const Case& c : cases) {
        Rig rig;
        TheUserInfo() = KXUserInfo{};
        TheUserInfo().bLoggedIn = 1;
        for (const auto& [name, data] : c.stored) {
            test::SetValue(rig.registry, kPlayerKey, name, data);
        }
        rig.Cancel();
        EXPECT_EQ(rig.Run(), LoginDialog::kCancelled);

        ScriptedDialog& d = rig.Login();
        EXPECT_EQ(d.Text(lc::kUserName), c.user_name);
        EXPECT_EQ(d.Text(lc::kPassword), c.password);
        EXPECT_EQ(d.Checked(lc::kRememberPassword), c.remember);
        EXPECT_EQ(d.Checked(lc::kPlaySounds), c.sounds);
        EXPECT_EQ(d.Text(lc::kStatusLine), "Click Enter to Login");
        EXPECT_EQ(TheUserInfo().bLoggedIn, 0);
        EXPECT_EQ(d.Owner(), kConsole);
        EXPECT_TRUE(d.Centred());
        EXPECT_TRUE(d.InForeground());
    }
    std::vector<std::string> expected;
    for (int run = 0; run < 3; ++run) {
        expected.insert(expected.end(), {"Init Login Dialog,0:0", "INET Initialized,0:0",
                                         "Set Window Focus,0:0"});
    }
    EXPECT_EQ(Traces(), expected);
}

TEST_F(LoginDialogTest, AnAcceptedLoginFillsTheRecordSavesItAndTheNextDialogShowsIt) {
    CopyToField(TheUserInfo().szSessionID, "old");
    rig_.Reply(200, kAccepted);
    rig_.Then([](ScriptedDialog& d) {
        d.Click(lc::kRememberPassword);
        d.Click(lc::kPlaySounds);
    });
    rig_.Login("Max Power", "p&ss w");
    ASSERT_EQ(rig_.Run(), LoginDialog::kLoggedIn);

    EXPECT_EQ(rig_.Bodies(),
              std::vector<std::string>{"COMMAND=LOGIN&USERNAME=Ma%78+Power&PASSWORD=p%26ss+w"});
    const test::InetCallLog log = rig_.inet.Log();
    ASSERT_EQ(log.connects.size(), 1u);
    EXPECT_EQ(log.connects[0].host, "console.kestrix.com");
    EXPECT_EQ(log.connects[0].port, 443);
    EXPECT_EQ(log.open_requests[0].verb, "POST");
    EXPECT_EQ(log.open_requests[0].path, "/ws_Console/command.asp");

    const KXUserInfo& info = TheUserInfo();
    EXPECT_EQ(info.bLoggedIn, 1);
    EXPECT_STREQ(info.szUserID, "1002");
    EXPECT_STREQ(info.szUserName, "Max Power");
    EXPECT_STREQ(info.szPassword, "p&ss w");
    EXPECT_STREQ(info.szSessionID, "S-1");
    EXPECT_EQ(info.bMonitor, 0);
    EXPECT_EQ(info.bSavePassword, 1);
    EXPECT_EQ(info.bPlaySounds, 1);
    EXPECT_EQ(rig_.Stored("Username"), Field50("Max Power"));
    EXPECT_EQ(rig_.Stored("Password"), Field50("p&ss w"));
    EXPECT_EQ(rig_.Stored("SavePWD"), Sz("1"));
    EXPECT_EQ(rig_.Stored("PlaySounds"), Sz("1"));

    const std::vector<std::string> traces = Traces();
    const std::vector<std::string> tail(traces.end() - 3, traces.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Click Login,0:0", "Sending Login Information,0:0",
                                              "Login Command Complete,200:0"}));

    TheUserInfo() = KXUserInfo{};
    rig_.Cancel();
    EXPECT_EQ(rig_.Run(), LoginDialog::kCancelled);
    ScriptedDialog& next = rig_.windows.Last();
    EXPECT_EQ(next.Text(lc::kUserName), "Max Power");
    EXPECT_EQ(next.Text(lc::kPassword), "p&ss w");
    EXPECT_TRUE(next.Checked(lc::kRememberPassword));
    EXPECT_TRUE(next.Checked(lc::kPlaySounds));
}

TEST_F(LoginDialogTest, AcceptedRepliesOfEveryShape) {
    const std::string longest(49, 'S');
    struct Case {
        std::uint32_t status;
        std::string body;
        std::string session_id;
        int monitor;
    } const cases[] = {
        {399, "ERRORCODE=0\r\nUSERID=7\r\n", "old", 0},
        {200, "ERRORCODE=0\r\nUSERID=7\r\nMONITOR=\r\n", "old", 1},
        {200, "USERID=7\r\nERRORCODE=0\r\nSESSIONID=" + longest, longest, 0},
    };
    for (const Case& c : cases) {
        Rig rig;
        TheUserInfo() = KXUserInfo{};
        CopyToField(TheUserInfo().szSessionID, "old");
        rig.Reply(c.status, c.body);
        rig.Login("demo", "demo");
        EXPECT_EQ(rig.Run(), LoginDialog::kLoggedIn) << c.body;
        EXPECT_STREQ(TheUserInfo().szUserID, "7");
        EXPECT_EQ(FieldText(TheUserInfo().szSessionID), c.session_id);
        EXPECT_EQ(TheUserInfo().bMonitor, c.monitor);
    }
}

TEST_F(LoginDialogTest, AFailedReplyIsShownAndTheDialogStaysUsableForAnotherTry) {
    const std::string unexpected =
        "An unexpected response was received from the tournament server.";
    const std::string unknown = "An unknown error occured while loging in.";
    const std::string too_long(50, '9');
    struct Case {
        std::uint32_t status;
        std::string body;
        std::string message;
    } const cases[] = {
        {500, kAccepted,
         "Error communicating with tournament server.\nPlease connect to the internet and try "
         "again: (500)"},
        {199, kAccepted,
         "Error communicating with tournament server.\nPlease connect to the internet and try "
         "again: (199)"},
        {200, "", unexpected},
        {200, "USERID=1\r\n", unexpected},
        {200, "ERRORCODE=3\r\nERRORTEXT=Wrong password = no entry\r\n",
         "Wrong password = no entry"},
        {200, "ERRORCODE=3\r\nERRORTEXT=\r\n", ""},
        {200, "ERRORCODE=1\r\n", unknown},
        {200, "ERRORCODE=00\r\nUSERID=1\r\n", unknown},
        {200, "ERRORCODE=0\r\nSESSIONID=1\r\n", unexpected},
        {200, "ERRORCODE=0\r\nUSERID=" + too_long + "\r\n", unexpected},
        {200, "ERRORCODE=0\r\nUSERID=1\r\nSESSIONID=" + too_long + "\r\n", unexpected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        Rig rig;
        TheUserInfo() = KXUserInfo{};
        rig.Reply(c.status, c.body);
        rig.Login("demo", "demo");
        rig.Then([&](ScriptedDialog& d) {
            ASSERT_EQ(rig.windows.MessageBoxes().size(), 1u);
            EXPECT_EQ(rig.windows.MessageBoxes()[0].text, c.message);
            EXPECT_EQ(rig.windows.MessageBoxes()[0].caption, "Log in error");
            EXPECT_EQ(rig.windows.MessageBoxes()[0].owner, d.Window());
            for (const int id : kInputs) EXPECT_TRUE(d.Enabled(id)) << id;
            EXPECT_EQ(TheUserInfo().bLoggedIn, 0);
            EXPECT_STREQ(TheUserInfo().szUserID, "");
            EXPECT_FALSE(rig.Stored("Username").has_value());
            rig.Reply(200, kAccepted);
            d.PressEnter();
            Rig::AwaitReply(d);
        });
        EXPECT_EQ(rig.Run(), LoginDialog::kLoggedIn);
        EXPECT_EQ(rig.Bodies().size(), 2u);
    }
}

TEST_F(LoginDialogTest, AReplyCutShortNeverLogsInWhateverItsBodySays) {
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
        Rig rig;
        TheUserInfo() = KXUserInfo{};
        rig.Reply(200, kAccepted);
        rig.inet.ScriptNth(test::InetOp::Read, c.failing_read, c.behavior);
        rig.Login("demo", "demo");
        rig.Then([&](ScriptedDialog& d) {
            ASSERT_EQ(rig.windows.MessageBoxes().size(), 1u);
            EXPECT_EQ(rig.windows.MessageBoxes()[0].text, c.message);
            EXPECT_EQ(rig.windows.MessageBoxes()[0].caption, "Login Error");
            for (const int id : kInputs) EXPECT_TRUE(d.Enabled(id)) << id;
            EXPECT_EQ(TheUserInfo().bLoggedIn, 0);
            EXPECT_STREQ(TheUserInfo().szUserID, "");
            EXPECT_FALSE(rig.Stored("Username").has_value());
            // The next try is judged on its own.
            rig.Reply(200, kAccepted);
            d.PressEnter();
            Rig::AwaitReply(d);
        });
        EXPECT_EQ(rig.Run(), LoginDialog::kLoggedIn);
    }
}

TEST_F(LoginDialogTest, BlankFieldsAreRefusedBeforeAnythingIsSent) {
    struct Case {
        std::string user_name, password, message;
    } const cases[] = {
        {"", "pw", "Username cannot be blank."},
        {"", "", "Username cannot be blank."},
        {"ann", "", "Password cannot be blank."},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.Then([&](ScriptedDialog& d) {
            d.Type(lc::kUserName, c.user_name);
            d.Type(lc::kPassword, c.password);
            d.PressEnter();
        });
        rig.Cancel();
        EXPECT_EQ(rig.Run(), LoginDialog::kCancelled);
        ASSERT_EQ(rig.windows.MessageBoxes().size(), 1u);
        EXPECT_EQ(rig.windows.MessageBoxes()[0].text, c.message);
        EXPECT_EQ(rig.windows.MessageBoxes()[0].caption, "Log in error");
        EXPECT_EQ(rig.inet.CallCount(test::InetOp::CrackUrl), 0u);
    }
}

TEST_F(LoginDialogTest, LongFieldsAreSentAsTheirFirst49CharactersAndSpacesAsTyped) {
    std::string user_name;
    for (int i = 0; i < 60; ++i) user_name += static_cast<char>('A' + i % 26);
    rig_.Reply(200, kAccepted);
    rig_.Login(user_name, " a ");
    ASSERT_EQ(rig_.Run(), LoginDialog::kLoggedIn);
    EXPECT_EQ(rig_.Bodies(), std::vector<std::string>{"COMMAND=LOGIN&USERNAME=" +
                                                      user_name.substr(0, 49) + "&PASSWORD=+a+"});
    EXPECT_EQ(FieldText(TheUserInfo().szUserName), user_name.substr(0, 49));
}

TEST_F(LoginDialogTest, AGuestLoginWithRememberedPasswordStoresTheGuest) {
    rig_.Reply(200, kAccepted);
    rig_.Then([](ScriptedDialog& d) {
        d.Click(lc::kRememberPassword);
        d.Click(lc::kGuestLogin);
        Rig::AwaitReply(d);
    });
    ASSERT_EQ(rig_.Run(), LoginDialog::kLoggedIn);
    EXPECT_EQ(rig_.Bodies(),
              std::vector<std::string>{"COMMAND=LOGIN&USERNAME=guest&PASSWORD=tans%79"});
    EXPECT_EQ(rig_.Stored("Username"), Field50("guest"));
    EXPECT_EQ(rig_.Stored("Password"), Field50("tansy"));
    EXPECT_EQ(rig_.Stored("SavePWD"), Sz("1"));
    const std::vector<std::string> traces = Traces();
    EXPECT_EQ(std::vector<std::string>(traces.begin() + 3, traces.begin() + 5),
              (std::vector<std::string>{"Guest Login,0:0", "Click Login,0:0"}));
}

TEST_F(LoginDialogTest, WithoutARecordOrASessionTheDialogEndsAtOnce) {
    {
        rig_.inet.Script(test::InetOp::Open, test::Behavior::Fail(12004));
        EXPECT_EQ(rig_.Run(), LoginDialog::kCancelled);
        EXPECT_EQ(Traces(), std::vector<std::string>{"Init Login Dialog,0:0"});
    }
    {
        Rig rig;
        EXPECT_EQ(rig.Run(nullptr), LoginDialog::kCancelled);
        EXPECT_EQ(rig.inet.CallCount(test::InetOp::Open), 0u);
        ASSERT_EQ(rig.windows.MessageBoxes().size(), 1u);
        EXPECT_EQ(rig.windows.MessageBoxes()[0].text,
                  "KXUserInfo not passed to login initialization.");
        EXPECT_EQ(rig.windows.MessageBoxes()[0].caption, "Login Error");
    }
    ASSERT_EQ(rig_.windows.MessageBoxes().size(), 1u);
    EXPECT_EQ(rig_.windows.MessageBoxes()[0].text,
              "Unable to initialize internet connection. Error: 0");
    EXPECT_EQ(rig_.windows.MessageBoxes()[0].caption, "Login Error");
}

TEST_F(LoginDialogTest, ARequestThatCannotStartLeavesTheInputsEnabled) {
    rig_.inet.Script(test::InetOp::CrackUrl, test::Behavior::Fail(12006));
    rig_.Then([](ScriptedDialog& d) {
        d.Type(lc::kUserName, "demo");
        d.Type(lc::kPassword, "demo");
        d.PressEnter();
    });
    rig_.Cancel();
    EXPECT_EQ(rig_.Run(), LoginDialog::kCancelled);
    ASSERT_EQ(rig_.windows.MessageBoxes().size(), 1u);
    EXPECT_EQ(rig_.windows.MessageBoxes()[0].text, "An error occurred sending request. (12006)");
    EXPECT_EQ(rig_.windows.MessageBoxes()[0].caption, "Login Error");
    for (const int id : kInputs) EXPECT_TRUE(rig_.Login().Enabled(id)) << id;
}

TEST_F(LoginDialogTest, WaitingDisablesTheInputsInOrderAndCancelEndsWithoutTheReply) {
    rig_.inet.Script(test::InetOp::SendRequest, test::Behavior::PendUntilReleased());
    rig_.Then([](ScriptedDialog& d) {
        d.Type(lc::kUserName, "demo");
        d.Type(lc::kPassword, "demo");
        d.PressEnter();
        for (const int id : kInputs) EXPECT_FALSE(d.Enabled(id)) << id;
        EXPECT_TRUE(d.Enabled(kIdCancel));
    });
    rig_.Then([this](ScriptedDialog& d) {
        EXPECT_TRUE(rig_.inet.WaitUntilHeld(5s));
        d.Click(kIdCancel);
        // The request is given up before the dialog ends, not when it is destroyed.
        const test::InetCallLog log = rig_.inet.Log();
        ASSERT_EQ(log.open_requests.size(), 1u);
        EXPECT_EQ(std::count(log.closed.begin(), log.closed.end(), log.open_requests[0].created),
                  1);
    });
    EXPECT_EQ(rig_.Run(), LoginDialog::kCancelled);

    ScriptedDialog& d = rig_.Login();
    std::vector<std::string> disabled;
    for (const std::string& line : d.Log()) {
        if (line.rfind("disable ", 0) == 0) disabled.push_back(line);
    }
    EXPECT_EQ(disabled, (std::vector<std::string>{"disable 203", "disable 204", "disable 205",
                                                  "disable 1", "disable 212", "disable 213",
                                                  "disable 242"}));
    EXPECT_EQ(d.Log().back(), "end 2");
    EXPECT_EQ(d.LatePosts(), 0);
    EXPECT_TRUE(rig_.windows.MessageBoxes().empty());
    EXPECT_EQ(Traces().back(), "Sending Login Information,0:0");
}

TEST_F(LoginDialogTest, TheStatusLineFollowsTheEngine) {
    // The texts that differ from the registration's, and codes without a text.
    const std::pair<std::uint32_t, std::string> steps[] = {
        {10, "Click Enter to Login"},      {31, "Request Sent to Server..."},
        {41, "Response Received"},         {60, "Receiving Response..."},
        {100, "Receiving Response..."},    {200, "Waiting for Server..."},
        {51, "Disconnected."},
    };
    for (const auto& [status, text] : steps) {
        rig_.Then([status = status](ScriptedDialog& d) {
            d.Poster()->Post(WM_INET_STATUS, status, 0);
        });
        rig_.Then([status = status, text = text](ScriptedDialog& d) {
            EXPECT_EQ(d.Text(lc::kStatusLine), text) << status;
        });
    }
    rig_.Cancel();
    EXPECT_EQ(rig_.Run(), LoginDialog::kCancelled);
}

TEST_F(LoginDialogTest, RegisterPutsTheNewAccountIntoTheBoxesForEnter) {
    const auto index_of = [](std::span<const std::string_view> items, std::string_view item) {
        return static_cast<int>(std::find(items.begin(), items.end(), item) - items.begin());
    };
    const int texas = index_of(StateItems(), "Texas");
    rig_.Reply(200, kAccepted);
    rig_.Then([](ScriptedDialog& d) {
        d.Type(lc::kUserName, "old");
        d.Click(lc::kPlaySounds);
        d.Click(lc::kRegister);
    });
    // A registration the player leaves changes nothing.
    rig_.Cancel();
    rig_.Then([](ScriptedDialog& d) {
        EXPECT_EQ(d.Text(lc::kUserName), "old");
        d.Click(lc::kRegister);
    });
    rig_.Then([texas](ScriptedDialog& d) {
        d.Type(rc::kUserName, "newbie");
        d.Type(rc::kPassword, "pw1");
        d.Type(rc::kConfirmPassword, "pw1");
        d.Type(rc::kEmail, "newbie@mail.example");
        d.Type(rc::kFirstName, "New");
        d.Type(rc::kLastName, "Bie");
        d.Type(rc::kAddress, "1 Main St");
        d.Type(rc::kCity, "Austin");
        d.Choose(rc::kState, texas);
        d.Type(rc::kZip, "78701");
        d.Click(kIdOk);
        Rig::AwaitReply(d);
    });
    rig_.Then([this](ScriptedDialog& d) {
        EXPECT_EQ(d.TemplateId(), kLoginTemplateId);
        EXPECT_EQ(d.Text(lc::kUserName), "newbie");
        EXPECT_EQ(d.Text(lc::kPassword), "pw1");
        EXPECT_FALSE(d.Checked(lc::kRememberPassword));
        EXPECT_TRUE(d.Checked(lc::kPlaySounds));
        EXPECT_EQ(rig_.windows.Dialogs()[1]->Owner(), d.Window());
        rig_.Reply(200, kAccepted);
        d.PressEnter();
        Rig::AwaitReply(d);
    });
    ASSERT_EQ(rig_.Run(), LoginDialog::kLoggedIn);
    EXPECT_EQ(rig_.windows.Dialogs()[2]->Result(), 1);
    EXPECT_EQ(rig_.Bodies().back(), "COMMAND=LOGIN&USERNAME=newbie&PASSWORD=pw1");
    const std::vector<std::string> traces = Traces();
    EXPECT_EQ(std::count(traces.begin(), traces.end(), "Click Register,0:0"), 2);
}

}  // namespace
}  // namespace kx
