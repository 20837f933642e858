// Word Maze: its rules, and the real executable in automatic mode against the
// fake console (the binary runs under dbus-run-session; the game draws on
// Qt's offscreen platform).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_console.h"
#include "word_grid.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using kxtest::FakeConsole;
using wordmaze::Grid;
using wordmaze::Round;
using wordmaze::Verdict;

// --- the rules -------------------------------------------------------------

TEST(GridTest, TheSameSeedGivesTheSameGrid) {
    // Pinned: a change here would show every machine a different grid for
    // plays already made.
    EXPECT_EQ(Grid(12345, 4).Text(), "VFSI/ESMG/WTES/GENE");
    EXPECT_EQ(Grid(12345, 5).Text(), "VFSIE/SMGWT/ESGEN/EOAEI/HBPEC");
    EXPECT_NE(Grid(12346, 4).Text(), Grid(12345, 4).Text());
}

TEST(GridTest, SeedsComeFromNumbersOrText) {
    EXPECT_EQ(wordmaze::SeedFromText("12345"), 12345U);
    EXPECT_EQ(wordmaze::SeedFromText("abc"), wordmaze::SeedFromText("abc"));
    EXPECT_NE(wordmaze::SeedFromText("abc"), wordmaze::SeedFromText("abd"));
    // Too big for a seed, or not wholly a number: hashed, never an error.
    EXPECT_NE(wordmaze::SeedFromText("99999999999"), 0U);
    EXPECT_NE(wordmaze::SeedFromText("12x"), 12U);
    EXPECT_NE(wordmaze::SeedFromText(""), 0U);
}

TEST(GridTest, LevelsSizeTheGridWithinBounds) {
    const std::vector<std::pair<int, int>> cases{{-5, 4}, {0, 4}, {1, 4}, {2, 5}, {3, 6}, {99, 6}};
    for (const auto& [level, size] : cases) {
        EXPECT_EQ(wordmaze::GridSizeForLevel(level), size) << level;
    }
}

TEST(GridTest, WordsTraceThroughNeighboursWithoutReusingACell) {
    const Grid grid = Grid::FromRows("CATX/XOXX/DXXX/XXXX");
    struct Case {
        const char* word;
        bool traces;
    };
    const std::vector<Case> cases{
        {"CAT", true},   // along a row
        {"TAC", true},   // backwards
        {"COD", true},   // diagonals both ways
        {"CATO", true},  // T and O touch diagonally
        {"CAC", false},  // a cell once only
        {"CTA", false},  // C and T are not neighbours
        {"DOG", false},  // no G
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(grid.Traces(c.word), c.traces) << c.word;
}

TEST(GridTest, RowsOfTheWrongShapeGiveABlankGrid) {
    for (const char* rows : {"", "ABC/DEF/GHI", "ABCD/EFGH/IJKL/MNO", "ABCDEFGHIJKLMNOP"}) {
        const Grid grid = Grid::FromRows(rows);
        EXPECT_EQ(grid.Size(), wordmaze::kMinGridSize) << rows;
        EXPECT_EQ(grid.Text(), "    /    /    /    ") << rows;
    }
}

TEST(RoundTest, JudgesWordsAndScoresThem) {
    const Grid grid(12345, 5);
    const std::vector<std::string> words = wordmaze::FindWords(grid);
    ASSERT_FALSE(words.empty()) << grid.Text();
    Round round{grid};
    const std::string word = words.front();
    std::string lower = word;
    for (char& c : lower) c = static_cast<char>(c - 'A' + 'a');

    struct Step {
        std::string typed;
        Verdict verdict;
    };
    const std::vector<Step> steps{
        {lower, Verdict::Accepted},     {word, Verdict::AlreadyFound},
        {"ab", Verdict::TooShort},      {"ZZZZZZ", Verdict::NotInGrid},
    };
    for (const Step& step : steps) EXPECT_EQ(round.Try(step.typed), step.verdict) << step.typed;
    EXPECT_EQ(round.Moves(), 4);
    EXPECT_EQ(round.Found(), std::vector<std::string>{word});
    EXPECT_EQ(round.Score(), static_cast<std::uint32_t>(wordmaze::WordPoints(word.size()) * 10));
}

TEST(RoundTest, PointsGrowWithLength) {
    const std::vector<std::pair<std::size_t, int>> cases{{2, 0}, {3, 1}, {4, 1}, {5, 2},
                                                          {6, 3}, {7, 5}, {8, 11}, {12, 11}};
    for (const auto& [length, points] : cases) EXPECT_EQ(wordmaze::WordPoints(length), points);
}

// --- the executable ----------------------------------------------------------

struct GameRun {
    int exitCode = -1;
    std::string stderrText;
    std::string verifyText;
};

class WordMazeGameTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kx-wordmaze-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    GameRun Run(const std::map<std::string, std::string>& settings) {
        std::vector<std::string> env;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            if (text.starts_with("KX_WORDMAZE_") || text.starts_with("TMPDIR=") ||
                text.starts_with("QT_QPA_PLATFORM=")) {
                continue;
            }
            env.push_back(text);
        }
        env.push_back("TMPDIR=" + dir_.string());
        env.push_back("QT_QPA_PLATFORM=offscreen");
        for (const auto& [name, value] : settings) env.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (std::string& text : env) envp.push_back(text.data());
        envp.push_back(nullptr);

        const std::string err_path = (dir_ / "stderr.txt").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        // The console starts a game in its own directory with no arguments.
        posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
        std::string exe = KX_WORDMAZE_EXE;
        char* argv[] = {exe.data(), nullptr};
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        GameRun run;
        if (spawned != 0) return run;

        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                ADD_FAILURE() << "the game did not end";
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
        run.stderrText = Slurp(err_path);
        run.verifyText = Slurp((dir_ / "verify.txt").string());
        return run;
    }

    static std::string Slurp(const std::string& path) {
        std::ifstream file(path);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    static std::string Line(const std::string& text, const std::string& key) {
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.starts_with(key + "=")) return line.substr(key.size() + 1);
        }
        return "<missing>";
    }

    static void ServePlay(FakeConsole& console) {
        console.SetItem("PLAYID", "9001");
        console.SetItem("SEED", "12345");
        console.SetItem("LEVEL", "2");
        console.SetItem("TIMELIMIT", "30");
    }

    std::filesystem::path dir_;
};

