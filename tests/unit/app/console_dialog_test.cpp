#include "app/console_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/console_harness.h"
#include "net/service_interface.h"
#include "platform/hresult.h"

namespace kx {
namespace {

using test::ConsoleHarness;
using test::kHeaders;
using test::kVersionReport;
using test::ScriptedBrowser;
using test::ScriptedDocument;
using test::Url;

constexpr BrowserIdentity kFrame = 0xF00;

TEST(ConsoleDialogTest, InitialisesInOrderAndRequestsTheMainPageAfterTheLogin) {
    ConsoleHarness h;
    test::ScriptedDialog& dialog = h.Open();

    EXPECT_EQ(h.browser.DropTargetState(), DropTarget::Refused);
    EXPECT_EQ(dialog.Log(), (std::vector<std::string>{"client 800x545", "move 202 0,0 800x545",
                                                       "centre"}));
    ASSERT_EQ(h.login_listening, std::vector<bool>{false}) << "events must start after the login";
    EXPECT_TRUE(h.browser.Listening());
    EXPECT_EQ(h.console.Window(), dialog.Window());
    EXPECT_EQ(h.console.versionReport, kVersionReport);

    ASSERT_EQ(h.browser.Navigations().size(), 1u);
    const test::NavigationRecord& first = h.browser.LastNavigation();
    EXPECT_EQ(first.url, Url(kTournamentConsolePage));
    EXPECT_EQ(first.target_frame, std::nullopt);
    EXPECT_EQ(first.flags, 10);
    EXPECT_EQ(first.headers, kHeaders);
    EXPECT_EQ(first.post_data, std::string("USERNAME=ann&USERID=U17&") + kVersionReport);
    EXPECT_EQ(h.console.lastUrl, first.url);
    EXPECT_EQ(h.console.lastFormData, first.post_data);
    EXPECT_EQ(h.TraceEvents(), std::vector<std::string>{"Nav to " + first.url});
}

TEST(ConsoleDialogTest, TheLoginDecidesWhetherTheConsoleStays) {
    struct Case {
        int login_result;
        bool ended;
        std::size_t navigations;
    } const cases[] = {{1, false, 1}, {2, true, 0}, {0, false, 0}, {-1, false, 0}};
    for (const Case& c : cases) {
        ConsoleHarness h;
        h.login_result = c.login_result;
        test::ScriptedDialog& dialog = h.Open();
        EXPECT_EQ(dialog.HasEnded(), c.ended) << c.login_result;
        if (c.ended) {
            EXPECT_EQ(dialog.Result(), 0);
        }
        EXPECT_EQ(h.browser.Navigations().size(), c.navigations) << c.login_result;
    }
}

TEST(ConsoleDialogTest, EnterDoesNothingAndEscapeEndsWithTwo) {
    ConsoleHarness h;
    h.windows.Then([](test::ScriptedDialog& d) { d.PressEnter(); });
    h.windows.Then([](test::ScriptedDialog& d) {
        EXPECT_FALSE(d.HasEnded());
        d.PressEscape();
    });
    EXPECT_EQ(h.console.RunModal(h.windows, kNoWindow), 2);
    // The login dialog is owned by the active window, the console itself.
    EXPECT_EQ(h.login_owners, std::vector<WindowId>{h.windows.Last().Window()});
    EXPECT_FALSE(h.browser.Listening());
}

TEST(ConsoleDialogTest, ACancelledLoginEndsTheModalRunWithZero) {
    ConsoleHarness h;
    h.login_result = 2;
    EXPECT_EQ(h.console.RunModal(h.windows, kNoWindow), 0);
    EXPECT_TRUE(h.browser.Navigations().empty());
}

TEST(ConsoleDialogTest, SizeChangesFitTheBrowserToTheClientArea) {
    ConsoleHarness h;
    test::ScriptedDialog& dialog = h.Open();
    dialog.SetClientSize(640, 480);
    h.console.OnSize();
    EXPECT_EQ(dialog.Control(console_control::kBrowser).rect, (PixelRect{0, 0, 640, 480}));
}

TEST(ConsoleDialogTest, DestructionStopsEventsDetachesTheSinkAndClosesTheTrace) {
    ConsoleHarness h;
    h.Open();
    auto page = h.ServicePage();
    h.browser.LoadPage(page);
    ASSERT_TRUE(page->SinkAttached());
    h.Close();
    EXPECT_FALSE(h.browser.Listening());
    EXPECT_FALSE(page->SinkAttached());
    EXPECT_EQ(page->Detaches(), 1);
    EXPECT_FALSE(h.trace.IsOpen());
}

TEST(ConsoleDialogTest, NavigateToPostsTheSessionInItsOrder) {
    struct Case {
        const char* name;
        bool logged_in;
        const char* user_name;
        const char* game;  // null: none selected
        std::int32_t last_tournament;
        bool version_report;
        const char* extra;
        std::string expected;
    } const cases[] = {
        {"nothing at all", false, "", nullptr, 0, false, "", ""},
        {"user only", true, "ann", nullptr, 0, false, "", "USERNAME=ann&USERID=U17"},
        {"blank and ampersand", true, "Ann Lee & Co", nullptr, 0, false, "",
         "USERNAME=Ann+Lee+%26+Co&USERID=U17"},
        {"game and last play", true, "ann", "Chess", 17, true, "",
         std::string("USERNAME=ann&USERID=U17&GAMENAME=Chess&CLIENTID=7&LASTTOURNID=17&") +
             kVersionReport},
        {"game without a user", false, "", "Word Maze", 0, false, "",
         "GAMENAME=Word+Ma%7Ae&CLIENTID=7"},
        {"negative last play", false, "", nullptr, -3, false, "", "LASTTOURNID=%2D3"},
        {"extra unencoded last", true, "ann", nullptr, 0, true, "TOURNID=1 2",
         std::string("USERNAME=ann&USERID=U17&") + kVersionReport + "&TOURNID=1 2"},
        {"extra alone", false, "", nullptr, 0, false, "RANK=1", "RANK=1"},
    };
    for (const Case& c : cases) {
        ConsoleHarness h;
        h.login_result = 0;
        h.Open();
        if (c.logged_in) h.LogIn(c.user_name);
        if (c.game != nullptr) h.session.SelectGame(c.game, "7");
        h.session.nLastTournID = c.last_tournament;
        if (!c.version_report) h.console.versionReport.clear();

        h.console.NavigateTo(Url(kStandingsPage), c.extra);
        ASSERT_EQ(h.browser.Navigations().size(), 1u) << c.name;
        EXPECT_EQ(h.browser.LastNavigation().post_data, c.expected) << c.name;
        EXPECT_EQ(h.console.lastFormData, c.expected) << c.name;
    }
}

TEST(ConsoleDialogTest, NavigateToFillsTheWholeWindowOnlyForTheFourWholeWindowPages) {
    const std::string https_host = "https://console.kestrix.com";
    struct Case {
        std::string url;
        std::optional<std::string> target;
    } const cases[] = {
        {Url(kTournamentConsolePage), std::nullopt},
        {https_host + std::string(kCreateAccountPage), std::nullopt},
        {https_host + std::string(kTimeoutPage), std::nullopt},
        {Url(kSoftwareVersionsPage), std::nullopt},
        {Url(kTourListFramePage), "maintable"},
        {Url(kStandingsPage), "maintable"},
        // Whole-string equality: another scheme, case or query is another page.
        {https_host + std::string(kTournamentConsolePage), "maintable"},
        {"http://CONSOLE.kestrix.com" + std::string(kTournamentConsolePage), "maintable"},
        {Url(kTournamentConsolePage) + "?x=1", "maintable"},
        {"http://elsewhere.example/page.asp", "maintable"},
    };
    ConsoleHarness h;
    h.Open();
    for (const Case& c : cases) {
        h.console.NavigateTo(c.url, "");
        EXPECT_EQ(h.browser.LastNavigation().url, c.url);
        EXPECT_EQ(h.browser.LastNavigation().target_frame, c.target) << c.url;
        EXPECT_EQ(h.console.lastUrl, c.url);
    }
}

TEST(ConsoleDialogTest, WholeWindowPagesFollowTheConfiguredServiceHost) {
    ConsoleHarness h;
    test::SetValue(h.registry, kGeneralKey, "ServiceHost", test::Sz("demo.example"));
    h.Open();
    EXPECT_EQ(h.browser.LastNavigation().url,
              "http://demo.example/ws_Console/tournamentconsole.asp");
    EXPECT_EQ(h.browser.LastNavigation().target_frame, std::nullopt);
}

TEST(ConsoleDialogTest, APostDataFailureIsShownAndNothingIsNavigated) {
    struct Case {
        const char* name;
        void (*arrange)(ScriptedBrowser&);
        const char* message;
    } const cases[] = {
        {"array not made", [](ScriptedBrowser& b) { b.FailCreatePostData(); }, "Out of memory"},
        {"data not reachable", [](ScriptedBrowser& b) { b.FailAccessData(kE_FAIL); },
         "Safe Array access error!"},
    };
    for (const Case& c : cases) {
        ConsoleHarness h;
        h.Open();
        c.arrange(h.browser);
        h.console.NavigateTo(Url(kStandingsPage), "TOURNID=4");
        EXPECT_EQ(h.browser.Navigations().size(), 1u) << c.name;
        ASSERT_EQ(h.windows.MessageBoxes().size(), 1u) << c.name;
        EXPECT_EQ(h.windows.MessageBoxes()[0].text, c.message);
        EXPECT_EQ(h.windows.MessageBoxes()[0].caption, "Console Error");
        EXPECT_EQ(h.windows.MessageBoxes()[0].owner, h.console.Window());
        EXPECT_EQ(h.console.lastUrl, Url(kStandingsPage)) << c.name;
        EXPECT_EQ(h.console.lastFormData,
                  std::string("USERNAME=ann&USERID=U17&") + kVersionReport + "&TOURNID=4");
    }
}

TEST(ConsoleDialogTest, TopLevelPagesCycleTheClickSinkAndRunTheirOnLoadCommand) {
    ConsoleHarness h;
    h.Open();
    auto first = h.ServicePage();
    first->Body().Set(u"KXOnLoad", u"SHOWVERSIONS");
    h.browser.LoadPage(first);
    EXPECT_TRUE(first->SinkAttached());
    EXPECT_EQ(h.browser.LastNavigation().url, Url(kSoftwareVersionsPage));

    h.browser.FireBeforeNavigate2(ScriptedBrowser::kTopLevel);
    EXPECT_FALSE(first->SinkAttached());

    auto second = h.ServicePage();
    h.browser.LoadPage(second);
    EXPECT_TRUE(second->SinkAttached());
    EXPECT_EQ(first->Attaches(), 1);
    EXPECT_EQ(first->Detaches(), 1);
}

TEST(ConsoleDialogTest, FrameLoadsWriteTheTraceButRunNoOnLoadCommand) {
    ConsoleHarness h;
    h.Open();
    auto top = h.ServicePage();
    h.browser.LoadPage(top);
    const std::size_t navigations = h.browser.Navigations().size();

    // The frame's page would carry an on-load command; it must not run.
    auto frame_page = h.ServicePage(u"http://console.kestrix.com/ws_Console/tourlistframe.asp");
    frame_page->Body().Set(u"KXOnLoad", u"REFRESH");
    h.browser.SetDocument(frame_page);
    h.browser.LoadFrame(kFrame, u"http://console.kestrix.com/ws_Console/tourlistframe.asp");

    EXPECT_EQ(h.browser.Navigations().size(), navigations);
    EXPECT_TRUE(top->SinkAttached()) << "a frame load must not detach the top-level document";
    EXPECT_FALSE(frame_page->SinkAttached());
    const std::vector<std::string> events = h.TraceEvents();
    EXPECT_EQ(std::count(events.begin(), events.end(), "Navigate Complete"), 2);
}

TEST(ConsoleDialogTest, DocumentsThatCannotListenRunNoOnLoadCommandSilently) {
    using test::ScriptedDocument;
    struct Case {
        const char* name;
        void (*arrange)(ScriptedBrowser&, ScriptedDocument&);
    } const cases[] = {
        {"no document", [](ScriptedBrowser& b, ScriptedDocument&) { b.FailGetDocument(kE_FAIL); }},
        {"not HTML",
         [](ScriptedBrowser&, ScriptedDocument& d) {
             d.Fail(ScriptedDocument::Step::QueryHtmlDocument, kE_NOINTERFACE);
         }},
        {"sink refused",
         [](ScriptedBrowser&, ScriptedDocument& d) {
             d.Fail(ScriptedDocument::Step::AttachClickSink, kE_FAIL);
         }},
    };
    for (const Case& c : cases) {
        ConsoleHarness h;
        h.Open();
        auto page = h.ServicePage();
        page->Body().Set(u"KXOnLoad", u"SHOWVERSIONS");
        c.arrange(h.browser, *page);
        h.browser.LoadPage(page);
        EXPECT_EQ(h.browser.Navigations().size(), 1u) << c.name;
        EXPECT_TRUE(h.windows.MessageBoxes().empty()) << c.name;
        EXPECT_FALSE(page->SinkAttached()) << c.name;
        EXPECT_EQ(h.TraceEvents().back(), "Navigate Complete") << c.name;
        // The next top-level navigation still works from a clean state.
        h.browser.FireBeforeNavigate2(ScriptedBrowser::kTopLevel);
        h.Close();
    }
}

}  // namespace
}  // namespace kx
