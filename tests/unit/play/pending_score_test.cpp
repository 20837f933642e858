#include "play/pending_score.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "play/md5.h"
#include "support/fake_clock.h"
#include "support/memory_state_store.h"
#include "support/scratch_directory.h"
#include "support/trace_events.h"

namespace kx {
namespace {

const std::string kName(kPendingScoreName);

PendingScore Sample() {
    PendingScore record;
    record.userName = "ann";
    record.gameName = "Word Maze";
    record.tournamentIdText = " 12abc";
    record.playIdText = "5001";
    record.checksum = Md5Hex("5001 12abcU17");
    record.score = 4294967295u;
    record.gameData.Set("A", "1");
    record.gameData.Set("LINE", "two\nlines & 100% = \x01\xff");
    record.gameData.Set("", "empty key");
    return record;
}

// A record's text with its digest line made again, so that a test can change
// a field and still get past the digest.
std::string Redigest(std::string text) {
    const std::size_t end = text.rfind("END ");
    text.resize(end);
    return text + "END " + Md5Hex(text) + "\n";
}

struct KeeperRig {
    KeeperRig() { trace.Open(clock, dir / "debug.txt"); }

    std::vector<std::string> Traces() {
        trace.Close();
        return test::ReadTraceEvents(dir / "debug.txt");
    }

