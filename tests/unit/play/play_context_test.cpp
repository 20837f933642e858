#include "play/play_context.h"

#include <gtest/gtest.h>

#include <string>

namespace kx {
namespace {

KeyValueStore Reply(const char* text) {
    KeyValueStore store;
    store.Parse(text, 1);
    return store;
}

TEST(PlayContextTest, ResetPlayClearsTheNumbersButKeepsBothRecords) {
    PlayContext play;
    play.StartPlay(Reply("PLAYID=9\r\nCLIENTID=c\r\n"), "12", "9");
    play.gameData.Set("LEVEL", "3");
    play.score = 500;
    play.scoreReceived = 1;

    play.ResetPlay();

    EXPECT_EQ(play.score, 0u);
    EXPECT_EQ(play.scoreReceived, 0);
    EXPECT_EQ(play.playActive, 0);
    EXPECT_EQ(play.tournamentId, 0);
    EXPECT_EQ(play.playId, 0);
    std::string value;
    EXPECT_TRUE(play.startResponse.Lookup("CLIENTID", value));
    EXPECT_TRUE(play.gameData.Lookup("LEVEL", value));
}

TEST(PlayContextTest, StartPlayReplacesTheReplyWholeAndReadsTheIdsByTheLeadingIntegerRule) {
    PlayContext play;
    play.StartPlay(Reply("PLAYID=1\r\nOLD=x\r\n"), "1", "1");
    play.gameData.Set("KEPT", "y");
    play.scoreReceived = 1;
    play.score = 77;

    struct Case {
        const char* tournament;
        const char* play_id;
        std::int32_t tournament_id;
        std::int32_t play_id_value;
    } const cases[] = {
        {"12", "4711", 12, 4711},
        {"abc", "  -5x", 0, -5},
        {"", "", 0, 0},
    };
    for (const auto& c : cases) {
        play.StartPlay(Reply("PLAYID=4711\r\nCLIENTID=c\r\n"), c.tournament, c.play_id);
        EXPECT_EQ(play.tournamentId, c.tournament_id) << c.tournament;
        EXPECT_EQ(play.playId, c.play_id_value) << c.play_id;
        EXPECT_EQ(play.playActive, 1);
        EXPECT_EQ(play.scoreReceived, 0);
        EXPECT_EQ(play.score, 0u);
    }
    std::string value;
    EXPECT_FALSE(play.startResponse.Lookup("OLD", value));
    EXPECT_TRUE(play.gameData.Lookup("KEPT", value));
}

}  // namespace
}  // namespace kx
