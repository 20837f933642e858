#include "play/play_tournament.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/registry_paths.h"
#include "play/game_services.h"
#include "play/md5.h"
#include "play/pending_score.h"
#include "resources/server_wait_template.h"
#include "support/captured_debug_output.h"
#include "support/fake_files.h"
#include "support/fake_processes.h"
#include "support/fake_sound.h"
#include "support/scripted_inet_api.h"
#include "support/console_harness.h"

namespace kx {
namespace {

using namespace std::chrono_literals;
using test::Behavior;
using test::InetOp;
using test::ScriptedDialog;
using test::ScriptedReply;

constexpr std::uint64_t kNow = 100000;
constexpr std::string_view kExePath = "C:\\Games\\Word Maze\\wordmaze.exe";
constexpr std::string_view kCommandUrl = "https://console.kestrix.com/ws_Console/command.asp";
constexpr std::string_view kVerifyPath = "C:\\Temp\\verify.txt";
constexpr std::string_view kStartReply = "ERRORCODE=0\r\nPLAYID=5001\r\nCLIENTID=3\r\nSEED=9\r\n";
constexpr std::string_view kEndReply = "ERRORCODE=0\r\nRANK=1\r\nPERCENTILE=4\r\n";
constexpr std::string_view kAbnormalEnd =
    "The game has terminated abnormally if you continue to receive this error please contact "
    "technical support for help.";
constexpr std::string_view kConfirmCancel =
    "You have chosen to cancel posting your score. Your score for this tournament will NOT be "
    "posted. Are you sure you want to cancel?";

ScriptedReply Reply(std::string_view body, std::uint32_t status = 200) {
    return {status, body.size(), std::string(body), 0};
}

struct Box {
    std::string text;
    std::string caption;
    friend bool operator==(const Box&, const Box&) = default;
};

void PrintTo(const Box& box, std::ostream* out) { *out << box.caption << ": " << box.text; }

// A console with a logged-in player who has selected Word Maze, whose game
// client is installed; every request waits until its reply is chosen.
struct PlayRig {
    PlayRig() {
        h.ports.inet = &inet;
        h.ports.processes = &processes;
        h.ports.files = &files;
        h.ports.sound = &sound;
        h.Open();
        CopyToField(h.user.szPassword, "pw 1");
        h.user.bPlaySounds = 1;
        h.session.SelectGame("Word Maze", "3");
        SetExePath(kExePath);
        h.clock.Set(kNow);
        h.console.params.Set("TOURNAMENTID", "12");
        inet.Script(InetOp::Connect, Behavior::AtOnce(test::Announce::Nothing));
        inet.Script(InetOp::OpenRequest, Behavior::AtOnce(test::Announce::Nothing));
        inet.Script(InetOp::SendRequest, Behavior::PendUntilReleased());
        traces_before_ = h.TraceEvents().size();
        navigations_before_ = h.browser.Navigations().size();
    }

    void SetExePath(std::string_view path) {
        test::SetValue(h.registry, std::string(kClientsKey) + "\\Word Maze", "EXEPATH",
                       test::Sz(path));
    }

    // The next request of a wait dialog gets this reply.
    void Serve(std::string_view body, std::uint32_t status = 200) {
        h.windows.Then([this, reply = Reply(body, status)](ScriptedDialog& d) {
            ASSERT_TRUE(inet.WaitUntilHeld(5s));
            inet.SetReply(reply);
            inet.ReleasePending();
            // Ended here, so that no later step runs on this window.
            EXPECT_TRUE(d.DeliverUntil(WM_INET_DONE, 5s));
        });
    }
    // As Serve, noting first what the state store holds as the pending score.
    void ServeNoting(std::string_view body, std::optional<std::string>* kept) {
        h.windows.Then([this, kept, reply = Reply(body)](ScriptedDialog& d) {
            const std::string name(kPendingScoreName);
            *kept = h.states.Has(name) ? std::optional(h.states.Get(name)) : std::nullopt;
            ASSERT_TRUE(inet.WaitUntilHeld(5s));
            inet.SetReply(reply);
            inet.ReleasePending();
            EXPECT_TRUE(d.DeliverUntil(WM_INET_DONE, 5s));
        });
    }
    bool PendingKept() const { return h.states.Has(std::string(kPendingScoreName)); }
    // The next request of a wait dialog fails in transfer with `error`.
    void FailTransfer(std::uint32_t error) {
        h.windows.Then([this, error](ScriptedDialog& d) {
            ASSERT_TRUE(inet.WaitUntilHeld(5s));
            inet.ReleasePending(error);
            EXPECT_TRUE(d.DeliverUntil(WM_INET_DONE, 5s));
        });
    }
    // The player cancels the next wait dialog once Cancel is available.
    void CancelWait(int delay_seconds) {
        h.windows.Then([delay_seconds](ScriptedDialog& d) {
            for (int tick = 1; tick < delay_seconds; ++tick) d.FireTimer(1);
            EXPECT_FALSE(d.Enabled(kIdCancel));
            d.FireTimer(1);
            d.Click(kIdCancel);
        });
    }

