// Word Maze, the sample game client: the whole conversation with the console
// through the SDK, in the order a game client makes it.
//
// The console starts the game with no arguments, so the test switches come
// from the environment:
//   KX_WORDMAZE_AUTO_SCORE=N    play by itself for about two seconds, score N
//   KX_WORDMAZE_AUTO_SECONDS=S  with the above: take S seconds instead
//   KX_WORDMAZE_SKIP_ENDGAME=1  exit without EndGame (an abnormal end)
//   KX_WORDMAZE_ENDGAME_TWICE=1 call EndGame again and print its result code

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTimer>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "kestrix/game_services.h"
#include "word_grid.h"
#include "wordmaze_window.h"

namespace {

constexpr std::string_view kClientName = "Word Maze";
constexpr double kClientVersion = 1.5;
constexpr int kDefaultSeconds = 30;
constexpr int kMaxSeconds = 600;
constexpr int kExitUnreachable = 2;
constexpr int kExitRefused = 3;
constexpr int kExitScoreFailed = 1;
// Long enough to read the final score; the automatic player does not read.
constexpr int kFinalScoreMs = 1500;
constexpr int kAutoFinalScoreMs = 100;

enum class EndGameCalls { Once, Skip, Twice };

struct Options {
    std::optional<std::uint32_t> autoScore;
    EndGameCalls endGame = EndGameCalls::Once;
};

bool Flag(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && std::string_view(value) == "1";
}

std::optional<long> Number(std::string_view text) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

Options FromEnvironment() {
    Options options;
    if (const char* score = std::getenv("KX_WORDMAZE_AUTO_SCORE"); score != nullptr) {
        const std::optional<long> value = Number(score);
        if (value && *value >= 0 && *value <= 0xFFFFFFFFL) {
            options.autoScore = static_cast<std::uint32_t>(*value);
        } else {
            std::fprintf(stderr, "wordmaze: ignoring KX_WORDMAZE_AUTO_SCORE=%s\n", score);
        }
    }
    if (Flag("KX_WORDMAZE_SKIP_ENDGAME")) {
        options.endGame = EndGameCalls::Skip;
    } else if (Flag("KX_WORDMAZE_ENDGAME_TWICE")) {
        options.endGame = EndGameCalls::Twice;
    }
    return options;
}

// A modal box would wait forever for a player who is not there, so the
// automatic mode only prints.
int Fail(const Options& options, const QString& text, int exit_code) {
    std::fprintf(stderr, "wordmaze: %s\n", text.toUtf8().constData());
    if (!options.autoScore) QMessageBox::critical(nullptr, QStringLiteral("Word Maze"), text);
    return exit_code;
}

QString Code(std::int32_t hr) { return QString::fromStdString(kestrix::ResultName(hr)); }

// An item the service may leave out; a missing one keeps its default.
std::optional<std::string> Item(kestrix::KXCommServices& services, std::string_view name) {
    std::string value;
    const std::int32_t hr = services.GetGameDataItem("", name, value);
    if (kestrix::Succeeded(hr)) return value;
    if (hr != kestrix::KX_E_NOSUCHITEM) {
        std::fprintf(stderr, "wordmaze: GetGameDataItem(%.*s) answered %s\n",
                     static_cast<int>(name.size()), name.data(), kestrix::ResultName(hr).c_str());
    }
    return std::nullopt;
}

QString Header(const kestrix::KXTOURINFOSTRUCT& info) {
    // The console's text need not be terminated within its array.
    std::size_t length = 0;
    while (length < kestrix::kHiPlayerChars && info.szHiPlayer[length] != u'\0') ++length;
    const QString player = QString::fromUtf16(info.szHiPlayer, static_cast<qsizetype>(length));
    QString header = QStringLiteral("Tournament %1").arg(info.dwTournID);
    if (info.dwHiScore != 0) {
        header += QStringLiteral(" \u2014 high score %1").arg(info.dwHiScore);
        if (!player.isEmpty()) header += QStringLiteral(" by %1").arg(player);
    }
    return header;
}

void WriteVerifyFile(const std::string& play_id, std::uint32_t tourn_id,
                     const std::string& seed, const wordmaze::Round& round, std::uint32_t score) {
    std::ofstream file(kestrix::VerifyFilePath(), std::ios::trunc);
    file << kClientName << ' ' << kClientVersion << '\n'
         << "PLAYID=" << play_id << '\n'
         << "TOURNID=" << tourn_id << '\n'
         << "SEED=" << seed << '\n'
         << "GRID=" << round.GetGrid().Text() << '\n';
    for (const std::string& word : round.Found()) {
        file << "WORD=" << word << ' ' << wordmaze::WordPoints(word.size()) << '\n';
    }
    file << "MOVES=" << round.Moves() << '\n' << "SCORE=" << score << '\n';
    if (!file) std::fprintf(stderr, "wordmaze: could not write %s\n", kestrix::VerifyFilePath().c_str());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const Options options = FromEnvironment();

    std::int32_t hr = kestrix::S_OK;
    std::optional<kestrix::KXCommServices> services = kestrix::KXCommServices::Create(&hr);
    if (!services) {
        return Fail(options,
                    QStringLiteral("Word Maze could not reach the Kestrix Console (%1).\n"
                                   "Start Word Maze from a tournament in the console.")
                        .arg(Code(hr)),
                    kExitUnreachable);
    }
    hr = services->Initialize(kClientName, kClientVersion);
    if (kestrix::Failed(hr)) {
        return Fail(options,
                    QStringLiteral("The Kestrix Console has no active play of Word Maze (%1).\n"
                                   "Start Word Maze from a tournament in the console.")
                        .arg(Code(hr)),
                    kExitRefused);
    }

    kestrix::KXTOURINFOSTRUCT info{};
    info.dwSize = sizeof(info);
    hr = services->GetGameInfo(&info);
    if (kestrix::Failed(hr)) {
        std::fprintf(stderr, "wordmaze: GetGameInfo answered %s\n", kestrix::ResultName(hr).c_str());
    }
    const std::string play_id = Item(*services, "PLAYID").value_or("");
    const std::optional<std::string> seed_text = Item(*services, "SEED");
    const std::optional<std::string> level_text = Item(*services, "LEVEL");
    const std::optional<std::string> time_text = Item(*services, "TIMELIMIT");

    // Without a SEED the play id still gives the same grid for the same play.
    const std::string seed = seed_text.value_or(play_id);
    const int level = static_cast<int>(Number(level_text.value_or("1")).value_or(1));
    long seconds = Number(time_text.value_or("")).value_or(kDefaultSeconds);
    if (seconds <= 0 || seconds > kMaxSeconds) seconds = kDefaultSeconds;

    wordmaze::Round round(wordmaze::Grid(wordmaze::SeedFromText(seed),
                                         wordmaze::GridSizeForLevel(level)));
    wordmaze::WordMazeWindow window(
        round, static_cast<int>(seconds), Header(info),
        options.autoScore ? wordmaze::PlayMode::Automatic : wordmaze::PlayMode::Player);

    int exit_code = 0;
    window.onFinished = [&] {
        const std::uint32_t score = options.autoScore.value_or(round.Score());
        services->SetGameDataItem("MOVES", std::to_string(round.Moves()));
        services->SetGameDataItem("WORDS", std::to_string(round.Found().size()));
        if (options.endGame != EndGameCalls::Skip) {
            const std::int32_t ended = services->EndGame(score);
            if (kestrix::Failed(ended)) {
                std::fprintf(stderr, "wordmaze: EndGame answered %s\n",
                             kestrix::ResultName(ended).c_str());
                exit_code = kExitScoreFailed;
            }
            if (options.endGame == EndGameCalls::Twice) {
                const std::int32_t again = services->EndGame(score);
                std::fprintf(stderr, "wordmaze: second EndGame answered %s (0x%08X)\n",
                             kestrix::ResultName(again).c_str(), static_cast<unsigned>(again));
            }
        }
        WriteVerifyFile(play_id, info.dwTournID, seed, round, score);
        window.ShowFinal(QStringLiteral("Time's up! Your score: %1").arg(score));
        QTimer::singleShot(options.autoScore ? kAutoFinalScoreMs : kFinalScoreMs, &app,
                           &QCoreApplication::quit);
    };
    window.show();
    // The console hides its own window while a game runs; the player's
    // typing belongs to the game from the start.
    window.raise();
    window.activateWindow();
    app.exec();
    // The services object is released here, before the process ends.
    services.reset();
    return exit_code;
}
