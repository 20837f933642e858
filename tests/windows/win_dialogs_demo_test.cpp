// The core's dialogs on real Win32 windows, driven with window messages from
// a second thread as a player's hands would, against the demo service
// through WinINet, with the settings in the Wine prefix's registry.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "account/login_dialog.h"
#include "account/user_info.h"
#include "base/registry_paths.h"
#include "demo_world.h"
#include "net/download_progress_dialog.h"
#include "net/service_interface.h"
#include "platform/win32/win_clock.h"
#include "platform/win32/win_dialog_host.h"
#include "platform/win32/win_registry.h"
#include "platform/win32/wininet_inet_api.h"
#include "play/server_wait_dialog.h"
#include "player_hands.h"
#include "resources/download_template.h"
#include "resources/login_template.h"
#include "resources/registration_template.h"
#include "resources/server_wait_template.h"
#include "support/captured_debug_output.h"
#include "support/inet_exchange.h"
#include "support/registry_helpers.h"
#include "support/scratch_directory.h"

namespace kx {
namespace {

namespace lc = login_control;
namespace rc = registration_control;
using namespace std::chrono_literals;
using test::PlayerHands;
using test::SeenMessageBox;

constexpr const char* kLoginCaption = "Please enter your username and password";
constexpr const char* kRegistrationCaption = "Please Fill in the Registration Form";

const test::DemoWorld& World() { return *test::TheDemoWorld(); }

std::vector<std::string> BodiesTo(std::string_view target) {
    std::vector<std::string> bodies;
    for (const test::LoggedRequest& request : test::ReadRequestLog(World().request_log)) {
        if (request.target == target) bodies.push_back(request.body);
    }
    return bodies;
}

// The demo's generated files: byte i is i mod 251.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class WinDialogsAgainstDemo : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(test::TheDemoWorld(), nullptr) << "run through tests/windows/run_with_demo.py";
        if (World().path != "namespace") GTEST_SKIP() << "the console reaches its service on 80 and 443";
        // As the console's entry does, for the download's progress bar.
        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&classes);
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegDeleteTreeA(root, "Software\\Kestrix Inc.");
        }
        test::SetValue(registry_, kGeneralKey, kServiceHostValue, test::Sz(World().engine_host));
        TheUserInfo() = KXUserInfo{};
    }

    int RunLogin() {
        Ports ports{&registry_, &inet_, &windows_, &clock_};
        return RunLoginDialog(ports, &TheUserInfo(), kNoWindow);
    }

    WinRegistry registry_;
    WinInetApi inet_;
    WinWindowSystem windows_;
    WinClock clock_;
    test::CapturedDebugOutput debug_;
};

TEST_F(WinDialogsAgainstDemo, TheGuestButtonLogsInAndTheNameIsSavedForTheNextStart) {
    PlayerHands hands([](PlayerHands& h) {
        HWND login = h.WaitForWindow(kLoginCaption);
        ASSERT_NE(login, nullptr);
        h.Picture(login, "windows-login");
        h.Click(login, lc::kGuestLogin);
    });
    ASSERT_EQ(RunLogin(), LoginDialog::kLoggedIn);
    EXPECT_STREQ(TheUserInfo().szUserID, "1001");
    // The form's encoding leaves only the service's own alphabet plain.
    EXPECT_EQ(BodiesTo(kCommandPath).back(), "COMMAND=LOGIN&USERNAME=guest&PASSWORD=tans%79");
    const auto saved = test::GetValue(registry_, kPlayerKey, "Username", kHKeyCurrentUser);
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->substr(0, saved->find('\0')), "guest");
}

TEST_F(WinDialogsAgainstDemo, ARefusalIsShownInAMessageBoxAndTheDialogTakesAnotherTry) {
    ASSERT_TRUE(test::AddDemoFault(R"({"kind": "refuse", "errortext": "Closed for the night", "count": 1})"));
    SeenMessageBox refusal;
    SeenMessageBox blank;
    PlayerHands hands([&](PlayerHands& h) {
        HWND login = h.WaitForWindow(kLoginCaption);
        ASSERT_NE(login, nullptr);
        // Nothing typed: the dialog refuses before asking the service.
        h.Type(login, lc::kUserName, "");
        h.Press(login, IDOK);
        blank = h.AnswerMessageBox("Log in error", IDOK);
        h.Type(login, lc::kUserName, "guest");
        h.Type(login, lc::kPassword, "tansy");
        h.Press(login, IDOK);
        h.Picture(h.WaitForWindow("Log in error"), "windows-message-box");
        refusal = h.AnswerMessageBox("Log in error", IDOK);
        h.Press(login, IDOK);
    });
    ASSERT_EQ(RunLogin(), LoginDialog::kLoggedIn);
    EXPECT_EQ(blank.text, "Username cannot be blank.");
    EXPECT_EQ(refusal.caption, "Log in error");
    EXPECT_EQ(refusal.text, "Closed for the night");
    EXPECT_STREQ(TheUserInfo().szUserID, "1001");
}

