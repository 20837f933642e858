#include "play/pending_offer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/dialog_messages.h"
#include "play/md5.h"
#include "play/pending_score.h"
#include "support/captured_debug_output.h"
#include "support/console_harness.h"

namespace kx {
namespace {

using namespace std::chrono_literals;
using test::ScriptedDialog;

constexpr std::string_view kOffer =
    "A score from your last game was not posted: 4321 in Word Maze, tournament 12. Post it now?";
const std::string kName(kPendingScoreName);

PendingScore Kept(std::string_view user = "ann") {
    PendingScore score;
    score.userName = std::string(user);
    score.gameName = "Word Maze";
    score.tournamentIdText = "12";
    score.playIdText = "5001";
    score.checksum = Md5Hex("500112U17");
    score.score = 4321;
    score.gameData.Set("B", "2");
    return score;
}

// A console whose state folder holds what a killed console left; Open logs
// "ann" in and LogIn loads the page the offer waits for.
struct OfferRig {
    explicit OfferRig(const std::string& kept) {
        if (!kept.empty()) h.states.Put(kName, kept);
        CopyToField(h.user.szPassword, "new pw");
        h.user.bPlaySounds = 1;
        h.inet.Script(test::InetOp::Connect, test::Behavior::AtOnce(test::Announce::Nothing));
        h.inet.Script(test::InetOp::OpenRequest, test::Behavior::AtOnce(test::Announce::Nothing));
        h.inet.Script(test::InetOp::SendRequest, test::Behavior::PendUntilReleased());
    }

    void Serve(std::string_view body) {
        h.windows.Then([this, body = std::string(body)](ScriptedDialog& d) {
            ASSERT_TRUE(h.inet.WaitUntilHeld(5s));
            h.inet.SetReply({200, body.size(), body, 0});
            h.inet.ReleasePending();
            EXPECT_TRUE(d.DeliverUntil(WM_INET_DONE, 5s));
        });
    }
    void CancelWait() {
        h.windows.Then([](ScriptedDialog& d) {
            for (int tick = 0; tick < 15; ++tick) d.FireTimer(1);
            d.Click(kIdCancel);
        });
    }

    void LogIn() {
        h.Open();
        EXPECT_TRUE(h.windows.MessageBoxes().empty()) << "asked before the page loaded";
        h.browser.LoadPage(h.ServicePage());
    }
    // Another login in the same run, as the pages' LOGIN command starts it.
    void LogInAgain(std::string_view name) {
        h.user.bLoggedIn = 0;
        h.console.SetLoginRunner([this, name = std::string(name)](WindowId) {
            h.LogIn(name, "U17");
            return 1;
        });
        h.console.LoginPrompt();
        h.browser.LoadPage(h.ServicePage());
    }

    std::vector<std::string> Bodies() const {
        std::vector<std::string> bodies;
        for (const auto& send : h.inet.Log().sends) bodies.push_back(send.body);
        return bodies;
    }

