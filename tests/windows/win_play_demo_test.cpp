// A whole play on Windows: the console window on the dialog manager with the
// scripted browser in its browser item (Wine cannot render pages), and
// everything else real: the server wait on Win32, WinINet to the demo
// service over HTTPS, the sample game started by CreateProcessA, its calls
// arriving by COM through the registered proxy/stub and served inside the
// game wait, the score posted and the list reloaded with the rank.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "test_paths.h"
#include "account/console_session.h"
#include "account/user_info.h"
#include "app/console_dialog.h"
#include "base/identities.h"
#include "base/registry_paths.h"
#include "base/trace_log.h"
#include "demo_world.h"
#include "net/service_interface.h"
#include "play/game_services.h"
#include "play/md5.h"
#include "play/play_context.h"
#include "platform/win32/win_clock.h"
#include "platform/win32/win_com_server.h"
#include "platform/win32/win_dialog_host.h"
#include "platform/win32/win_dll_registration.h"
#include "platform/win32/win_processes.h"
#include "platform/win32/win_registry.h"
#include "platform/win32/win_services_object.h"
#include "platform/win32/wininet_inet_api.h"
#include "player_hands.h"
#include "resources/console_template.h"
#include "support/captured_debug_output.h"
#include "support/fake_sound.h"
#include "support/registry_helpers.h"
#include "support/scripted_browser.h"
#include "support/scratch_directory.h"

namespace kx {
namespace {

using test::BesideTheTests;

using test::PlayerHands;

const test::DemoWorld& World() { return *test::TheDemoWorld(); }

std::vector<test::LoggedRequest> RequestsTo(std::string_view target) {
    std::vector<test::LoggedRequest> found;
    for (test::LoggedRequest& request : test::ReadRequestLog(World().request_log)) {
        if (request.target == target) found.push_back(std::move(request));
    }
    return found;
}

std::string FieldOf(const std::string& body, std::string_view name) {
    const std::string key = "&" + std::string(name) + "=";
    const std::size_t at = body.find(key);
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size();
    return body.substr(start, body.find('&', start) - start);
}

// Sets an environment variable for the game started while it lives.
class GameSetting {
public:
    GameSetting(const char* name, const char* value) : name_(name) {
        SetEnvironmentVariableA(name, value);
    }
    ~GameSetting() { SetEnvironmentVariableA(name_, nullptr); }

private:
    const char* name_;
};

class WinPlayAgainstDemo : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(test::TheDemoWorld(), nullptr) << "run through tests/windows/run_with_demo.py";
        if (World().path != "namespace") GTEST_SKIP() << "the console reaches its service on 80 and 443";
        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&classes);
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) RegDeleteTreeA(root, "Software\\Kestrix Inc.");
        test::SetValue(registry_, kGeneralKey, kServiceHostValue, test::Sz(World().engine_host));
        test::SetValue(registry_, std::string(kClientsKey) + "\\Word Maze", "EXEPATH",
                       test::Sz(BesideTheTests("wordmaze.exe")));

        ASSERT_EQ(dlls_.RegisterServer(BesideTheTests("kx_proxy_stub.dll")), 0);
        ASSERT_EQ(com_.Initialize(), 0);
        ASSERT_EQ(com_.RegisterClassObject(kClsidKXCommServices, ClassContext::LocalServer,
                                           ClassUse::MultipleUse, &cookie_),
                  0);

        CopyToField(user_.szUserName, "monitor");
        CopyToField(user_.szPassword, "monitor");
        CopyToField(user_.szUserID, "1003");
        user_.bLoggedIn = 1;
        user_.bMonitor = 1;
        user_.bPlaySounds = 1;
        session_.SelectGame("Word Maze", "3");
        trace_.Open(clock_, scratch_ / "debug.txt");
    }

    void TearDown() override {
        if (cookie_ != 0) com_.RevokeClassObject(cookie_);
        com_.Uninitialize();
        dlls_.UnregisterServer(BesideTheTests("kx_proxy_stub.dll"));
        trace_.Close();
    }

    // Runs the console window; once it is up, the player clicks "Play" on
    // the tournament list, and the console ends when the play is over.
    void PlayFromTheList() {
        static WinPlayAgainstDemo* running = nullptr;
        running = this;
        SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            running->ClickPlay();
        });
        console_.RunModal(windows_, kNoWindow);
    }

    void ClickPlay() {
        ASSERT_NE(browser_, nullptr) << "the console window made no browser";
        auto list = test::MakePage(u"https://demo.kestrix.test/ws_Console/tourlistframe.asp");
        test::ScriptedElement& play =
            list->Body().AddChild().Set(u"KXCommand", u"PLAYTOURNAMENT").Set(u"KXParams", u"tour12");
        list->Body().AddChild().Set(u"id", u"tour12").SetText(u"TOURNAMENTID=12");
        browser_->LoadPage(list);
        clicked_ = list->Click(play);
        // The browser goes with the console window once it has ended.
        navigations_ = browser_->Navigations();
        console_.EndConsole(0);
    }

    WinRegistry registry_;
    WinInetApi inet_;
    test::ScriptedBrowser* browser_ = nullptr;
    WinWindowSystem windows_{[this](HWND) {
        auto browser = std::make_unique<test::ScriptedBrowser>();
        browser_ = browser.get();
        return std::unique_ptr<Browser>(std::move(browser));
    }};
    WinClock clock_;
    WinProcesses processes_;
    WinFiles files_;
    test::FakeSound sound_;
    Ports ports_{&registry_, &inet_, &windows_, &clock_, &processes_, &files_, &sound_};
    KXUserInfo user_;
    ConsoleSession session_{user_};
    TraceLog trace_;
    PlayContext play_;
    test::ScratchDirectory scratch_;
    test::CapturedDebugOutput debug_;
    ConsoleDialog console_{ports_, session_, trace_, play_};
    WinDllRegistration dlls_;
    const GameServerFactory game_servers_ =
        GameServicesFactory(ports_, play_, session_.strGameName);
    WinComServer com_{[this](const Guid&, REFIID iid, void** object) -> HRESULT {
        std::unique_ptr<GameServer> server;
        try {
            server = game_servers_();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return WinServicesObject::Create(std::move(server), {}, iid, object);
    }};
    ClassCookie cookie_ = 0;
    std::optional<bool> clicked_;
    std::vector<test::NavigationRecord> navigations_;
};