TEST_F(WinDialogsAgainstDemo, ABadEmailIsRefusedWithItsMessageAndNothingIsSent) {
    const std::size_t created_before = BodiesTo(kCreateAccountCommandPath).size();
    SeenMessageBox refusal;
    std::string form_after;
    PlayerHands hands([&](PlayerHands& h) {
        HWND login = h.WaitForWindow(kLoginCaption);
        ASSERT_NE(login, nullptr);
        h.Click(login, lc::kRegister);
        HWND form = h.WaitForWindow(kRegistrationCaption);
        ASSERT_NE(form, nullptr);
        h.Type(form, rc::kUserName, "Newcomer 2");
        h.Type(form, rc::kPassword, "fresh pw");
        h.Type(form, rc::kConfirmPassword, "fresh pw");
        h.Type(form, rc::kEmail, "newcomer.mail.example");
        h.Type(form, rc::kFirstName, "New");
        h.Type(form, rc::kLastName, "Comer");
        h.Picture(form, "windows-registration");
        h.Press(form, IDOK);
        refusal = h.AnswerMessageBox("Registration error", IDOK);
        form_after = h.Text(form, rc::kUserName);
        h.Press(form, IDCANCEL);
        ASSERT_TRUE(h.WaitUntilGone(form));
        login = h.WaitForWindow(kLoginCaption);
        ASSERT_NE(login, nullptr);
        h.Press(login, IDCANCEL);
    });
    EXPECT_EQ(RunLogin(), LoginDialog::kCancelled);
    EXPECT_EQ(refusal.text, "Please enter a valid email 'name@example.com'.");
    EXPECT_EQ(form_after, "Newcomer 2");
    EXPECT_EQ(BodiesTo(kCreateAccountCommandPath).size(), created_before);
}

TEST_F(WinDialogsAgainstDemo, TheServerWaitsCancelEndsTheRequestAtOnce) {
    ASSERT_TRUE(test::AddDemoFault(R"({"kind":"slow","delay":20,"command":"LOGIN","count":1})"));
    ServerWaitDialog wait(inet_);
    ASSERT_TRUE(wait.Prepare("https://" + World().engine_host + std::string(kCommandPath),
                             "COMMAND=LOGIN&USERNAME=guest&PASSWORD=tansy",
                             "Kx waiting for the server", 0));
    std::string status_seen;
    PlayerHands hands([&](PlayerHands& h) {
        HWND window = h.WaitForDialogShowing(server_wait_control::kTitle, "Kx waiting for the server");
        ASSERT_NE(window, nullptr);
        Sleep(300);
        h.Picture(window, "windows-server-wait");
        h.Press(window, IDCANCEL);
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(wait.RunModal(windows_, kNoWindow), 2);
    // Well before the 20 s the service holds its reply.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 15s);
    EXPECT_EQ(wait.Error(), 0u);
}

TEST_F(WinDialogsAgainstDemo, ADownloadShowsItsProgressAndEndsWithTheWholeFile) {
    ASSERT_TRUE(test::AddDemoFault(
        R"({"kind":"slow","path":"/downloads/300k.bin","delay":2,"trickle":true,"count":1})"));
    test::ScratchDirectory scratch;
    const std::string local = (scratch / "wordmaze-setup.exe").string();
    std::vector<int> positions;
    std::string name_shown;
    std::atomic<bool> done{false};
    PlayerHands hands([&](PlayerHands& h) {
        HWND window = h.WaitForWindow("File Download Progress");
        ASSERT_NE(window, nullptr);
        name_shown = h.Text(window, download_control::kFileName);
        bool pictured = false;
        while (!done && IsWindow(window)) {
            if (!pictured && !positions.empty() && positions.back() > 30) {
                h.Picture(window, "windows-download");
                pictured = true;
            }
            DWORD_PTR position = 0;
            if (SendMessageTimeoutA(GetDlgItem(window, download_control::kProgressBar), PBM_GETPOS,
                                    0, 0, SMTO_NORMAL, 1000, &position)) {
                positions.push_back(static_cast<int>(position));
            }
            Sleep(50);
        }
    });
    DownloadProgressDialog download(inet_);
    const int result = download.RunDownload("http://" + World().engine_host + "/downloads/300k.bin",
                                            local, "Word Maze", windows_, kNoWindow);
    done = true;
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(ReadFile(local) == Pattern(300 * 1024)) << "the file differs from what was served";
    EXPECT_NE(name_shown.find("Word Maze"), std::string::npos) << name_shown;
    // The bar moved forward while the bytes came, never back.
    ASSERT_FALSE(positions.empty());
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_GT(positions.back(), positions.front());
}

}  // namespace
}  // namespace kx