    test::CapturedDebugOutput debug;  // outlives the engine's worker
    test::ConsoleHarness h;
};

TEST(PendingOfferTest, YesPostsTheKeptScoreWithTheNewLoginsPasswordAndShowsItsRank) {
    OfferRig t(FormatPendingScore(Kept()));
    t.h.windows.Answer(MessageBoxResult::Yes);
    t.Serve("ERRORCODE=0\r\nRANK=2\r\nPERCENTILE=9\r\n");

    t.LogIn();

    EXPECT_EQ(t.h.MessageTexts(), (std::vector<std::string>{std::string(kOffer)}));
    EXPECT_EQ(t.Bodies(), (std::vector<std::string>{
                              "COMMAND=ENDGAME&USERNAME=ann&PASSWORD=new+pw&GAMENAME=Word+Ma%7Ae&"
                              "TOURNID=12&PLAYID=5001&GCS=" +
                              Md5Hex("500112U17") + "&SCORE=4321&B=2"}));
    EXPECT_TRUE(t.h.states.Records().empty());
    EXPECT_EQ(t.h.session.nLastPlayID, 5001);
    EXPECT_EQ(t.h.session.nLastTournID, 12);
    EXPECT_EQ(t.h.sound.Played().size(), 1u);
    const auto& navigations = t.h.browser.Navigations();
    ASSERT_EQ(navigations.size(), 2u);  // the main page, then the standings
    EXPECT_EQ(navigations[1].url, test::Url("/ws_Console/standings_container.asp"));
    EXPECT_EQ(navigations[1].post_data, "USERNAME=ann&USERID=U17&LASTTOURNID=12&" +
                                            std::string(test::kVersionReport) +
                                            "&TOURNID=12&RANK=2");
}

TEST(PendingOfferTest, HowTheOfferEndsDecidesWhetherTheRecordStays) {
    const struct {
        const char* name;
        std::function<void(OfferRig&)> script;
        bool kept;
        std::size_t posts;
    } cases[] = {
        {"no: kept for a later start",
         [](OfferRig& t) { t.h.windows.Answer(MessageBoxResult::No); }, true, 0},
        {"refused: the service has judged it",
         [](OfferRig& t) {
             t.h.windows.Answer(MessageBoxResult::Yes);
             t.Serve("ERRORCODE=7\r\nERRORTEXT=Already scored\r\n");
         },
         false, 1},
        {"wait cancelled: the service may have it",
         [](OfferRig& t) {
             t.h.windows.Answer(MessageBoxResult::Yes);
             t.CancelWait();
         },
         true, 1},
        {"given up after a failed reply",
         [](OfferRig& t) {
             t.h.windows.Answer(MessageBoxResult::Yes);
             t.Serve("SERVICE=busy\r\n");
             t.h.windows.Answer(MessageBoxResult::No);   // no retry
             t.h.windows.Answer(MessageBoxResult::Yes);  // sure
         },
         false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string kept = FormatPendingScore(Kept());
        const auto t = std::make_unique<OfferRig>(kept);
        c.script(*t);
        t->LogIn();
        EXPECT_EQ(t->Bodies().size(), c.posts);
        EXPECT_EQ(t->h.states.Has(kName), c.kept);
        if (c.kept) {
            EXPECT_EQ(t->h.states.Get(kName), kept);
        }
        EXPECT_EQ(t->h.session.nLastPlayID, 0);
    }
}

TEST(PendingOfferTest, AnsweredNoTheScoreIsNotOfferedAgainInTheSameRun) {
    OfferRig t(FormatPendingScore(Kept()));
    t.h.windows.Answer(MessageBoxResult::No);
    t.LogIn();
    t.LogInAgain("ann");
    EXPECT_EQ(t.h.windows.MessageBoxes().size(), 1u);
    EXPECT_TRUE(t.h.states.Has(kName));
}

TEST(PendingOfferTest, AnotherPlayersRecordIsLeftUntouchedAndOfferedWhenTheyLogIn) {
    OfferRig t(FormatPendingScore(Kept("bob")));
    t.LogIn();
    EXPECT_TRUE(t.h.windows.MessageBoxes().empty());
    EXPECT_TRUE(t.h.states.Writes().empty());
    EXPECT_EQ(t.h.states.Get(kName), FormatPendingScore(Kept("bob")));

    t.h.windows.Answer(MessageBoxResult::No);
    t.LogInAgain("bob");
    ASSERT_EQ(t.h.windows.MessageBoxes().size(), 1u);
}

TEST(PendingOfferTest, AnUnreadableRecordIsSetAsideWholeAndThePlayerTold) {
    const std::string torn = FormatPendingScore(Kept()).substr(0, 40);
    OfferRig t(torn);
    t.LogIn();
    EXPECT_TRUE(t.Bodies().empty());
    EXPECT_FALSE(t.h.states.Has(kName));
    EXPECT_EQ(t.h.states.Get(kName + ".unreadable-1"), torn);
    ASSERT_EQ(t.h.windows.MessageBoxes().size(), 1u);
    EXPECT_NE(t.h.windows.MessageBoxes()[0].text.find("\"pending-score.unreadable-1\""),
              std::string::npos);
}

}  // namespace
}  // namespace kx