TEST_F(WordMazeGameTest, AutomaticPlayMakesTheCallsInOrderAndExitsCleanly) {
    FakeConsole console;
    ServePlay(console);
    const GameRun run = Run({{"KX_WORDMAZE_AUTO_SCORE", "42"}});
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    ASSERT_TRUE(console.WaitFor("Release", 5s));

    const std::vector<kxtest::LoggedCall> calls = console.Calls();
    std::vector<std::string> seen;
    for (const auto& call : calls) seen.push_back(call.member + "(" + call.args + ")");
    ASSERT_EQ(seen.size(), 11U) << ::testing::PrintToString(seen);
    const std::vector<std::string> expected_start{
        "CreateInstance()",
        "Initialize(Word Maze|1.5)",
        "GetGameInfo(184)",
        "GetGameDataItem(|PLAYID|256)",
        "GetGameDataItem(|SEED|256)",
        "GetGameDataItem(|LEVEL|256)",
        "GetGameDataItem(|TIMELIMIT|256)",
    };
    EXPECT_EQ(std::vector<std::string>(seen.begin(), seen.begin() + 7), expected_start);
    EXPECT_TRUE(seen[7].starts_with("SetGameDataItem(MOVES|")) << seen[7];
    EXPECT_TRUE(seen[8].starts_with("SetGameDataItem(WORDS|")) << seen[8];
    EXPECT_EQ(seen[9], "EndGame(42)");
    EXPECT_EQ(seen[10], "Release()");

    EXPECT_EQ(Line(run.verifyText, "PLAYID"), "9001");
    EXPECT_EQ(Line(run.verifyText, "SCORE"), "42");
    EXPECT_EQ(Line(run.verifyText, "GRID"), Grid(12345, 5).Text());
    // The automatic player really plays: it found words in the grid.
    EXPECT_NE(Line(run.verifyText, "WORD"), "<missing>");
}

TEST_F(WordMazeGameTest, SkippingEndGameLeavesTheScoreUndelivered) {
    FakeConsole console;
    ServePlay(console);
    const GameRun run = Run({{"KX_WORDMAZE_AUTO_SCORE", "5"}, {"KX_WORDMAZE_SKIP_ENDGAME", "1"}});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    ASSERT_TRUE(console.WaitFor("Release", 5s));
    const auto members = console.Members();
    EXPECT_EQ(std::count(members.begin(), members.end(), "EndGame"), 0);
}

TEST_F(WordMazeGameTest, ASecondEndGameReportsTheConsolesRefusal) {
    FakeConsole console;
    ServePlay(console);
    console.SetResults("EndGame", {0, static_cast<std::int32_t>(0x80040065U)});
    const GameRun run =
        Run({{"KX_WORDMAZE_AUTO_SCORE", "7"}, {"KX_WORDMAZE_ENDGAME_TWICE", "1"}});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_NE(run.stderrText.find("KX_E_REFUSED"), std::string::npos) << run.stderrText;
    EXPECT_NE(run.stderrText.find("0x80040065"), std::string::npos) << run.stderrText;
    const auto members = console.Members();
    EXPECT_EQ(std::count(members.begin(), members.end(), "EndGame"), 2);
}

TEST_F(WordMazeGameTest, NoConsoleEndsWithAMessageAndAFailure) {
    const auto start = std::chrono::steady_clock::now();
    const GameRun run = Run({{"KX_WORDMAZE_AUTO_SCORE", "1"}});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.stderrText.find("could not reach the Kestrix Console"), std::string::npos)
        << run.stderrText;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    EXPECT_TRUE(run.verifyText.empty());
}

TEST_F(WordMazeGameTest, AnotherGamesPlayIsRefusedWithAFailure) {
    FakeConsole console;
    console.SetResults("Initialize", {static_cast<std::int32_t>(0x80040065U)});
    const GameRun run = Run({{"KX_WORDMAZE_AUTO_SCORE", "1"}});
    EXPECT_EQ(run.exitCode, 3) << run.stderrText;
    const auto members = console.Members();
    EXPECT_EQ(std::count(members.begin(), members.end(), "EndGame"), 0);
}

}  // namespace
