// A whole tournament play over the real transport and the real settings
// store: the demo service on loopback, a file-backed registry and a scratch
// temporary directory, a scripted console window and a stand-in game client
// that calls the game services while the console waits for its process.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "account/user_info.h"
#include "base/ascii.h"
#include "app/console_dialog.h"
#include "account/console_session.h"
#include "base/registry_paths.h"
#include "base/trace_log.h"
#include "net/service_interface.h"
#include "support/demo_peer.h"
#include "platform/linux/curl_inet_api.h"
#include "platform/linux/file_registry.h"
#include "play/game_services.h"
#include "play/md5.h"
#include "play/play_tournament.h"
#include "resources/console_template.h"
#include "support/captured_debug_output.h"
#include "support/fake_clock.h"
#include "support/fake_processes.h"
#include "support/fake_sound.h"
#include "support/registry_helpers.h"
#include "support/scripted_browser.h"
#include "support/scripted_window_system.h"

namespace kx {
namespace {

namespace fs = std::filesystem;
using test::ScriptedDialog;

constexpr std::string_view kVerifyText = "moves 1-12, time 93 s\n";

// The file port over a scratch directory that stands for the temporary one.
class ScratchFiles final : public Files {
public:
    explicit ScratchFiles(fs::path directory) : directory_(std::move(directory)) {}
    std::string TempDirectory() override { return (directory_ / "").string(); }
    std::string PrivateDownloadDirectory() override { return TempDirectory(); }
    bool MarkExecutable(std::string_view) override { return true; }
    std::string CurrentDirectory() override { return "/opt/kestrix"; }
    bool CanOpen(std::string_view path) override {
        return std::ifstream(std::string(path)).is_open();
    }
    bool Delete(std::string_view path) override {
        std::error_code error;
        return fs::remove(std::string(path), error);
    }

private:
    fs::path directory_;
};

class PlayAgainstDemoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service_ = new test::DemoService(); }
    static void TearDownTestSuite() {
        delete service_;
        service_ = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(service_->running()) << "the demo service did not start";
        std::string pattern = (fs::temp_directory_path() / "kx-play-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        registry_ = std::make_unique<FileRegistry>(directory_ / "registry");
        test::SetValue(*registry_, kGeneralKey, kServiceHostValue, test::Sz(test::kDemoHost));
        test::SetValue(*registry_, std::string(kClientsKey) + "\\Word Maze", "EXEPATH",
                       test::Sz("C:\\Games\\Word Maze\\wordmaze.exe"));

        CurlInetConfig config;
        config.ca_file = service_->ca_file();
        config.connect_to = service_->ConnectTo();
        inet_ = std::make_unique<CurlInetApi>(config);
        files_ = std::make_unique<ScratchFiles>(directory_);
        ports_.registry = registry_.get();
        ports_.inet = inet_.get();
        ports_.windows = &windows_;
        ports_.clock = &clock_;
        ports_.processes = &processes_;
        ports_.files = files_.get();
        ports_.sound = &sound_;

        CopyToField(user_.szUserName, "monitor");
        CopyToField(user_.szPassword, "monitor");
        CopyToField(user_.szUserID, "1003");
        user_.bLoggedIn = 1;
        user_.bMonitor = 1;
        user_.bPlaySounds = 1;
        session_.SelectGame("Word Maze", "3");
        trace_.Open(clock_, directory_ / "debug.txt");

        console_ = std::make_unique<ConsoleDialog>(ports_, session_, trace_, play_);
        windows_.AttachBrowser(console_control::kBrowser, browser_);
        window_ = std::make_unique<ScriptedDialog>(windows_, ConsoleTemplate(), 0x1000, kNoWindow);
        console_->OnInitDialog(*window_);
    }
    void TearDown() override {
        console_->OnDestroy();
        console_.reset();
        trace_.Close();
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    // The game client: reads its play, keeps an item, writes its log, hands
    // over `score` and ends.
    void Game(std::uint32_t score) {
        processes_.Then([this] {
            services_ = std::make_unique<KXCommServices>(ports_, play_, session_.strGameName);
            EXPECT_EQ(services_->Initialize(u"Word Maze", 1.0), kS_OK);
            char16_t value[32] = {};
            EXPECT_EQ(services_->GetGameDataItem(u"", u"PLAYID", value, 32), kS_OK);
            play_id_ = std::string(value, value + std::char_traits<char16_t>::length(value));
            EXPECT_EQ(services_->GetGameDataItem(u"", u"SEED", value, 32), kS_OK);
        });
        processes_.Then([this, score] {
            EXPECT_EQ(services_->SetGameDataItem(u"MOVES", u"42"), kS_OK);
            std::ofstream(directory_ / "verify.txt", std::ios::binary) << kVerifyText;
            EXPECT_EQ(services_->EndGame(score), kS_OK);
            services_.reset();
        });
    }

    std::vector<test::LoggedRequest> RequestsTo(std::string_view target) const {
        std::vector<test::LoggedRequest> found;
        for (const test::LoggedRequest& request : service_->Requests()) {
            if (EqualsIgnoringAsciiCase(request.target, target)) found.push_back(request);
        }
        return found;
    }

    static inline test::DemoService* service_ = nullptr;
    test::CapturedDebugOutput debug_;
    fs::path directory_;
    std::unique_ptr<FileRegistry> registry_;
    std::unique_ptr<CurlInetApi> inet_;
    std::unique_ptr<ScratchFiles> files_;
    test::ScriptedWindowSystem windows_;
    test::ScriptedBrowser browser_;
    test::FakeClock clock_{500000};
    test::FakeProcesses processes_;
    test::FakeSound sound_;
    Ports ports_;
    KXUserInfo user_;
    ConsoleSession session_{user_};
    TraceLog trace_;
    PlayContext play_;
    PlayParts parts_{ports_, session_, play_, trace_};
    std::unique_ptr<ConsoleDialog> console_;
    std::unique_ptr<ScriptedDialog> window_;
    std::unique_ptr<KXCommServices> services_;
    std::string play_id_;
};

TEST_F(PlayAgainstDemoTest, AMonitoredFirstPlaceIsPostedRankedAndItsLogUploaded) {
    Game(2000000000u);
    // The first score post fails; the player tries again.
    ASSERT_TRUE(service_->AddFault(
        R"({"kind":"status","status":500,"command":"ENDGAME","count":1})"));
    windows_.Answer(MessageBoxResult::Yes);
    // The tournament list as the service serves it: the player clicks "Play".
    auto list_page = test::MakePage(u"https://demo.kestrix.test/ws_Console/tourlistframe.asp");
    test::ScriptedElement& play = list_page->Body()
                                      .AddChild()
                                      .Set(u"KXCommand", u"PLAYTOURNAMENT")
                                      .Set(u"KXParams", u"tour12");
    list_page->Body().AddChild().Set(u"id", u"tour12").SetText(u"TOURNAMENTID=12");
    browser_.LoadPage(list_page);

    ASSERT_EQ(list_page->Click(play), true);

    ASSERT_EQ(windows_.MessageBoxes().size(), 1u);
    EXPECT_EQ(windows_.MessageBoxes()[0].text,
              "There was an error communicating with the tournament server. (500) \nTry posting "
              "score again?");
    ASSERT_FALSE(play_id_.empty());

    const auto commands = RequestsTo(kCommandPath);
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].body,
              "COMMAND=STARTTOUR&USERNAME=monitor&PASSWORD=monitor&GAMENAME=Word+Ma%7Ae&"
              "TOURNID=12");
    const std::string end_body =
        "COMMAND=ENDGAME&USERNAME=monitor&PASSWORD=monitor&GAMENAME=Word+Ma%7Ae&TOURNID=12&"
        "PLAYID=" +
        play_id_ + "&GCS=" + Md5Hex(play_id_ + "12" + "1003") + "&SCORE=2000000000&MOVES=42";
    EXPECT_EQ(commands[1].body, end_body);
    EXPECT_EQ(commands[2].body, end_body);

    EXPECT_EQ(session_.nLastPlayID, std::stoi(play_id_));
    EXPECT_EQ(session_.nLastTournID, 12);
    EXPECT_EQ(sound_.Played(), (std::vector<std::string>{"/opt/kestrix\\media\\1stPlace.wav"}));

    const auto uploads = RequestsTo("/GAMELOGS/" + play_id_ + "_monitor.txt");
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].method, "PUT");
    EXPECT_EQ(uploads[0].body, kVerifyText);
    EXPECT_FALSE(fs::exists(directory_ / "verify.txt"));

    const test::NavigationRecord& page = browser_.LastNavigation();
    EXPECT_EQ(page.url, "http://demo.kestrix.test/ws_Console/tourlistframe.asp");
    EXPECT_NE(page.post_data.find("LASTTOURNID=12&"), std::string::npos) << page.post_data;
    EXPECT_TRUE(page.post_data.ends_with("&RANK=1")) << page.post_data;
    EXPECT_TRUE(window_->WindowShown());
}

}  // namespace
}  // namespace kx