TEST_F(WinPlayAgainstDemo, AMonitoredFirstPlaceIsPostedRankedAndItsVerifyFileUploaded) {
    const GameSetting score("KX_WORDMAZE_AUTO_SCORE", "2000000000");
    const GameSetting quick("KX_WORDMAZE_AUTO_SECONDS", "2");
    PlayerHands hands([](PlayerHands& h) {
        // The game as the player sees it, while it plays by itself.
        HWND game = h.WaitForWindow("Word Maze", std::chrono::seconds(60));
        Sleep(900);
        h.Picture(game, "windows-game");
    });
    PlayFromTheList();
    EXPECT_EQ(clicked_, std::optional<bool>(true));

    const auto commands = RequestsTo(std::string(kCommandPath));
    ASSERT_GE(commands.size(), 2u);
    const std::string& start = commands[commands.size() - 2].body;
    const std::string& end = commands.back().body;
    EXPECT_EQ(start, "COMMAND=STARTTOUR&USERNAME=monitor&PASSWORD=monitor&GAMENAME=Word+Ma%7Ae&"
                     "TOURNID=12");
    const std::string play_id = FieldOf(end, "PLAYID");
    ASSERT_FALSE(play_id.empty()) << end;
    EXPECT_TRUE(end.starts_with("COMMAND=ENDGAME&USERNAME=monitor&PASSWORD=monitor&"
                                "GAMENAME=Word+Ma%7Ae&TOURNID=12&PLAYID=" + play_id + "&"))
        << end;
    EXPECT_EQ(FieldOf(end, "GCS"), Md5Hex(play_id + "12" + "1003"));
    EXPECT_EQ(FieldOf(end, "SCORE"), "2000000000");
    EXPECT_FALSE(FieldOf(end, "MOVES").empty()) << "the game's own items go with the score";

    const auto uploads = RequestsTo("/GAMELOGS/" + play_id + "_monitor.txt");
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].method, "PUT");
    EXPECT_FALSE(uploads[0].body.empty());
    EXPECT_EQ(sound_.Played().size(), 1u);

    ASSERT_FALSE(navigations_.empty());
    const test::NavigationRecord& page = navigations_.back();
    EXPECT_NE(page.post_data.find("LASTTOURNID=12&"), std::string::npos) << page.post_data;
    EXPECT_TRUE(page.post_data.ends_with("&RANK=1")) << page.post_data;
}

TEST_F(WinPlayAgainstDemo, AGameThatEndsWithoutItsScoreIsReportedAsAnAbnormalEnd) {
    // A program that runs a moment and exits without a word to the console.
    test::SetValue(registry_, std::string(kClientsKey) + "\\Word Maze", "EXEPATH",
                   test::Sz(BesideTheTests("kx_windows_child.exe")));
    const GameSetting runs("KX_CHILD_SLEEP_MS", "300");
    test::SeenMessageBox seen;
    PlayerHands hands(
        [&](PlayerHands& h) {
            h.Picture(h.WaitForWindow("Error", std::chrono::seconds(60)), "windows-abnormal-end");
            seen = h.AnswerMessageBox("Error", IDOK, std::chrono::seconds(60));
        });
    PlayFromTheList();
    EXPECT_EQ(seen.text, "The game has terminated abnormally if you continue to receive this error "
                         "please contact technical support for help.");
    const auto commands = RequestsTo(std::string(kCommandPath));
    ASSERT_FALSE(commands.empty());
    EXPECT_TRUE(commands.back().body.starts_with("COMMAND=STARTTOUR&")) << "no score was posted";
}

}  // namespace
}  // namespace kx