    // The game client: connects, reads its play, stores `items`, hands over
    // `score` unless told not to, and ends.
    void Game(std::optional<std::uint32_t> score,
              std::vector<std::pair<std::u16string, std::u16string>> items = {}) {
        processes.Then([this] {
            services = std::make_unique<KXCommServices>(h.ports, play, h.session.strGameName);
            EXPECT_EQ(services->Initialize(u"Word Maze", 1.0), kS_OK);
            KXTOURINFOSTRUCT info{};
            EXPECT_EQ(services->GetGameInfo(&info), kS_OK);
            seen_tournament = info.dwTournID;
            char16_t value[16] = {};
            EXPECT_EQ(services->GetGameDataItem(u"", u"PLAYID", value, 16), kS_OK);
            seen_play_id = value;
            console_hidden_during_game = !h.dialog->WindowShown();
        });
        processes.Then([this, score, items] {
            for (const auto& [item, value] : items) {
                EXPECT_EQ(services->SetGameDataItem(item, value), kS_OK);
            }
            if (score) {
                EXPECT_EQ(services->EndGame(*score), kS_OK);
            }
        });
        processes.Then([this] { services.reset(); });
    }

    void Click() { h.console.DispatchCommand("PLAYTOURNAMENT"); }

    std::vector<std::string> NewTraces() {
        const std::vector<std::string> all = h.TraceEvents();
        std::vector<std::string> fresh;
        for (std::size_t i = traces_before_; i < all.size(); ++i) {
            if (all[i].rfind("Nav to ", 0) != 0) fresh.push_back(all[i]);
        }
        return fresh;
    }
    std::vector<Box> Boxes() const {
        std::vector<Box> boxes;
        for (const auto& box : h.windows.MessageBoxes()) boxes.push_back({box.text, box.caption});
        return boxes;
    }
    std::vector<std::string> Bodies() const {
        std::vector<std::string> bodies;
        for (const auto& send : inet.Log().sends) bodies.push_back(send.body);
        return bodies;
    }
    std::vector<test::NavigationRecord> NewNavigations() const {
        const auto& all = h.browser.Navigations();
        return {all.begin() + static_cast<std::ptrdiff_t>(navigations_before_), all.end()};
    }

    static std::string StartBody(std::string_view tournament = "12") {
        return "COMMAND=STARTTOUR&USERNAME=ann&PASSWORD=pw+1&GAMENAME=Word+Ma%7Ae&TOURNID=" +
               std::string(tournament);
    }
    static std::string EndBody(std::string_view tail) {
        return "COMMAND=ENDGAME&USERNAME=ann&PASSWORD=pw+1&GAMENAME=Word+Ma%7Ae&TOURNID=12&"
               "PLAYID=5001&GCS=" +
               Md5Hex("500112U17") + "&SCORE=" + std::string(tail);
    }

    test::CapturedDebugOutput debug;  // outlives the engines' workers
    test::ConsoleHarness h;
    test::ScriptedInetApi inet;
    test::FakeProcesses processes;
    test::FakeFiles files;
    test::FakeSound sound;
    PlayContext& play = h.play;
    PlayParts parts{h.ports, h.session, play, h.trace};

    std::unique_ptr<KXCommServices> services;
    std::uint32_t seen_tournament = 0;
    std::u16string seen_play_id;
    bool console_hidden_during_game = false;

