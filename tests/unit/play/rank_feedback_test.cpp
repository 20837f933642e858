#include "play/rank_feedback.h"

#include <gtest/gtest.h>

#include <string>

namespace kx {
namespace {

TEST(RankFeedbackTest, SoundsFollowTheRankComparedUnsigned) {
    const struct {
        std::uint32_t rank;
        std::string_view file;
    } cases[] = {
        {1, "\\media\\1stPlace.wav"}, {2, "\\media\\fanfare.wav"}, {5, "\\media\\fanfare.wav"},
        {6, "\\media\\clap.wav"},     {24, "\\media\\clap.wav"},   {25, ""},
        {0, ""},                      {26, ""},                    {0xFFFFFFFFu, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rank);
        EXPECT_EQ(RankSoundFile(c.rank), c.file);
    }
}

TEST(RankFeedbackTest, ThePageGetsTheRankUpTo25AndThePercentileBeyond) {
    KeyValueStore with_percentile;
    with_percentile.Parse("PERCENTILE=7\r\n", 1);
    const KeyValueStore without;
    const struct {
        std::uint32_t rank;
        std::string text;
        const KeyValueStore& reply;
        std::string form;
    } cases[] = {
        {25, "25", with_percentile, "RANK=25"},
        {0, "x", with_percentile, "RANK=x"},
        {26, "26", with_percentile, "RANK=7"},
        {26, "26", without, "RANK=26"},
        {0xFFFFFFFFu, "-1", with_percentile, "RANK=7"},
        // Sent as the service wrote it, not encoded.
        {3, " 3 of 40", without, "RANK= 3 of 40"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(RankPageFormData(c.rank, c.text, c.reply), c.form);
    }
}

TEST(RankFeedbackTest, TheGameLogIsNamedByPlayAndUser) {
    EXPECT_EQ(GameLogPath(5001, "ann b"), "GAMELOGS/5001_ann b.txt");
    EXPECT_EQ(GameLogPath(-2, "%d"), "GAMELOGS/-2_%d.txt");
}

}  // namespace
}  // namespace kx
