// A game built against the unpacked development package, played in its
// automatic mode against the console's own game services: the core's
// KXCommServices behind the bus host, on the test's private session bus,
// served from Qt's event loop while the console waits for the game.
//
// KX_PACKAGED_GAMES names the games, "label=path" joined by ":".

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/identities.h"
#include "base/ports.h"
#include "bus/bus_test_client.h"
#include "platform/hresult.h"
#include "platform/linux/bus_game_services.h"
#include "platform/linux/bus_session.h"
#include "play/game_services.h"
#include "play/play_context.h"
#include "support/scripted_inet_api.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

struct PackagedGame {
    std::string label;
    std::string path;
};

std::vector<PackagedGame> PackagedGames() {
    std::vector<PackagedGame> games;
    const char* list = std::getenv("KX_PACKAGED_GAMES");
    std::istringstream entries(list == nullptr ? "" : list);
    std::string entry;
    while (std::getline(entries, entry, ':')) {
        const std::size_t equals = entry.find('=');
        if (equals != std::string::npos) games.push_back({entry.substr(0, equals), entry.substr(equals + 1)});
    }
    return games;
}

struct GameRun {
    int exitCode = -1;
    std::string stderrText;
    std::string verifyText;
};

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class PackagedGameTest : public ::testing::TestWithParam<PackagedGame> {
protected:
    PackagedGameTest() { ports_.inet = &inet_; }

    void SetUp() override {
        char pattern[] = "/tmp/kx-packaged-game-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_EQ(host_.Initialize(), kx::kS_OK);
        ASSERT_EQ(host_.RegisterClassObject(kx::kClsidKXCommServices, kx::ClassContext::LocalServer,
                                            kx::ClassUse::MultipleUse, &cookie_),
                  kx::kS_OK);
    }
    void TearDown() override {
        host_.RevokeClassObject(cookie_);
        host_.Uninitialize();
        std::filesystem::remove_all(dir_);
    }

    // The service's STARTTOUR reply, as the play session passes it on.
    void GrantPlay() {
        kx::KeyValueStore response;
        response.Parse("ERRORCODE=0\r\nPLAYID=9001\r\nSEED=12345\r\nLEVEL=2\r\nTIMELIMIT=30\r\n", 1);
        play_.StartPlay(response, "12", "9001");
    }

    // Starts the game as the console does (its own directory, no arguments)
    // and serves its calls until it has ended.
    GameRun Play(const std::string& score) {
        GameRun run;
        kx::test::WhileServing([&] { run = RunGame(score); }, kx::test::UiWait::GameWait);
        return run;
    }

    GameRun RunGame(const std::string& score) {
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
        env.push_back("KX_WORDMAZE_AUTO_SCORE=" + score);
        std::vector<char*> envp;
        for (std::string& text : env) envp.push_back(text.data());
        envp.push_back(nullptr);

        const std::string err_path = (dir_ / "stderr.txt").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
        std::string exe = GetParam().path;
        char* argv[] = {exe.data(), nullptr};
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        GameRun run;
        if (spawned != 0) {
            run.stderrText = "could not start " + exe;
            return run;
        }
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                run.stderrText = "the game did not end\n";
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
        run.stderrText += Slurp(err_path);
        run.verifyText = Slurp(dir_ / "verify.txt");
        return run;
    }

    kx::test::ScriptedInetApi inet_;
    kx::Ports ports_;
    kx::PlayContext play_;
    std::string game_name_ = "Word Maze";
    kx::BusSession bus_;
    kx::BusGameServices host_{bus_, kx::GameServicesFactory(ports_, play_, game_name_), [] {}};
    kx::ClassCookie cookie_ = 0;
    std::filesystem::path dir_;
};

TEST_P(PackagedGameTest, AnAutomaticPlayHandsItsScoreAndItemsToTheConsole) {
    GrantPlay();
    const GameRun run = Play("4321");
    ASSERT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_NE(play_.scoreReceived, 0);
    EXPECT_EQ(play_.score, 4321U);
    std::string moves;
    EXPECT_TRUE(play_.gameData.Lookup("MOVES", moves));
    EXPECT_FALSE(moves.empty());
    // The game read the play's items through the packaged library.
    EXPECT_NE(run.verifyText.find("PLAYID=9001\n"), std::string::npos) << run.verifyText;
    EXPECT_NE(run.verifyText.find("SEED=12345\n"), std::string::npos) << run.verifyText;
    EXPECT_NE(run.verifyText.find("SCORE=4321\n"), std::string::npos) << run.verifyText;
}

TEST_P(PackagedGameTest, WithoutAPlayTheConsoleRefusesTheGame) {
    const GameRun run = Play("1");
    EXPECT_EQ(run.exitCode, 3) << run.stderrText;
    EXPECT_EQ(play_.scoreReceived, 0);
}

INSTANTIATE_TEST_SUITE_P(Built, PackagedGameTest, ::testing::ValuesIn(PackagedGames()),
                         [](const ::testing::TestParamInfo<PackagedGame>& game) { return game.param.label; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(PackagedGameTest);

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
