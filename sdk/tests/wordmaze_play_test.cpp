// Word Maze's play with the console as both fronts share it: the switches,
// the automatic player and the texts. The calls themselves are checked with
// the real executables (wordmaze_test.cpp here, and under Wine the Windows
// one through the proxy/stub).

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "word_grid.h"
#include "wordmaze_play.h"

namespace {

using wordmaze::EndGameCalls;
using wordmaze::Options;

Options Read(const std::map<std::string, std::string>& variables) {
    return wordmaze::ReadOptions([&](const char* name) -> const char* {
        const auto found = variables.find(name);
        return found == variables.end() ? nullptr : found->second.c_str();
    });
}

TEST(WordMazeOptionsTest, NoSwitchesIsAPlayersGame) {
    const Options options = Read({});
    EXPECT_FALSE(options.autoScore.has_value());
    EXPECT_EQ(options.endGame, EndGameCalls::Once);
    EXPECT_EQ(options.autoStepMs, wordmaze::kAutoStepMs);
}

TEST(WordMazeOptionsTest, TheAutomaticScoreTakesWholeUnsignedNumbersOnly) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> score;
    };
    const std::vector<Case> cases{
        {"42", 42U},         {"0", 0U},         {"4294967295", 4294967295U},
        {"4294967296", {}},  {"-1", {}},        {"12x", {}},
        {"", {}},            {" 5", {}},        {"99999999999999999999", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Read({{"KX_WORDMAZE_AUTO_SCORE", c.text}}).autoScore, c.score) << c.text;
    }
}

TEST(WordMazeOptionsTest, AutomaticSecondsStretchTheStepsWithinBounds) {
    const std::vector<std::pair<const char*, int>> cases{
        {"8", 1000}, {"1", 125}, {"3600", 450'000}, {"3601", wordmaze::kAutoStepMs},
        {"0", wordmaze::kAutoStepMs}, {"-4", wordmaze::kAutoStepMs}, {"two", wordmaze::kAutoStepMs},
    };
    for (const auto& [text, ms] : cases) {
        EXPECT_EQ(Read({{"KX_WORDMAZE_AUTO_SECONDS", text}}).autoStepMs, ms) << text;
    }
}

TEST(WordMazeOptionsTest, TheFinalScoreStaysUpAsToldOrAsTheModeWants) {
    using Env = std::map<std::string, std::string>;
    const std::vector<std::pair<Env, int>> cases{
        {{}, wordmaze::kFinalScoreMs},
        {{{"KX_WORDMAZE_AUTO_SCORE", "5"}}, wordmaze::kAutoFinalScoreMs},
        {{{"KX_WORDMAZE_AUTO_SCORE", "5"}, {"KX_WORDMAZE_FINAL_SECONDS", "30"}}, 30'000},
        {{{"KX_WORDMAZE_FINAL_SECONDS", "0"}}, 0},
        {{{"KX_WORDMAZE_FINAL_SECONDS", "601"}}, wordmaze::kFinalScoreMs},
        {{{"KX_WORDMAZE_FINAL_SECONDS", "soon"}}, wordmaze::kFinalScoreMs},
    };
    for (const auto& [env, ms] : cases) EXPECT_EQ(Read(env).finalMs, ms);
}

TEST(WordMazeOptionsTest, EndGameSwitchesNeedExactlyOneAndSkippingWins) {
    EXPECT_EQ(Read({{"KX_WORDMAZE_SKIP_ENDGAME", "1"}}).endGame, EndGameCalls::Skip);
    EXPECT_EQ(Read({{"KX_WORDMAZE_ENDGAME_TWICE", "1"}}).endGame, EndGameCalls::Twice);
    EXPECT_EQ(Read({{"KX_WORDMAZE_SKIP_ENDGAME", "1"}, {"KX_WORDMAZE_ENDGAME_TWICE", "1"}}).endGame,
              EndGameCalls::Skip);
    EXPECT_EQ(Read({{"KX_WORDMAZE_SKIP_ENDGAME", "yes"}}).endGame, EndGameCalls::Once);
    EXPECT_EQ(Read({{"KX_WORDMAZE_ENDGAME_TWICE", "0"}}).endGame, EndGameCalls::Once);
}

TEST(WordMazeAutoPlayerTest, TypesTheGridsWordsInLowerCaseThenEndsTheRound) {
    const wordmaze::Grid grid(12345, 5);
    const std::vector<std::string> words = wordmaze::FindWords(grid);
    ASSERT_FALSE(words.empty());
    wordmaze::AutoPlayer player(grid);
    wordmaze::Round round(grid);
    int steps = 0;
    while (!player.Done()) {
        ++steps;
        if (const std::optional<std::string> word = player.Next()) {
            EXPECT_EQ(round.Try(*word), wordmaze::Verdict::Accepted) << *word;
        }
    }
    EXPECT_EQ(steps, wordmaze::kAutoSteps);
    EXPECT_EQ(round.Found().size(), std::min<std::size_t>(words.size(), wordmaze::kAutoSteps));
}

TEST(WordMazeAutoPlayerTest, AGridWithoutWordsStillEndsTheRound) {
    wordmaze::AutoPlayer player(wordmaze::Grid::FromRows("XXXX/XXXX/XXXX/XXXX"));
    int steps = 0;
    while (!player.Done() && steps < 100) {
        EXPECT_FALSE(player.Next().has_value());
        ++steps;
    }
    EXPECT_EQ(steps, wordmaze::kAutoSteps);
}

TEST(WordMazeTextTest, Utf16BecomesUtf8AndLoneSurrogatesAReplaced) {
    const std::vector<std::pair<std::u16string, std::string>> cases{
        {u"", ""},
        {u"Zoë", "Zo\u00EB"},
        {u"\u2713", "\u2713"},
        {u"\U0001D11E", "\U0001D11E"},
        {std::u16string(1, char16_t{0xD834}), "\uFFFD"},
        {std::u16string{char16_t{0xDD1E}, u'a'}, "\uFFFDa"},
    };
    for (const auto& [utf16, utf8] : cases) EXPECT_EQ(wordmaze::Utf8FromUtf16(utf16), utf8);
}

TEST(WordMazeTextTest, TheHeaderNamesTheHighScoreOnlyWhenThereIsOne) {
    kestrix::KXTOURINFOSTRUCT info{};
    info.dwTournID = 17;
    EXPECT_EQ(wordmaze::HeaderText(info), "Tournament 17");
    info.dwHiScore = 300;
    EXPECT_EQ(wordmaze::HeaderText(info), "Tournament 17 \u2014 high score 300");
    const std::u16string player = u"Zoë";
    std::copy(player.begin(), player.end(), info.szHiPlayer);
    EXPECT_EQ(wordmaze::HeaderText(info), "Tournament 17 \u2014 high score 300 by Zo\u00EB");
    // A name that fills the whole array, unterminated, is read to its end only.
    std::fill(std::begin(info.szHiPlayer), std::end(info.szHiPlayer), u'A');
    EXPECT_EQ(wordmaze::HeaderText(info),
              "Tournament 17 \u2014 high score 300 by " + std::string(kestrix::kHiPlayerChars, 'A'));
}

TEST(WordMazeTextTest, TheLinesAPlayerReads) {
    EXPECT_EQ(wordmaze::FinalText(42), "Time's up! Your score: 42");
    EXPECT_EQ(wordmaze::TimeText(30), "Time: 30");
    EXPECT_EQ(wordmaze::ScoreText(7), "Score: 7");
    EXPECT_EQ(wordmaze::VerdictText(wordmaze::Verdict::AlreadyFound), "Already found.");
}

}  // namespace
