#include "play/server_wait_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "resources/server_wait_template.h"
#include "support/captured_debug_output.h"
#include "support/scripted_inet_api.h"
#include "support/scripted_window_system.h"

namespace kx {
namespace {

using namespace std::chrono_literals;
using test::Behavior;
using test::InetOp;
using test::ScriptedDialog;

constexpr auto kWait = 5s;
constexpr WindowId kOwner = 0x42;
constexpr std::string_view kUrl = "http://tournaments.test/ws_Console/command.asp";
constexpr std::string_view kForm = "COMMAND=STARTTOUR&TOURNAMENTID=7";
constexpr std::string_view kScoreTitle = "Sending score to tournament server...";
constexpr unsigned kCancelTimer = 1;
constexpr int kTitleLine = server_wait_control::kTitle;
constexpr int kStatusLine = server_wait_control::kStatus;

struct Rig {
    // The request reaches the send and stays there, announcing nothing, until
    // the test releases it or the dialog cancels it.
    void HoldRequest() {
        inet.Script(InetOp::Connect, Behavior::AtOnce(test::Announce::Nothing));
        inet.Script(InetOp::OpenRequest, Behavior::AtOnce(test::Announce::Nothing));
        inet.Script(InetOp::SendRequest, Behavior::PendUntilReleased());
    }
    void Ticks(int count) {
        windows.Then([count](ScriptedDialog& d) {
            for (int i = 0; i < count; ++i) d.FireTimer(kCancelTimer);
        });
    }
    int Run(int cancel_delay, std::string_view title = ServerWaitDialog::kKeepTitle) {
        EXPECT_TRUE(dialog.Prepare(kUrl, kForm, title, cancel_delay));
        return dialog.RunModal(windows, kOwner);
    }
    bool Logged(std::string_view line) {
        const auto& log = windows.Last().Log();
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    test::CapturedDebugOutput debug;  // outlives the engine's worker
    test::ScriptedInetApi inet;
    test::ScriptedWindowSystem windows;
    ServerWaitDialog dialog{inet};
};

TEST(ServerWaitDialogTest, CancelBecomesAvailableAtTheTenthTickAndNotBefore) {
    Rig rig;
    rig.HoldRequest();
    std::vector<bool> enabled;
    rig.windows.Then([&](ScriptedDialog& d) {
        EXPECT_EQ(d.Timers(), (std::map<unsigned, unsigned>{{kCancelTimer, 1000}}));
        enabled.push_back(d.Enabled(kIdCancel));
        for (int tick = 1; tick <= 11; ++tick) {
            d.FireTimer(kCancelTimer);
            enabled.push_back(d.Enabled(kIdCancel));
        }
    });
    rig.windows.Then([](ScriptedDialog& d) { d.Click(kIdCancel); });

    EXPECT_EQ(rig.Run(10), 2);
    std::vector<bool> expected(10, false);
    expected.insert(expected.end(), 2, true);
    EXPECT_EQ(enabled, expected);
    EXPECT_TRUE(rig.windows.Last().Timers().empty());
    EXPECT_TRUE(rig.Logged("stop timer 1"));
}

TEST(ServerWaitDialogTest, WithoutADelayCancelIsAvailableAtOnceAndNoTimerRuns) {
    for (const int delay : {0, -3}) {
        SCOPED_TRACE(delay);
        Rig rig;
        rig.HoldRequest();
        rig.windows.Then([](ScriptedDialog& d) {
            EXPECT_TRUE(d.Enabled(kIdCancel));
            EXPECT_TRUE(d.Timers().empty());
            d.Click(kIdCancel);
        });
        EXPECT_EQ(rig.Run(delay), 2);
        for (const std::string& line : rig.windows.Last().Log()) {
            EXPECT_EQ(line.find("timer"), std::string::npos) << line;
        }
    }
}

TEST(ServerWaitDialogTest, EscapeCancelsOnlyOnceCancelIsAvailable) {
    Rig rig;
    rig.HoldRequest();
    rig.windows.Then([](ScriptedDialog& d) {
        d.PressEscape();
        d.FireTimer(kCancelTimer);
        d.PressEscape();
        EXPECT_FALSE(d.HasEnded());
        d.FireTimer(kCancelTimer);
        d.PressEscape();
    });
    EXPECT_EQ(rig.Run(2), 2);
    EXPECT_EQ(rig.inet.CallCount(InetOp::CloseRequest), 1u);
}

TEST(ServerWaitDialogTest, ASecondRunKeepsCancelDisabledForItsWholeDelay) {
    Rig rig;
    rig.HoldRequest();
    rig.Ticks(10);
    rig.windows.Then([](ScriptedDialog& d) { d.Click(kIdCancel); });
    ASSERT_EQ(rig.Run(10), 2);

    std::vector<bool> enabled;
    rig.windows.Then([&](ScriptedDialog& d) {
        enabled.push_back(d.Enabled(kIdCancel));
        for (int tick = 1; tick <= 10; ++tick) {
            d.FireTimer(kCancelTimer);
            enabled.push_back(d.Enabled(kIdCancel));
        }
        d.Click(kIdCancel);
    });
    EXPECT_EQ(rig.Run(10), 2);
    std::vector<bool> expected(10, false);
    expected.push_back(true);
    EXPECT_EQ(enabled, expected);
}

TEST(ServerWaitDialogTest, ATitleIsKeptUntilAnotherIsGiven) {
    struct Case {
        const char* name;
        std::vector<std::string_view> titles;  // one Prepare and run each
        std::string_view shown;
    } const cases[] = {
        {"fresh object", {ServerWaitDialog::kKeepTitle}, "Contacting tournament server..."},
        {"given", {kScoreTitle}, kScoreTitle},
        {"given earlier", {kScoreTitle, ServerWaitDialog::kKeepTitle}, kScoreTitle},
        {"replaced", {kScoreTitle, "Retrying..."}, "Retrying..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        for (const std::string_view title : c.titles) ASSERT_EQ(rig.Run(0, title), 1);
        EXPECT_EQ(rig.windows.Last().Text(kTitleLine), c.shown);
        EXPECT_EQ(rig.dialog.Title(), c.shown);
    }
}

TEST(ServerWaitDialogTest, StatusCodesWithATextReplaceTheLineAndOthersLeaveIt) {
    // In order, each with the status line it leaves behind.
    const std::vector<std::pair<std::uint32_t, std::string>> steps = {
        {10, ""},
        {20, "Connecting to server..."},
        {11, "Connecting to server..."},
        {21, "Connected to server..."},
        {30, "Sending data request..."},
        {31, "Sending data request..."},
        {40, "Receiving response..."},
        {41, "Response received..."},
        {42, "Receiving response..."},
        {41, "Response received..."},
        {43, "Receiving response..."},
        {41, "Response received..."},
        {60, "Receiving response..."},
        {41, "Response received..."},
        {110, "Receiving response..."},
        {41, "Response received..."},
        {120, "Receiving response..."},
        {41, "Response received..."},
        {200, "Receiving response..."},
        {50, "Disconnecting..."},
        {70, "Disconnecting..."},
        {100, "Disconnecting..."},
        {51, "Disconnected."},
        {1000, "Disconnected."},
    };
    Rig rig;
    rig.HoldRequest();
    rig.windows.Then([&](ScriptedDialog&) { ASSERT_TRUE(rig.inet.WaitUntilHeld(kWait)); });
    rig.windows.Then([&](ScriptedDialog& d) {
        EXPECT_EQ(d.Text(kStatusLine), "");
        for (const auto& [status, line] : steps) {
            d.Poster()->Post(WM_INET_STATUS, status, 0);
            ASSERT_TRUE(d.DeliverUntil(WM_INET_STATUS));
            EXPECT_EQ(d.Text(kStatusLine), line) << status;
        }
        d.Click(kIdCancel);
    });
    EXPECT_EQ(rig.Run(0), 2);
}

TEST(ServerWaitDialogTest, TheOutcomeStaysReadableAfterTheWindowHasEnded) {
    using Pairs = std::map<std::string, std::string>;
    struct Case {
        const char* name;
        std::function<void(test::ScriptedInetApi&)> script;
        std::string_view url;
        test::ScriptedReply reply;
        std::uint32_t error;
        std::uint32_t status;
        Pairs response;
    } const cases[] = {
        {"accepted", nullptr, kUrl, {200, {}, "ERRORCODE=0\r\nPLAYID=41\r\n"}, 0, 200,
         Pairs{{"ERRORCODE", "0"}, {"PLAYID", "41"}}},
        {"refused", nullptr, kUrl, {200, {}, "ERRORCODE=3\r\nERRORTEXT=Closed.\r\n"}, 0, 200,
         Pairs{{"ERRORCODE", "3"}, {"ERRORTEXT", "Closed."}}},
        {"error status", nullptr, kUrl, {500, {}, "<html>Server busy</html>"}, 0, 500, Pairs{}},
        {"transfer failed",
         [](test::ScriptedInetApi& inet) {
             inet.Script(InetOp::Connect, Behavior::Fail(kErrorInternetCannotConnect));
         },
         kUrl, {}, kErrorInternetCannotConnect, 0, Pairs{}},
        {"not started", nullptr, "tournaments.test/command.asp", {},
         kErrorInternetUnrecognizedScheme, 0, Pairs{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        if (c.script) c.script(rig.inet);
        rig.inet.SetReply(c.reply);
        ASSERT_TRUE(rig.dialog.Prepare(c.url, kForm, kScoreTitle, 15));
        EXPECT_EQ(rig.dialog.RunModal(rig.windows, kOwner), 1);

        EXPECT_EQ(rig.dialog.Error(), c.error);
        EXPECT_EQ(rig.dialog.StatusCode(), c.status);
        EXPECT_EQ(rig.dialog.Response().Values(), c.response);
        EXPECT_EQ(rig.dialog.Title(), kScoreTitle);
        EXPECT_TRUE(rig.windows.Last().Timers().empty());
        EXPECT_EQ(rig.windows.Last().Owner(), kOwner);
        EXPECT_TRUE(rig.windows.Last().Centred());
        EXPECT_EQ(rig.inet.Log().cracked_urls, std::vector<std::string>{std::string(c.url)});
    }
}

TEST(ServerWaitDialogTest, PostsTheFormDataToTheUrl) {
    Rig rig;
    ASSERT_EQ(rig.Run(0), 1);
    const auto log = rig.inet.Log();
    ASSERT_EQ(log.sends.size(), 1u);
    EXPECT_EQ(log.sends[0].body, kForm);
    ASSERT_EQ(log.open_requests.size(), 1u);
    EXPECT_EQ(log.open_requests[0].verb, "POST");
    EXPECT_EQ(log.open_requests[0].path, "/ws_Console/command.asp");
}

TEST(ServerWaitDialogTest, EachResponseReplacesTheOneBefore) {
    Rig rig;
    rig.inet.SetReply({200, {}, "ERRORCODE=0\r\nPLAYID=41\r\n"});
    ASSERT_EQ(rig.Run(0), 1);
    rig.inet.SetReply({200, {}, "no pairs here"});
    ASSERT_EQ(rig.Run(0), 1);
    EXPECT_TRUE(rig.dialog.Response().Values().empty());
}

TEST(ServerWaitDialogTest, PrepareFailsWhenNoSessionCanBeOpened) {
    Rig rig;
    rig.inet.Script(InetOp::Open, Behavior::Fail(kErrorInternetInternalError));
    EXPECT_FALSE(rig.dialog.Prepare(kUrl, kForm, ServerWaitDialog::kKeepTitle, 10));
}

TEST(ServerWaitDialogTest, AWindowTornDownMidRequestCancelsTheRequestFirst) {
    Rig rig;
    rig.HoldRequest();
    rig.windows.SetIdleTimeout(100ms);
    EXPECT_EQ(rig.Run(10), test::ScriptedWindowSystem::kStuck);
    // The request has ended, so nothing of it can reach the ended window.
    EXPECT_EQ(rig.inet.CallCount(InetOp::CloseRequest), 1u);
    EXPECT_EQ(rig.windows.Last().LatePosts(), 0);
}

}  // namespace
}  // namespace kx