    test::ScratchDirectory dir;
    test::FakeClock clock{1000};
    TraceLog trace;
    test::MemoryStateStore store;
    PendingScoreKeeper keeper{&store, trace};
};

TEST(PendingScoreTest, ARecordReadsBackAsWritten) {
    const PendingScore record = Sample();
    PendingScore read;
    ASSERT_EQ(ParsePendingScore(FormatPendingScore(record), &read), PendingParse::Ok);
    EXPECT_EQ(read, record);
}

TEST(PendingScoreTest, TheTextIsPlainOneFieldALine) {
    PendingScore record;
    record.userName = "ann";
    record.gameName = "Word Maze";
    record.tournamentIdText = "12";
    record.playIdText = "5001";
    record.checksum = "c0ffee";
    record.score = 77;
    record.gameData.Set("A", "1");
    const std::string body =
        "KXSCORE 1\nUSERNAME ann\nGAMENAME Word%20Maze\nTOURNID 12\nPLAYID 5001\nGCS c0ffee\n"
        "SCORE 77\nITEM A 1\n";
    EXPECT_EQ(FormatPendingScore(record), body + "END " + Md5Hex(body) + "\n");
}

TEST(PendingScoreTest, ATornOrForeignTextIsNeverTakenForARecord) {
    const std::string good = FormatPendingScore(Sample());
    const struct {
        const char* name;
        std::string text;
        PendingParse expected;
    } cases[] = {
        {"empty", "", PendingParse::Torn},
        {"version line only", "KXSCORE 1\n", PendingParse::Torn},
        {"cut before the end", good.substr(0, good.size() / 2), PendingParse::Torn},
        {"last line without its line end", good.substr(0, good.size() - 1), PendingParse::Torn},
        {"bytes after the end", good + "X", PendingParse::Torn},
        {"a changed byte", [&] {
             std::string t = good;
             t[t.find("ann")] = 'b';
             return t;
         }(), PendingParse::Torn},
        {"a later version", Redigest("KXSCORE 2" + good.substr(9)), PendingParse::UnknownVersion},
        {"a foreign file", "[Settings]\nname=value\n", PendingParse::Torn},
        {"binary", std::string("\0\xff\x7f\n\n", 5), PendingParse::Torn},
        {"score out of range", Redigest([&] {
             std::string t = good;
             t.replace(t.find("SCORE 4294967295"), 16, "SCORE 4294967296");
             return t;
         }()), PendingParse::Torn},
        {"score not a number", Redigest([&] {
             std::string t = good;
             t.replace(t.find("SCORE 4294967295"), 16, "SCORE -1");
             return t;
         }()), PendingParse::Torn},
        {"fields out of order", Redigest("KXSCORE 1\nGAMENAME x\nUSERNAME y\nTOURNID 1\nPLAYID 1\n"
                                         "GCS 0\nSCORE 1\nEND x\n"), PendingParse::Torn},
        {"a field missing", Redigest("KXSCORE 1\nUSERNAME y\nGAMENAME x\nTOURNID 1\nPLAYID 1\n"
                                     "SCORE 1\nEND x\n"), PendingParse::Torn},
        {"a broken escape", Redigest("KXSCORE 1\nUSERNAME %4\nGAMENAME x\nTOURNID 1\nPLAYID 1\n"
                                     "GCS 0\nSCORE 1\nEND x\n"), PendingParse::Torn},
        {"an item twice", Redigest("KXSCORE 1\nUSERNAME y\nGAMENAME x\nTOURNID 1\nPLAYID 1\n"
                                   "GCS 0\nSCORE 1\nITEM A 1\nITEM A 2\nEND x\n"),
         PendingParse::Torn},
        {"an item without a value", Redigest("KXSCORE 1\nUSERNAME y\nGAMENAME x\nTOURNID 1\n"
                                             "PLAYID 1\nGCS 0\nSCORE 1\nITEM A\nEND x\n"),
         PendingParse::Torn},
        {"carriage returns", [&] {
             std::string t;
             for (const char c : good) t += c == '\n' ? std::string("\r\n") : std::string(1, c);
             return t;
         }(), PendingParse::Torn},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PendingScore untouched;
        untouched.userName = "before";
        EXPECT_EQ(ParsePendingScore(c.text, &untouched), c.expected);
        EXPECT_EQ(untouched.userName, "before");
    }
}

TEST(PendingScoreTest, KeepWritesTheScoreAndItemsOfThePlay) {
    KeeperRig t;
    PendingScore identity = Sample();
    identity.score = 0;
    identity.gameData = KeyValueStore();
    t.keeper.Arm(identity);
    PlayContext play;
    play.score = 31;
    play.gameData.Set("B", "2");

    ASSERT_TRUE(t.keeper.Keep(play));

    PendingScore read;
    ASSERT_EQ(ParsePendingScore(t.store.Get(kName), &read), PendingParse::Ok);
    EXPECT_EQ(read.userName, "ann");
    EXPECT_EQ(read.checksum, identity.checksum);
    EXPECT_EQ(read.score, 31u);
    EXPECT_EQ(read.gameData.Values(), play.gameData.Values());
    EXPECT_TRUE(t.Traces().empty());
}

TEST(PendingScoreTest, NothingIsKeptBeforeArmingOrWithoutAStore) {
    KeeperRig t;
    PlayContext play;
    EXPECT_FALSE(t.keeper.Keep(play));
    EXPECT_TRUE(t.store.Records().empty());

    PendingScoreKeeper without(nullptr, t.trace);
    without.Arm(Sample());
    EXPECT_FALSE(without.Keep(play));
    without.Drop();
    EXPECT_EQ(without.Load().state, PendingState::None);
}

TEST(PendingScoreTest, AnEarlierPlaysRecordIsSetAsideNotOverwritten) {
    KeeperRig t;
    t.store.Put(kName, "earlier");
    t.store.Put(kName + ".earlier-1", "older still");
    t.keeper.Arm(Sample());
    PlayContext play;

    ASSERT_TRUE(t.keeper.Keep(play));
    ASSERT_TRUE(t.keeper.Keep(play));

    EXPECT_EQ(t.store.Get(kName + ".earlier-1"), "older still");
    EXPECT_EQ(t.store.Get(kName + ".earlier-2"), "earlier");
    EXPECT_EQ(t.store.Records().size(), 3u);
    EXPECT_EQ(t.Traces(),
              (std::vector<std::string>{"Pending Score Set Aside pending-score.earlier-2"}));
}

TEST(PendingScoreTest, AFailedWriteIsTracedAndLeavesTheOldRecord) {
    KeeperRig t;
    t.keeper.Arm(Sample());
    PlayContext play;
    ASSERT_TRUE(t.keeper.Keep(play));
    const std::string first = t.store.Get(kName);
    t.store.FailWrites();
    play.gameData.Set("LATE", "x");

    EXPECT_FALSE(t.keeper.Keep(play));

    EXPECT_EQ(t.store.Get(kName), first);
    EXPECT_EQ(t.Traces(), (std::vector<std::string>{"Pending Score Not Kept"}));
}

TEST(PendingScoreTest, DropRemovesOnlyTheRecordThisPlayWrote) {
    KeeperRig t;
    t.store.Put(kName, "from a crashed run");
    t.keeper.Arm(Sample());
    t.keeper.Drop();
    EXPECT_EQ(t.store.Get(kName), "from a crashed run");
    EXPECT_FALSE(t.keeper.IsArmed());

    t.keeper.Arm(Sample());
    PlayContext play;
    ASSERT_TRUE(t.keeper.Keep(play));
    t.keeper.Drop();
    EXPECT_FALSE(t.store.Has(kName));
    EXPECT_TRUE(t.store.Has(kName + ".earlier-1"));
    EXPECT_FALSE(t.keeper.Keep(play));
}

TEST(PendingScoreTest, LoadFindsAWaitingRecord) {
    KeeperRig t;
    EXPECT_EQ(t.keeper.Load().state, PendingState::None);
    t.store.Put(kName, FormatPendingScore(Sample()));

    const PendingLoad load = t.keeper.Load();

    ASSERT_EQ(load.state, PendingState::Found);
    EXPECT_EQ(load.record, Sample());
    EXPECT_TRUE(t.store.Has(kName));
}

TEST(PendingScoreTest, AnUnreadableRecordIsReportedAndSetAside) {
    const std::string good = FormatPendingScore(Sample());
    const std::string cases[] = {good.substr(0, 40), Redigest("KXSCORE 9" + good.substr(9)),
                                 "garbage"};
    for (const std::string& text : cases) {
        SCOPED_TRACE(text);
        KeeperRig t;
        t.store.Put(kName, text);

        const PendingLoad load = t.keeper.Load();

        EXPECT_EQ(load.state, PendingState::Unreadable);
        EXPECT_EQ(load.asideName, kName + ".unreadable-1");
        EXPECT_FALSE(t.store.Has(kName));
        EXPECT_EQ(t.store.Get(kName + ".unreadable-1"), text);
        EXPECT_EQ(t.Traces(), (std::vector<std::string>{
                                  "Pending Score Unreadable",
                                  "Pending Score Set Aside pending-score.unreadable-1"}));
    }
}

TEST(PendingScoreTest, AnUnreadableRecordStaysWhenNoAsideNameIsFree) {
    KeeperRig t;
    t.store.Put(kName, "garbage");
    for (int i = 1; i <= 99; ++i) t.store.Put(kName + ".unreadable-" + std::to_string(i), "x");

    EXPECT_EQ(t.keeper.Load().state, PendingState::Failed);
    EXPECT_EQ(t.store.Get(kName), "garbage");
}

}  // namespace
}  // namespace kx
