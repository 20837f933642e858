#pragma once

// Word Maze's play with the console, free of any window, so the Qt and the
// Win32 fronts make the same calls in the same order and show the same texts.
//
// Implements:
//  - the test switches from the environment (the console starts a game with
//    no arguments);
//  - the conversation through the SDK: Create and Initialize, GetGameInfo
//    and the play's items, then the finished round's items, EndGame (once,
//    never or twice, as the switches ask) and the verify file;
//  - the automatic player's steps and the texts a player reads.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kestrix/game_services.h"
#include "word_grid.h"

namespace wordmaze {

inline constexpr std::string_view kClientName = "Word Maze";
inline constexpr double kClientVersion = 1.5;
inline constexpr int kDefaultSeconds = 30;
inline constexpr int kMaxSeconds = 600;

inline constexpr int kExitScoreFailed = 1;
inline constexpr int kExitUnreachable = 2;
inline constexpr int kExitRefused = 3;

inline constexpr int kTickMs = 1000;
// Long enough to read the final score; the automatic player does not read.
inline constexpr int kFinalScoreMs = 1500;
inline constexpr int kAutoFinalScoreMs = 100;
// The automatic player finishes in about two seconds.
inline constexpr int kAutoSteps = 8;
inline constexpr int kAutoStepMs = 250;

enum class EndGameCalls { Once, Skip, Twice };

struct Options {
    std::optional<std::uint32_t> autoScore;
    int autoStepMs = kAutoStepMs;
    EndGameCalls endGame = EndGameCalls::Once;
    // How long the final score stays up before the game ends.
    int finalMs = kFinalScoreMs;
};

// A variable's value, or null when it is not set.
using Environment = std::function<const char*(const char* name)>;

// KX_WORDMAZE_AUTO_SCORE, KX_WORDMAZE_AUTO_SECONDS, KX_WORDMAZE_FINAL_SECONDS,
// KX_WORDMAZE_SKIP_ENDGAME and KX_WORDMAZE_ENDGAME_TWICE; an unreadable
// value is reported and ignored.
Options ReadOptions(const Environment& environment);
Options OptionsFromEnvironment();

// A line on standard error, "wordmaze: <text>".
void Report(std::string_view text);

// What the console sent for the play, with the defaults for what it did not.
struct PlaySetup {
    kestrix::KXTOURINFOSTRUCT info{};
    std::string playId;
    std::string seed;
    int level = 1;
    int seconds = kDefaultSeconds;
};

Grid GridFor(const PlaySetup& setup);

struct Outcome {
    int exitCode = 0;
    std::uint32_t score = 0;
    // The second EndGame's answer, when the switches asked for one.
    std::optional<std::int32_t> secondEndGame;
};

class ConsolePlay {
public:
    // Reaches the console and identifies the game. On failure answers
    // nullopt with the text for the player and the exit code.
    static std::optional<ConsolePlay> Open(std::string* failure, int* exit_code);

    // GetGameInfo, then the items PLAYID, SEED, LEVEL and TIMELIMIT.
    PlaySetup ReadSetup();

    // The round is over: MOVES and WORDS, EndGame as the options ask, and the
    // verify file.
    Outcome HandOver(const PlaySetup& setup, const Round& round, const Options& options);

    // Releases the console's object; the process should end soon after.
    void Close() { services_.reset(); }

private:
    explicit ConsolePlay(kestrix::KXCommServices services) : services_(std::move(services)) {}
    std::optional<std::string> Item(std::string_view name);

    std::optional<kestrix::KXCommServices> services_;
};

// The automatic player: types the grid's words, one a step, then ends the round.
class AutoPlayer {
public:
    explicit AutoPlayer(const Grid& grid) : words_(FindWords(grid)) {}
    // Whether the round should end now.
    bool Done() const { return steps_ >= kAutoSteps; }
    // The word to type at this step (lower-case, as a player types), or
    // nothing when the grid holds no more.
    std::optional<std::string> Next();

private:
    std::vector<std::string> words_;
    int steps_ = 0;
};

// UTF-8, the SDK's texts, from the record's UTF-16; a lone surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

// "Tournament N", with the high score and its player when the console sent them.
std::string HeaderText(const kestrix::KXTOURINFOSTRUCT& info);
std::string FinalText(std::uint32_t score);
std::string VerdictText(Verdict verdict);
std::string TimeText(int seconds);
std::string ScoreText(std::uint32_t score);

}  // namespace wordmaze
