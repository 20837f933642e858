#include "wordmaze_play.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace wordmaze {

namespace {

bool Flag(const Environment& environment, const char* name) {
    const char* value = environment(name);
    return value != nullptr && std::string_view(value) == "1";
}

std::optional<long long> Number(std::string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void WriteVerifyFile(const PlaySetup& setup, const Round& round, std::uint32_t score) {
    std::ofstream file(kestrix::VerifyFilePath(), std::ios::trunc);
    file << kClientName << ' ' << kClientVersion << '\n'
         << "PLAYID=" << setup.playId << '\n'
         << "TOURNID=" << setup.info.dwTournID << '\n'
         << "SEED=" << setup.seed << '\n'
         << "GRID=" << round.GetGrid().Text() << '\n';
    for (const std::string& word : round.Found()) {
        file << "WORD=" << word << ' ' << WordPoints(word.size()) << '\n';
    }
    file << "MOVES=" << round.Moves() << '\n' << "SCORE=" << score << '\n';
    if (!file) Report("could not write " + kestrix::VerifyFilePath());
}

}  // namespace

Options ReadOptions(const Environment& environment) {
    Options options;
    if (const char* score = environment("KX_WORDMAZE_AUTO_SCORE"); score != nullptr) {
        const std::optional<long long> value = Number(score);
        if (value && *value >= 0 && *value <= 0xFFFFFFFFLL) {
            options.autoScore = static_cast<std::uint32_t>(*value);
            options.finalMs = kAutoFinalScoreMs;
        } else {
            Report(std::string("ignoring KX_WORDMAZE_AUTO_SCORE=") + score);
        }
    }
    // A whole game's length for a benchmark; anything unreadable keeps the
    // short round.
    if (const char* text = environment("KX_WORDMAZE_AUTO_SECONDS"); text != nullptr) {
        const std::optional<long long> seconds = Number(text);
        if (seconds && *seconds > 0 && *seconds <= 3600) {
            options.autoStepMs = static_cast<int>(*seconds * 1000 / kAutoSteps);
        }
    }
    // Keeps the game running after its score is handed over, as a test of
    // what the console does meanwhile needs.
    if (const char* text = environment("KX_WORDMAZE_FINAL_SECONDS"); text != nullptr) {
        const std::optional<long long> seconds = Number(text);
        if (seconds && *seconds >= 0 && *seconds <= kMaxSeconds) {
            options.finalMs = static_cast<int>(*seconds * 1000);
        } else {
            Report(std::string("ignoring KX_WORDMAZE_FINAL_SECONDS=") + text);
        }
    }
    if (Flag(environment, "KX_WORDMAZE_SKIP_ENDGAME")) {
        options.endGame = EndGameCalls::Skip;
    } else if (Flag(environment, "KX_WORDMAZE_ENDGAME_TWICE")) {
        options.endGame = EndGameCalls::Twice;
    }
    return options;
}

Options OptionsFromEnvironment() {
    return ReadOptions([](const char* name) { return std::getenv(name); });
}

void Report(std::string_view text) {
    std::fprintf(stderr, "wordmaze: %.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
}

Grid GridFor(const PlaySetup& setup) {
    return Grid(SeedFromText(setup.seed), GridSizeForLevel(setup.level));
}

std::optional<ConsolePlay> ConsolePlay::Open(std::string* failure, int* exit_code) {
    // S_OK is a macro on Windows, so no kestrix:: here.
    std::int32_t hr = 0;
    std::optional<kestrix::KXCommServices> services = kestrix::KXCommServices::Create(&hr);
    if (!services) {
        *failure = "Word Maze could not reach the Kestrix Console (" + kestrix::ResultName(hr) +
                   ").\nStart Word Maze from a tournament in the console.";
        *exit_code = kExitUnreachable;
        return std::nullopt;
    }
    hr = services->Initialize(kClientName, kClientVersion);
    if (kestrix::Failed(hr)) {
        *failure = "The Kestrix Console has no active play of Word Maze (" +
                   kestrix::ResultName(hr) +
                   ").\nStart Word Maze from a tournament in the console.";
        *exit_code = kExitRefused;
        return std::nullopt;
    }
    return ConsolePlay(std::move(*services));
}

std::optional<std::string> ConsolePlay::Item(std::string_view name) {
    std::string value;
    const std::int32_t hr = services_->GetGameDataItem("", name, value);
    if (kestrix::Succeeded(hr)) return value;
    // A missing item keeps its default; anything else is worth a line.
    if (hr != kestrix::KX_E_NOSUCHITEM) {
        Report("GetGameDataItem(" + std::string(name) + ") answered " + kestrix::ResultName(hr));
    }
    return std::nullopt;
}

PlaySetup ConsolePlay::ReadSetup() {
    PlaySetup setup;
    setup.info.dwSize = sizeof(setup.info);
    const std::int32_t hr = services_->GetGameInfo(&setup.info);
    if (kestrix::Failed(hr)) Report("GetGameInfo answered " + kestrix::ResultName(hr));
    setup.playId = Item("PLAYID").value_or("");
    const std::optional<std::string> seed = Item("SEED");
    const std::optional<std::string> level = Item("LEVEL");
    const std::optional<std::string> time = Item("TIMELIMIT");

    // Without a SEED the play id still gives the same grid for the same play.
    setup.seed = seed.value_or(setup.playId);
    setup.level = static_cast<int>(Number(level.value_or("1")).value_or(1));
    const long long seconds = Number(time.value_or("")).value_or(kDefaultSeconds);
    setup.seconds =
        seconds <= 0 || seconds > kMaxSeconds ? kDefaultSeconds : static_cast<int>(seconds);
    return setup;
}

Outcome ConsolePlay::HandOver(const PlaySetup& setup, const Round& round, const Options& options) {
    Outcome outcome;
    outcome.score = options.autoScore.value_or(round.Score());
    services_->SetGameDataItem("MOVES", std::to_string(round.Moves()));
    services_->SetGameDataItem("WORDS", std::to_string(round.Found().size()));
    if (options.endGame != EndGameCalls::Skip) {
        const std::int32_t ended = services_->EndGame(outcome.score);
        if (kestrix::Failed(ended)) {
            Report("EndGame answered " + kestrix::ResultName(ended));
            outcome.exitCode = kExitScoreFailed;
        }
        if (options.endGame == EndGameCalls::Twice) {
            const std::int32_t again = services_->EndGame(outcome.score);
            char code[16] = {};
            std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(again));
            Report("second EndGame answered " + kestrix::ResultName(again) + " (" + code + ")");
            outcome.secondEndGame = again;
        }
    }
    WriteVerifyFile(setup, round, outcome.score);
    return outcome;
}

std::optional<std::string> AutoPlayer::Next() {
    const auto step = static_cast<std::size_t>(steps_++);
    if (step >= words_.size()) return std::nullopt;
    std::string word = words_[step];
    for (char& c : word) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return word;
}

std::string Utf8FromUtf16(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::string HeaderText(const kestrix::KXTOURINFOSTRUCT& info) {
    // The console's text need not be terminated within its array.
    std::size_t length = 0;
    while (length < kestrix::kHiPlayerChars && info.szHiPlayer[length] != u'\0') ++length;
    const std::string player = Utf8FromUtf16({info.szHiPlayer, length});
    std::string header = "Tournament " + std::to_string(info.dwTournID);
    if (info.dwHiScore != 0) {
        header += " \u2014 high score " + std::to_string(info.dwHiScore);
        if (!player.empty()) header += " by " + player;
    }
    return header;
}

std::string FinalText(std::uint32_t score) { return "Time's up! Your score: " + std::to_string(score); }

std::string VerdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::Accepted: return "Found!";
        case Verdict::TooShort: return "Words have three letters or more.";
        case Verdict::NotInGrid: return "That word is not in the maze.";
        case Verdict::NotAWord: return "Not in Word Maze's word list.";
        case Verdict::AlreadyFound: return "Already found.";
    }
    return {};
}

std::string TimeText(int seconds) { return "Time: " + std::to_string(seconds); }

std::string ScoreText(std::uint32_t score) { return "Score: " + std::to_string(score); }

}  // namespace wordmaze