    std::size_t traces_before_ = 0;
    std::size_t navigations_before_ = 0;
};

class PlayTournamentTest : public ::testing::Test, public PlayRig {};

TEST_F(PlayTournamentTest, AWholePlayPostsTheScoreAndAnswersTheRank) {
    play.gameData.Set("OLD", "kept");
    files.AddFile(std::string(kVerifyPath));
    Serve(kStartReply);
    Game(4321, {{u"B", u"2"}, {u"A", u"1"}});
    Serve(kEndReply);

    Click();

    EXPECT_EQ(Bodies(), (std::vector<std::string>{StartBody(), EndBody("4321&A=1&B=2&OLD=kept")}));
    for (const auto& cracked : inet.Log().cracked_urls) EXPECT_EQ(cracked, kCommandUrl);
    ASSERT_EQ(processes.Starts().size(), 1u);
    EXPECT_EQ(processes.Starts()[0].application, kExePath);
    EXPECT_EQ(processes.Starts()[0].directory, "C:\\Games\\Word Maze");
    EXPECT_EQ(processes.Starts()[0].priority, StartPriority::Default);
    // The game wait blocks for each of the game's events instead of polling.
    EXPECT_EQ(processes.ServingWaits(), 3);
    EXPECT_EQ(processes.PlainWaits(), 0);
    EXPECT_EQ(processes.OpenHandles(), 0u);
    EXPECT_TRUE(console_hidden_during_game);
    EXPECT_TRUE(h.dialog->WindowShown());
    EXPECT_EQ(seen_tournament, 12u);
    EXPECT_EQ(seen_play_id, u"5001");
    EXPECT_EQ(play.startResponse.Text(), kStartReply);

    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(h.session.nLastPlayID, 5001);
    EXPECT_EQ(h.session.nLastTournID, 12);
    EXPECT_EQ(play.playActive, 0);
    EXPECT_EQ(play.scoreReceived, 0);
    EXPECT_EQ(play.score, 0u);
    EXPECT_EQ(h.console.lastPlayTime, kNow);
    EXPECT_EQ(sound.Played(), (std::vector<std::string>{"C:\\Games\\Kestrix\\media\\1stPlace.wav"}));
    EXPECT_EQ(files.Deletions(), (std::vector<std::string>{std::string(kVerifyPath)}));

    const auto navigations = NewNavigations();
    ASSERT_EQ(navigations.size(), 1u);
    EXPECT_EQ(navigations[0].url, test::Url("/ws_Console/tourlistframe.asp"));
    EXPECT_EQ(navigations[0].target_frame, "maintable");
    EXPECT_EQ(navigations[0].post_data,
              "USERNAME=ann&USERID=U17&GAMENAME=Word+Ma%7Ae&CLIENTID=3&LASTTOURNID=12&" +
                  std::string(test::kVersionReport) + "&RANK=1");
    const auto& log = h.dialog->Log();
    EXPECT_EQ(log.back(), "centre");
    EXPECT_EQ(NewTraces(), (std::vector<std::string>{"Play", "Init Game Window", "Sending Score",
                                                     "SSRR", "Refresh Tournament List",
                                                     "Refresh Console Window"}));

    // One wait window object for both requests, each run over the console.
    const auto& dialogs = h.windows.Dialogs();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[0]->Owner(), h.dialog->Window());
    EXPECT_EQ(dialogs[1]->Owner(), h.dialog->Window());
    EXPECT_EQ(dialogs[0]->Text(server_wait_control::kTitle), "Contacting tournament server...");
    EXPECT_EQ(dialogs[1]->Text(server_wait_control::kTitle),
              "Sending score to tournament server...");
}

TEST(PlayTournamentCasesTest, EntryChecksStopTheCommandBeforeAnyRequest) {
    const struct {
        const char* name;
        std::function<void(PlayRig&)> arrange;
        std::vector<std::string> traces;
        std::vector<Box> boxes;
        std::size_t logins;
        std::size_t navigations;
    } cases[] = {
        {"within three seconds of the last attempt",
         [](PlayRig& t) { t.h.console.lastPlayTime = kNow - 2999; },
         {"Play"}, {}, 1, 0},
        {"within three seconds across the 32-bit wrap",
         [](PlayRig& t) {
             t.h.console.lastPlayTime = 0xFFFFFF00u;
             t.h.clock.Set(0x1'0000'0100u);
         },
         {"Play"}, {}, 1, 0},
        {"nobody logged in",
         [](PlayRig& t) {
             t.h.user.bLoggedIn = 0;
             t.h.login_result = 2;
         },
         {"Play"}, {}, 2, 0},
        {"no game selected", [](PlayRig& t) { t.h.session.ClearGame(); },
         {"Play", "No Game Selected"}, {}, 1, 1},
        {"no TOURNAMENTID", [](PlayRig& t) { t.h.console.params = KeyValueStore(); },
         {"Play", "Tourn ID not supplied"},
         {{"TOURNAMENTID parameter not supplied for PLAYTOURNAMENT command.", "Command Error"}},
         1, 0},
        {"no client key",
         [](PlayRig& t) { t.h.session.SelectGame("Chess", "7"); },
         {"Play", "Registry Error"}, {{"Unable to access registry", "Command Error"}}, 1, 0},
        {"no EXEPATH",
         [](PlayRig& t) {
             test::CreateKey(t.h.registry, std::string(kClientsKey) + "\\Chess");
             t.h.session.SelectGame("Chess", "7");
         },
         {"Play", "Registry Error 2"}, {{"Unable to access registry", "Command Error"}}, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlayRig t;
        c.arrange(t);
        const std::uint32_t last = t.h.console.lastPlayTime;
        t.Click();
        EXPECT_EQ(t.NewTraces(), c.traces);
        EXPECT_EQ(t.Boxes(), c.boxes);
        EXPECT_EQ(t.h.login_owners.size(), c.logins);
        EXPECT_EQ(t.NewNavigations().size(), c.navigations);
        EXPECT_TRUE(t.Bodies().empty());
        EXPECT_EQ(t.h.console.lastPlayTime, last);
    }
}

TEST_F(PlayTournamentTest, ExactlyThreeSecondsAfterTheLastAttemptAPlayStarts) {
    h.console.lastPlayTime = kNow - 3000;
    Serve("ERRORCODE=0\r\n");
    Click();
    EXPECT_EQ(Bodies(), (std::vector<std::string>{StartBody()}));
}

TEST(PlayTournamentCasesTest, AFailedStartIsShownAndNoGameRuns) {
    const struct {
        const char* name;
        std::function<void(PlayRig&)> arrange;
        std::vector<Box> boxes;
        std::vector<std::string> traces;
    } cases[] = {
        {"session not opened",
         [](PlayRig& t) { t.inet.Script(InetOp::Open, Behavior::Fail(12001)); },
         {{"An error occured sending the command. (0)", "Error"}},
         {"Play", "Error Sending Command"}},
        {"transfer error", [](PlayRig& t) { t.FailTransfer(12029); },
         {{"An error occured sending the command. (12029)", "Error"}},
         {"Play", "Error Sending Command 2"}},
        {"HTTP 500", [](PlayRig& t) { t.Serve("ERRORCODE=0\r\n", 500); },
         {{"Error communicating with tournament server: (500)", "Enter Tournament error"}},
         {"Play", "Enter Tournament error"}},
        {"no ERRORCODE", [](PlayRig& t) { t.Serve("PLAYID=1\r\nCLIENTID=3\r\n"); },
         {{"An unexpected response was received from the server.", "Server Error"}},
         {"Play", "Invalid Error Code from Server"}},
        {"refused with a text",
         [](PlayRig& t) { t.Serve("ERRORCODE=4\r\nERRORTEXT=Closed.\r\n"); },
         {{"Closed.", "Kestrix"}}, {"Play"}},
        {"refused without a text, ERRORCODE not exactly 0",
         [](PlayRig& t) { t.Serve("ERRORCODE=00\r\nPLAYID=1\r\nCLIENTID=3\r\n"); },
         {{"An unexpected response was received from the server.", "Server Error"}},
         {"Play", "Invalid Error Code from Server 2"}},
        {"no PLAYID", [](PlayRig& t) { t.Serve("ERRORCODE=0\r\nCLIENTID=3\r\n"); },
         {{"PlayID not preset in response.", "Server Error"}}, {"Play", "Play ID not Created"}},
        {"no CLIENTID", [](PlayRig& t) { t.Serve("ERRORCODE=0\r\nPLAYID=1\r\n"); },
         {{"No Client Id", "Server Error"}}, {"Play", "No Client ID"}},
        {"cancelled after ten seconds", [](PlayRig& t) { t.CancelWait(10); }, {},
         {"Play"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto t = std::make_unique<PlayRig>();
        t->h.console.lastPlayTime = 5;
        c.arrange(*t);
        t->Click();
        EXPECT_EQ(t->Boxes(), c.boxes);
        EXPECT_EQ(t->NewTraces(), c.traces);
        EXPECT_TRUE(t->processes.Starts().empty());
        EXPECT_EQ(t->play.playActive, 0);
        EXPECT_EQ(t->h.console.lastPlayTime, kNow);
        EXPECT_LE(t->Bodies().size(), 1u);
    }
}

TEST_F(PlayTournamentTest, AGameClientThatCannotStartIsReportedAndThePageReloaded) {
    processes.FailStarts(2);
    Serve(kStartReply);
    Click();
    EXPECT_EQ(Boxes(), (std::vector<Box>{{"Unable to launch", ""}}));
    EXPECT_EQ(NewTraces(), (std::vector<std::string>{"Play", "Init Game Window", "Unable to Launch"}));
    EXPECT_TRUE(h.dialog->WindowShown());
    const auto navigations = NewNavigations();
    ASSERT_EQ(navigations.size(), 1u);
    EXPECT_EQ(navigations[0].url, test::Url("/ws_Console/tournamentconsole.asp"));
    // The play stays granted: a game client started by hand could still connect.
    EXPECT_EQ(play.playActive, 1);
    EXPECT_EQ(Bodies().size(), 1u);
}

TEST_F(PlayTournamentTest, AGameThatEndsWithoutAScorePostsNothing) {
    Serve(kStartReply);
    Game(std::nullopt, {{u"A", u"1"}});
    Click();
    EXPECT_EQ(Boxes(), (std::vector<Box>{{std::string(kAbnormalEnd), "Error"}}));
    EXPECT_EQ(NewTraces(), (std::vector<std::string>{"Play", "Init Game Window", "Non-Normal Exit"}));
    EXPECT_EQ(Bodies().size(), 1u);
    EXPECT_TRUE(h.dialog->WindowShown());
    EXPECT_EQ(h.console.lastPlayTime, kNow);
    EXPECT_TRUE(files.Deletions().empty());
}

TEST_F(PlayTournamentTest, TheTextsAreSentAsGivenAndTheIdsReadByTheLeadingIntegerRule) {
    h.console.params.Set("TOURNAMENTID", "abc");
    SetExePath("wordmaze.exe");
    Serve(kStartReply);
    Game(std::nullopt);
    Click();
    EXPECT_EQ(Bodies(), (std::vector<std::string>{StartBody("abc")}));
    EXPECT_EQ(seen_tournament, 0u);
    ASSERT_EQ(processes.Starts().size(), 1u);
    EXPECT_EQ(processes.Starts()[0].directory, "");
    // Even started in the console's directory, a game asks for no priority.
    EXPECT_EQ(processes.Starts()[0].priority, StartPriority::Default);
}

TEST(PlayTournamentCasesTest, TheGameStartsInTheFolderBeforeTheLastSeparatorOfEitherKind) {
    struct Case {
        const char* exe_path;
        const char* directory;
    };
    const Case cases[] = {
        {"/opt/games/word maze/kx-wordmaze", "/opt/games/word maze"},
        {"C:\\Games/Word Maze\\wordmaze.exe", "C:\\Games/Word Maze"},
        {"/games\\maze", "/games"},
        {"/wordmaze", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exe_path);
        const auto t = std::make_unique<PlayRig>();
        t->SetExePath(c.exe_path);
        t->Serve(kStartReply);
        t->Game(std::nullopt);
        t->Click();
        ASSERT_EQ(t->processes.Starts().size(), 1u);
        EXPECT_EQ(t->processes.Starts()[0].directory, c.directory);
    }
}

TEST(PlayTournamentCasesTest, TheScoreIsPostedAsASigned32BitNumber) {
    for (const auto& [score, text] : {std::pair<std::uint32_t, std::string>{0, "0"},
                                      {4294967295u, "-1"},
                                      {2147483648u, "-2147483648"}}) {
        SCOPED_TRACE(text);
        const auto t = std::make_unique<PlayRig>();
        t->Serve(kStartReply);
        t->Game(score);
        t->Serve("ERRORCODE=0\r\n");
        t->Click();
        ASSERT_EQ(t->Bodies().size(), 2u);
        EXPECT_EQ(t->Bodies()[1], PlayRig::EndBody(text));
        // Accepted without RANK: no page, but the verify file and the window are seen to.
        EXPECT_TRUE(t->NewNavigations().empty());
        EXPECT_EQ(t->files.Deletions().size(), 1u);
        EXPECT_EQ(t->h.dialog->Log().back(), "centre");
    }
}

TEST(PlayTournamentCasesTest, ScoreFailuresAskToRetryAndTheSameDataIsPostedAgain) {
    const struct {
        const char* name;
        std::function<void(PlayRig&)> fail;
        std::string question;
        std::vector<std::string> traces;
    } cases[] = {
        {"session not opened",
         [](PlayRig& t) { t.inet.ScriptNth(InetOp::Open, 1, Behavior::Fail(12001)); },
         "An error occured sending the command. (0) \nTry posting score again?",
         {"Sending Score"}},
        {"transfer error", [](PlayRig& t) { t.FailTransfer(12002); },
         "An error occured sending the command. (12002)", {"Sending Score", "Error Sending Score"}},
        {"HTTP 500", [](PlayRig& t) { t.Serve("ERRORCODE=0\r\n", 500); },
         "There was an error communicating with the tournament server. (500) \nTry posting score "
         "again?",
         {"Sending Score", "Error Sending Score- Comm Error"}},
        {"no ERRORCODE", [](PlayRig& t) { t.Serve("RANK=1\r\n"); },
         "An unexpected response was received from the server. ",
         {"Sending Score", "Unexpected Response sending Score"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto t = std::make_unique<PlayRig>();
        t->Serve(kStartReply);
        t->Game(77);
        c.fail(*t);
        t->h.windows.Answer(MessageBoxResult::Yes);
        t->Serve("ERRORCODE=0\r\n");
        t->Click();

        EXPECT_EQ(t->Boxes(), (std::vector<Box>{{c.question, "Error"}}));
        ASSERT_EQ(t->h.windows.MessageBoxes().size(), 1u);
        EXPECT_EQ(t->h.windows.MessageBoxes()[0].buttons, MessageBoxButtons::YesNo);
        std::vector<std::string> traces{"Play", "Init Game Window"};
        traces.insert(traces.end(), c.traces.begin(), c.traces.end());
        traces.insert(traces.end(), {"Sending Score", "Refresh Console Window"});
        EXPECT_EQ(t->NewTraces(), traces);
        const std::vector<std::string> bodies = t->Bodies();
        ASSERT_GE(bodies.size(), 2u);
        EXPECT_EQ(bodies.back(), PlayRig::EndBody("77"));
        for (std::size_t i = 1; i < bodies.size(); ++i) EXPECT_EQ(bodies[i], bodies.back());
        EXPECT_EQ(t->h.session.nLastPlayID, 5001);
    }
}

TEST(PlayTournamentCasesTest, NoThenNoRetriesAndNoThenYesGivesTheScoreUp) {
    const auto t = std::make_unique<PlayRig>();
    t->Serve(kStartReply);
    t->Game(77);
    t->FailTransfer(12002);
    t->h.windows.Answer(MessageBoxResult::No);
    t->h.windows.Answer(MessageBoxResult::No);
    t->FailTransfer(12002);
    t->h.windows.Answer(MessageBoxResult::No);
    t->h.windows.Answer(MessageBoxResult::Yes);
    t->Click();

    const Box question{"An error occured sending the command. (12002)", "Error"};
    const Box confirm{std::string(kConfirmCancel), "Confirm Cancelation"};
    EXPECT_EQ(t->Boxes(), (std::vector<Box>{question, confirm, question, confirm}));
    // Two ENDGAME attempts and none after the player gave up.
    EXPECT_EQ(t->Bodies().size(), 3u);
    EXPECT_EQ(t->h.session.nLastPlayID, 0);
    EXPECT_EQ(t->play.playActive, 1);
    EXPECT_EQ(t->h.console.lastPlayTime, kNow);
    EXPECT_TRUE(t->NewNavigations().empty());
    EXPECT_TRUE(t->files.Deletions().empty());
}

TEST(PlayTournamentCasesTest, ARefusedOrCancelledScoreEndsThePlayWithoutARetry) {
    const struct {
        const char* name;
        std::function<void(PlayRig&)> answer;
        std::vector<Box> boxes;
        std::vector<std::string> last_traces;
    } cases[] = {
        {"refused with a text",
         [](PlayRig& t) { t.Serve("ERRORCODE=7\r\nERRORTEXT=Already scored\r\n"); },
         {{"Already scored", "Kestrix"}}, {"Sending Score"}},
        {"refused without a text", [](PlayRig& t) { t.Serve("ERRORCODE=5\r\n"); },
         {{"An unexpected response was received from the server.", "Server Error"}},
         {"Sending Score", "Unexpected Response sending Score 2"}},
        {"cancelled after fifteen seconds", [](PlayRig& t) { t.CancelWait(15); }, {},
         {"Sending Score"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto t = std::make_unique<PlayRig>();
        t->Serve(kStartReply);
        t->Game(77);
        c.answer(*t);
        t->Click();
        EXPECT_EQ(t->Boxes(), c.boxes);
        std::vector<std::string> traces{"Play", "Init Game Window"};
        traces.insert(traces.end(), c.last_traces.begin(), c.last_traces.end());
        EXPECT_EQ(t->NewTraces(), traces);
        EXPECT_EQ(t->Bodies().size(), 2u);
        EXPECT_EQ(t->h.session.nLastPlayID, 0);
        EXPECT_EQ(t->play.scoreReceived, 1);
        EXPECT_TRUE(t->NewNavigations().empty());
    }
}

TEST(PlayTournamentCasesTest, TheRankChoosesTheSoundAndWhatTheListPageIsTold) {
    const struct {
        std::string reply;
        std::int32_t sounds;
        std::vector<std::string> played;
        std::string rank_form;
    } cases[] = {
        {"RANK=1", 1, {"C:\\Games\\Kestrix\\media\\1stPlace.wav"}, "RANK=1"},
        {"RANK=2", 1, {"C:\\Games\\Kestrix\\media\\fanfare.wav"}, "RANK=2"},
        {"RANK=5", 1, {"C:\\Games\\Kestrix\\media\\fanfare.wav"}, "RANK=5"},
        {"RANK=6", 1, {"C:\\Games\\Kestrix\\media\\clap.wav"}, "RANK=6"},
        {"RANK=24", 1, {"C:\\Games\\Kestrix\\media\\clap.wav"}, "RANK=24"},
        {"RANK=25", 1, {"C:\\Games\\Kestrix"}, "RANK=25"},
        {"RANK=26\r\nPERCENTILE=7", 1, {"C:\\Games\\Kestrix"}, "RANK=7"},
        {"RANK=26", 1, {"C:\\Games\\Kestrix"}, "RANK=26"},
        {"RANK=-1\r\nPERCENTILE=90", 1, {"C:\\Games\\Kestrix"}, "RANK=90"},
        {"RANK=1", 0, {}, "RANK=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        const auto t = std::make_unique<PlayRig>();
        t->h.user.bPlaySounds = c.sounds;
        t->Serve(kStartReply);
        t->Game(77);
        t->Serve("ERRORCODE=0\r\n" + c.reply + "\r\n");
        t->Click();
        EXPECT_EQ(t->sound.Played(), c.played);
        const auto navigations = t->NewNavigations();
        ASSERT_EQ(navigations.size(), 1u);
        const std::string& post = navigations[0].post_data;
        EXPECT_EQ(post.substr(post.rfind('&') + 1), c.rank_form);
    }
}

TEST(PlayTournamentCasesTest, OnlyAMonitoredFirstPlaceWithAVerifyFileUploadsIt) {
    const struct {
        const char* rank;
        std::int32_t monitor;
        bool verify_file;
        bool uploaded;
    } cases[] = {
        {"1", 1, true, true},
        {"2", 1, true, false},
        {"1", 0, true, false},
        {"1", 1, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("rank ") + c.rank + " monitor " + std::to_string(c.monitor) +
                     (c.verify_file ? " with file" : " without file"));
        const auto t = std::make_unique<PlayRig>();
        t->h.user.bMonitor = c.monitor;
        if (c.verify_file) t->files.AddFile(std::string(kVerifyPath));
        t->Serve(kStartReply);
        t->Game(77);
        t->Serve("ERRORCODE=0\r\nRANK=" + std::string(c.rank) + "\r\n");
        t->Click();
        std::vector<std::string> puts;
        for (const auto& request : t->inet.Log().open_requests) {
            if (request.verb == "PUT") puts.push_back(request.path);
        }
        EXPECT_EQ(puts, c.uploaded ? std::vector<std::string>{"GAMELOGS/5001_ann.txt"}
                                   : std::vector<std::string>{});
        if (c.uploaded) {
            ASSERT_FALSE(t->inet.Log().connects.empty());
            EXPECT_EQ(t->inet.Log().connects.back().host, "console.kestrix.com");
        }
        // Deleted whether it was uploaded or not.
        EXPECT_EQ(t->files.Deletions(), (std::vector<std::string>{std::string(kVerifyPath)}));
    }
}

TEST_F(PlayTournamentTest, AClickRightAfterAPlayIsIgnored) {
    Serve(kStartReply);
    Game(77);
    Serve(kEndReply);
    Click();
    h.clock.Advance(2999);
    Click();
    EXPECT_EQ(Bodies().size(), 2u);
    EXPECT_EQ(processes.Starts().size(), 1u);
    EXPECT_EQ(NewTraces().back(), "Play");
}

// The score as it waits on disk for the service's answer.
PendingScore ParsedRecord(const std::optional<std::string>& text) {
    PendingScore record;
    EXPECT_TRUE(text.has_value());
    if (text) {
        EXPECT_EQ(ParsePendingScore(*text, &record), PendingParse::Ok);
    }
    return record;
}

TEST(PlayTournamentCasesTest, AnAcceptedScoreWaitsOnDiskUntilTheServiceAnswers) {
    const char* const replies[] = {
        "ERRORCODE=0\r\nRANK=1\r\n",
        "ERRORCODE=7\r\nERRORTEXT=Already scored\r\n",
        "ERRORCODE=5\r\n",
    };
    for (const char* reply : replies) {
        SCOPED_TRACE(reply);
        const auto t = std::make_unique<PlayRig>();
        t->play.gameData.Set("OLD", "kept");
        t->Serve(kStartReply);
        t->Game(4321, {{u"B", u"2"}});
        std::optional<std::string> kept;
        t->ServeNoting(reply, &kept);

        t->Click();

        const PendingScore record = ParsedRecord(kept);
        EXPECT_EQ(record.userName, "ann");
        EXPECT_EQ(record.gameName, "Word Maze");
        EXPECT_EQ(record.tournamentIdText, "12");
        EXPECT_EQ(record.playIdText, "5001");
        EXPECT_EQ(record.checksum, Md5Hex("500112U17"));
        EXPECT_EQ(record.score, 4321u);
        EXPECT_EQ(record.gameData.Values(),
                  (std::map<std::string, std::string>{{"B", "2"}, {"OLD", "kept"}}));
        ASSERT_TRUE(kept.has_value());
        EXPECT_EQ(kept->find("pw"), std::string::npos);
        EXPECT_EQ(kept->find("PASSWORD"), std::string::npos);
        // Accepted or refused, the service has judged the score.
        EXPECT_FALSE(t->PendingKept());
        EXPECT_TRUE(t->h.states.Records().empty());
    }
}

TEST(PlayTournamentCasesTest, AnItemStoredAfterTheScoreIsWrittenWithIt) {
    const auto t = std::make_unique<PlayRig>();
    t->Serve(kStartReply);
    t->processes.Then([&] {
        t->services =
            std::make_unique<KXCommServices>(t->h.ports, t->play, t->h.session.strGameName);
        EXPECT_EQ(t->services->Initialize(u"Word Maze", 1.0), kS_OK);
        EXPECT_EQ(t->services->EndGame(9), kS_OK);
        EXPECT_EQ(t->services->SetGameDataItem(u"LATE", u"yes"), kS_OK);
    });
    t->processes.Then([&] { t->services.reset(); });
    std::optional<std::string> kept;
    t->ServeNoting("ERRORCODE=0\r\n", &kept);

    t->Click();

    const PendingScore record = ParsedRecord(kept);
    EXPECT_EQ(record.score, 9u);
    EXPECT_EQ(record.gameData.Values(), (std::map<std::string, std::string>{{"LATE", "yes"}}));
    EXPECT_EQ(t->Bodies().back(), PlayRig::EndBody("9&LATE=%79es"));
}

TEST(PlayTournamentCasesTest, AScoreWhoseTransferFailsWaitsThroughTheRetries) {
    const auto t = std::make_unique<PlayRig>();
    t->Serve(kStartReply);
    t->Game(77);
    t->FailTransfer(12002);
    t->h.windows.Answer(MessageBoxResult::No);
    t->h.windows.Answer(MessageBoxResult::No);  // not given up: tried again
    std::optional<std::string> kept;
    t->ServeNoting("ERRORCODE=0\r\n", &kept);

    t->Click();

    EXPECT_EQ(ParsedRecord(kept).score, 77u);
    EXPECT_EQ(t->Bodies().size(), 3u);
    EXPECT_FALSE(t->PendingKept());
}

TEST(PlayTournamentCasesTest, AScoreGivenUpIsRemovedAndACancelledWaitKeepsIt) {
    const struct {
        const char* name;
        std::function<void(PlayRig&)> end;
        bool kept;
    } cases[] = {
        {"given up",
         [](PlayRig& t) {
             t.FailTransfer(12002);
             t.h.windows.Answer(MessageBoxResult::No);
             t.h.windows.Answer(MessageBoxResult::Yes);
         },
         false},
        // The service may have the score already; only its answer or the
        // player's word ends the wait.
        {"wait cancelled", [](PlayRig& t) { t.CancelWait(15); }, true},
        {"transfer failed, then cancelled",
         [](PlayRig& t) {
             t.FailTransfer(12002);
             t.h.windows.Answer(MessageBoxResult::Yes);
             t.CancelWait(15);
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto t = std::make_unique<PlayRig>();
        t->Serve(kStartReply);
        t->Game(77);
        c.end(*t);
        t->Click();
        EXPECT_EQ(t->PendingKept(), c.kept);
        if (c.kept) {
            PendingScore record;
            ASSERT_EQ(ParsePendingScore(t->h.states.Get(std::string(kPendingScoreName)), &record),
                      PendingParse::Ok);
            EXPECT_EQ(record.score, 77u);
        }
        EXPECT_EQ(t->h.states.Records().size(), c.kept ? 1u : 0u);
    }
}

TEST_F(PlayTournamentTest, AGameWithoutAScoreKeepsNothing) {
    Serve(kStartReply);
    Game(std::nullopt);
    Click();
    EXPECT_TRUE(h.states.Writes().empty());
}

TEST_F(PlayTournamentTest, AScoreThatCannotBeKeptIsStillPosted) {
    h.states.FailWrites();
    Serve(kStartReply);
    Game(77);
    Serve("ERRORCODE=0\r\n");
    Click();
    EXPECT_EQ(Bodies().back(), EndBody("77"));
    EXPECT_EQ(NewTraces(), (std::vector<std::string>{"Play", "Init Game Window",
                                                     "Pending Score Not Kept", "Sending Score",
                                                     "Refresh Console Window"}));
    EXPECT_EQ(h.session.nLastPlayID, 5001);
}

TEST_F(PlayTournamentTest, TheGameServicesKeepNoScoreOutsideAPlay) {
    play.StartPlay(KeyValueStore(), "12", "5001");
    KXCommServices outside(h.ports, play, h.session.strGameName);
    ASSERT_EQ(outside.Initialize(u"Word Maze", 1.0), kS_OK);
    EXPECT_EQ(outside.EndGame(5), kS_OK);
    EXPECT_TRUE(h.states.Writes().empty());
    EXPECT_EQ(play.pendingScore, nullptr);
}

}  // namespace
}  // namespace kx
