#include "app/command_dispatcher.h"

#include <gtest/gtest.h>

#include "support/console_harness.h"
#include "net/service_interface.h"

namespace kx {
namespace {

using test::ConsoleHarness;
using test::kVersionReport;
using test::Url;

constexpr const char* kNoGameName = "GAMENAME parameter not supplied for SHOWTOURLIST command.";
constexpr const char* kNoClientId = "CLIENTID parameter not supplied for SHOWTOURLIST command.";

// A console after a successful login, its first page already requested.
struct Dispatch {
    Dispatch() { h.Open(); }

    bool Run(const std::string& word, const char* parameters = nullptr) {
        if (parameters != nullptr) h.console.params.Parse(parameters, 1);
        return h.console.DispatchCommand(word);
    }
    std::size_t Navigations() const { return h.browser.Navigations().size(); }
    const test::NavigationRecord& Last() const { return h.browser.LastNavigation(); }

    ConsoleHarness h;
};

TEST(DispatchCommandTest, KnowsExactlyTheFourteenWords) {
    const char* const known[] = {"LOGIN",   "TIP",          "EXIT",         "INSTALL",
                                 "UPGRADE", "LOGOUT",       "SHOWTOURLIST", "SELECTCLIENT",
                                 "SHOWGAMELIST", "PLAYTOURNAMENT", "REFRESH", "LASTPLAY",
                                 "TOURDETAIL", "SHOWVERSIONS"};
    for (const char* word : known) {
        Dispatch d;
        EXPECT_TRUE(d.Run(word)) << word;
    }
    const std::string unknown[] = {"",        "exit",     "Refresh", "REFRESH ", " REFRESH",
                                   "REFRESHX", "REFRES",  "LOG",     std::string("EXIT\0", 5),
                                   "PLAY"};
    for (const std::string& word : unknown) {
        Dispatch d;
        const std::size_t navigations = d.Navigations();
        EXPECT_FALSE(d.Run(word)) << word;
        EXPECT_FALSE(d.h.dialog->HasEnded()) << word;
        EXPECT_EQ(d.Navigations(), navigations) << word;
        EXPECT_TRUE(d.h.windows.MessageBoxes().empty()) << word;
    }
}

TEST(DispatchCommandTest, RoutesTheCommandsOfOtherPartsToTheirOwnChecks) {
    // Each of these reads its parameters first, so an empty command shows
    // whose check ran.
    const struct {
        const char* word;
        const char* message;
    } cases[] = {
        {"TIP", "URL parameter not supplied for TIP command."},
        {"INSTALL", "URL parameter not supplied for INSTALL command."},
        {"UPGRADE", "URL parameter not supplied for INSTALL command."},
        {"PLAYTOURNAMENT", "TOURNAMENTID parameter not supplied for PLAYTOURNAMENT command."},
    };
    for (const auto& c : cases) {
        Dispatch d;
        d.h.LogIn();
        d.h.session.SelectGame("Word Maze", "3");
        d.h.clock.Set(100000);  // well past the guard against repeated plays
        EXPECT_TRUE(d.Run(c.word)) << c.word;
        ASSERT_EQ(d.h.windows.MessageBoxes().size(), 1u) << c.word;
        EXPECT_EQ(d.h.windows.MessageBoxes().back().text, c.message) << c.word;
        EXPECT_EQ(d.h.windows.MessageBoxes().back().caption, "Command Error") << c.word;
    }
}

TEST(DispatchCommandTest, ExitAndLogoutEndTheConsoleWithZero) {
    for (const std::u16string word : {u"EXIT", u"LOGOUT"}) {
        ConsoleHarness h;
        h.windows.SetIdleTimeout(std::chrono::milliseconds(100));
        h.windows.Then([&h, word](test::ScriptedDialog&) {
            auto page = h.ServicePage();
            test::ScriptedElement& link = page->Body().AddChild().Set(u"KXCommand", word);
            h.browser.LoadPage(page);
            EXPECT_EQ(page->Click(link), true);
        });
        EXPECT_EQ(h.console.RunModal(h.windows, kNoWindow), 0);
        EXPECT_EQ(h.browser.Navigations().size(), 1u) << "nothing is sent";
    }
}

TEST(DispatchCommandTest, ShowTourListSelectsAGameOrKeepsTheSelection) {
    struct Case {
        const char* name;
        const char* selected;  // game selected before, or null
        const char* parameters;
        std::vector<std::string> messages;
        const char* game_after;  // null: none selected
        bool navigates;
    } const cases[] = {
        {"new selection", nullptr, "GAMENAME=Chess\r\nCLIENTID=7\r\n", {}, "Chess", true},
        {"replaces the selection", "Go", "GAMENAME=Chess\r\nCLIENTID=7\r\n", {}, "Chess", true},
        {"no GAMENAME keeps the selection", "Go", "OTHER=1\r\n", {}, "Go", true},
        {"no GAMENAME and nothing selected", nullptr, "OTHER=1\r\n", {kNoGameName}, nullptr, false},
        {"no CLIENTID", "Go", "GAMENAME=Chess\r\n", {kNoClientId}, "Go", false},
        {"empty values are values", nullptr, "GAMENAME=\r\nCLIENTID=\r\n", {}, "", true},
    };
    for (const Case& c : cases) {
        Dispatch d;
        if (c.selected != nullptr) d.h.session.SelectGame(c.selected, "3");
        const std::size_t navigations = d.Navigations();
        EXPECT_TRUE(d.Run("SHOWTOURLIST", c.parameters));
        EXPECT_EQ(d.h.MessageTexts(), c.messages) << c.name;
        EXPECT_EQ(d.h.session.bGameSelected, c.game_after != nullptr ? 1 : 0) << c.name;
        if (c.game_after != nullptr) {
            EXPECT_EQ(d.h.session.strGameName, c.game_after) << c.name;
        }
        ASSERT_EQ(d.Navigations(), navigations + (c.navigates ? 1 : 0)) << c.name;
        if (!c.navigates) continue;
        EXPECT_EQ(d.Last().url, Url(kTourListFramePage));
        EXPECT_EQ(d.Last().target_frame, "maintable");
    }
}

TEST(DispatchCommandTest, ShowTourListPostsTheSelectionAndShowsItAgainWithoutParameters) {
    Dispatch d;
    d.Run("SHOWTOURLIST", "GAMENAME=Chess\r\nCLIENTID=7\r\n");
    const std::string expected =
        std::string("USERNAME=ann&USERID=U17&GAMENAME=Chess&CLIENTID=7&") + kVersionReport;
    EXPECT_EQ(d.Last().post_data, expected);
    d.Run("SHOWTOURLIST", "TOURNAMENTID=4\r\n");
    EXPECT_EQ(d.Last().post_data, expected);
    EXPECT_TRUE(d.h.windows.MessageBoxes().empty());
}

TEST(DispatchCommandTest, SelectClientReportsMissingParametersAndGoesOnToTheList) {
    struct Case {
        const char* name;
        const char* selected;
        const char* parameters;
        std::vector<std::string> messages;
        bool navigates;
    } const cases[] = {
        {"both present", nullptr, "GAMENAME=Chess\r\nCLIENTID=7\r\n", {}, true},
        {"nothing, nothing selected", nullptr, "X=1\r\n", {kNoGameName, kNoGameName}, false},
        {"nothing, a game selected", "Go", "X=1\r\n", {kNoGameName}, true},
        {"no CLIENTID", nullptr, "GAMENAME=Chess\r\n", {kNoClientId, kNoClientId}, false},
        {"no CLIENTID, a game selected", "Go", "GAMENAME=Chess\r\n", {kNoClientId, kNoClientId},
         false},
    };
    for (const Case& c : cases) {
        Dispatch d;
        if (c.selected != nullptr) d.h.session.SelectGame(c.selected, "3");
        const std::size_t navigations = d.Navigations();
        EXPECT_TRUE(d.Run("SELECTCLIENT", c.parameters));
        EXPECT_EQ(d.h.MessageTexts(), c.messages) << c.name;
        for (const auto& box : d.h.windows.MessageBoxes()) EXPECT_EQ(box.caption, "Command Error");
        EXPECT_EQ(d.Navigations(), navigations + (c.navigates ? 1 : 0)) << c.name;
        if (c.selected != nullptr) {
            EXPECT_EQ(d.h.session.strGameName, c.selected) << c.name << ": selection kept";
        }
    }
}

TEST(DispatchCommandTest, ShowGameListClearsTheSelectionForLaterNavigations) {
    Dispatch d;
    d.Run("SHOWTOURLIST", "GAMENAME=Chess\r\nCLIENTID=7\r\n");
    d.Run("SHOWGAMELIST");
    EXPECT_EQ(d.h.session.bGameSelected, 0);
    EXPECT_TRUE(d.h.session.strGameName.empty());
    EXPECT_TRUE(d.h.session.strClientID.empty());
    EXPECT_EQ(d.Last().url, Url(kTournamentConsolePage));
    EXPECT_EQ(d.Last().target_frame, std::nullopt);
    EXPECT_EQ(d.Last().post_data, std::string("USERNAME=ann&USERID=U17&") + kVersionReport);
    d.Run("SHOWVERSIONS");
    EXPECT_EQ(d.Last().post_data.find("GAMENAME"), std::string::npos);
}

TEST(DispatchCommandTest, ShowGameListAndLoginAskForTheLoginOnlyWhenNobodyIsLoggedIn) {
    struct Case {
        const char* word;
        bool logged_in;
        int login_result;
        std::size_t logins;
        bool ended;
        std::size_t navigations;  // after the first page
    } const cases[] = {
        {"LOGIN", true, 1, 0, false, 0},        {"LOGIN", false, 1, 1, false, 1},
        {"LOGIN", false, 2, 1, true, 0},        {"SHOWGAMELIST", true, 1, 0, false, 1},
        {"SHOWGAMELIST", false, 1, 1, false, 1}, {"SHOWGAMELIST", false, 2, 1, true, 0},
    };
    for (const Case& c : cases) {
        Dispatch d;
        d.h.session.SelectGame("Chess", "7");
        d.h.user.bLoggedIn = c.logged_in ? 1 : 0;
        d.h.login_result = c.login_result;
        d.h.login_owners.clear();
        const std::size_t navigations = d.Navigations();
        EXPECT_TRUE(d.Run(c.word));
        EXPECT_EQ(d.h.login_owners.size(), c.logins) << c.word << " " << c.logged_in;
        EXPECT_EQ(d.h.dialog->HasEnded(), c.ended) << c.word;
        if (c.ended) {
            EXPECT_EQ(d.h.dialog->Result(), 0);
        }
        ASSERT_EQ(d.Navigations(), navigations + c.navigations) << c.word;
        if (c.navigations > 0) {
            EXPECT_EQ(d.Last().url, Url(kTournamentConsolePage));
        }
    }
}

TEST(DispatchCommandTest, RefreshRepeatsTheLastRequestExactly) {
    Dispatch d;
    d.h.console.NavigateTo(Url(kStandingsPage), "TOURNID=9");
    const test::NavigationRecord before = d.Last();
    d.h.session.SelectGame("Chess", "7");  // not consulted again
    d.h.session.nLastTournID = 5;
    d.Run("REFRESH");
    EXPECT_EQ(d.Last().url, before.url);
    EXPECT_EQ(d.Last().post_data, before.post_data);
    EXPECT_EQ(d.Last().flags, 10);
    EXPECT_EQ(d.Last().headers, before.headers);
    EXPECT_EQ(d.h.console.lastUrl, before.url);
    EXPECT_EQ(d.h.TraceEvents().back(), "Refresh");
}

TEST(DispatchCommandTest, RefreshFillsTheWholeWindowOnlyForTheMainPage) {
    const std::string https_host = "https://console.kestrix.com";
    struct Case {
        std::string url;
        std::optional<std::string> target;
    } const cases[] = {
        {Url(kTournamentConsolePage), std::nullopt},
        {Url(kSoftwareVersionsPage), "maintable"},
        {https_host + std::string(kCreateAccountPage), "maintable"},
        {https_host + std::string(kTimeoutPage), "maintable"},
        {Url(kTourListFramePage), "maintable"},
    };
    for (const Case& c : cases) {
        Dispatch d;
        d.h.console.NavigateTo(c.url, "");
        d.Run("REFRESH");
        EXPECT_EQ(d.Last().url, c.url);
        EXPECT_EQ(d.Last().target_frame, c.target) << c.url;
    }
}

TEST(DispatchCommandTest, RefreshShowsAPostDataFailure) {
    Dispatch d;
    d.h.browser.FailCreatePostData();
    d.Run("REFRESH");
    EXPECT_EQ(d.h.MessageTexts(), std::vector<std::string>{"Out of memory"});
    EXPECT_EQ(d.h.windows.MessageBoxes()[0].caption, "Console Error");
    EXPECT_EQ(d.Navigations(), 1u);
}

TEST(DispatchCommandTest, LastPlayShowsTheStandingsOfTheLastPlayOrRefreshes) {
    Dispatch d;
    d.Run("LASTPLAY");
    EXPECT_EQ(d.Last().url, Url(kTournamentConsolePage)) << "no play yet: as REFRESH";
    EXPECT_EQ(d.Last().target_frame, std::nullopt);
    EXPECT_EQ(d.h.TraceEvents().back(), "Refresh");

    d.h.session.nLastTournID = 17;
    d.Run("LASTPLAY");
    EXPECT_EQ(d.Last().url, Url(kStandingsPage));
    EXPECT_EQ(d.Last().target_frame, "maintable");
    EXPECT_EQ(d.Last().post_data,
              std::string("USERNAME=ann&USERID=U17&LASTTOURNID=17&") + kVersionReport +
                  "&TOURNID=17");
}

TEST(DispatchCommandTest, TourDetailAppendsTheTournamentAsThePageWroteIt) {
    struct Case {
        const char* parameters;
        const char* tail;  // null: reported, nothing sent
    } const cases[] = {
        {"TOURNAMENTID=12\r\n", "&TOURNID=12"},
        {"TOURNAMENTID=1 2&x=%\r\n", "&TOURNID=1 2&x=%"},
        {"TOURNAMENTID=\r\n", "&TOURNID="},
        {"TOURNAMENT=12\r\n", nullptr},
    };
    for (const Case& c : cases) {
        Dispatch d;
        const std::size_t navigations = d.Navigations();
        EXPECT_TRUE(d.Run("TOURDETAIL", c.parameters));
        if (c.tail == nullptr) {
            EXPECT_EQ(d.h.MessageTexts(),
                      std::vector<std::string>{
                          "TOURNAMENTID parameter not supplied for TOURDETAIL command."});
            EXPECT_EQ(d.h.windows.MessageBoxes()[0].caption, "Command Error");
            EXPECT_EQ(d.Navigations(), navigations);
            continue;
        }
        EXPECT_EQ(d.Last().url, Url(kStandingsPage));
        EXPECT_EQ(d.Last().post_data,
                  std::string("USERNAME=ann&USERID=U17&") + kVersionReport + c.tail);
    }
}

TEST(DispatchCommandTest, ShowVersionsPostsTheVersionReportToTheWholeWindow) {
    Dispatch d;
    test::SetValue(d.h.registry, std::string(kClientsKey) + "\\Chess", "VERSION", test::Sz("1.5"));
    d.Run("SHOWVERSIONS");
    EXPECT_EQ(d.Last().url, Url(kSoftwareVersionsPage));
    EXPECT_EQ(d.Last().target_frame, std::nullopt);
    // Built once when the window opened, not at each navigation.
    EXPECT_EQ(d.Last().post_data, std::string("USERNAME=ann&USERID=U17&") + kVersionReport);
}

}  // namespace
}  // namespace kx
