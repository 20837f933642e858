#include "net/download_progress_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "resources/download_template.h"
#include "support/captured_debug_output.h"
#include "support/scripted_inet_api.h"
#include "support/scripted_window_system.h"

namespace kx {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Behavior;
using test::InetOp;
using test::ScriptedDialog;

constexpr auto kWait = 5s;
constexpr WindowId kParent = 0x42;
constexpr std::string_view kUrl = "http://downloads.test/clients/setup.exe";
constexpr std::string_view kName = "Game Installer";
constexpr int kBar = download_control::kProgressBar;
constexpr int kFileName = download_control::kFileName;
constexpr int kProgressText = download_control::kProgressText;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Rig {
    // The request reaches the send and stays there until the dialog cancels it.
    void HoldRequest() { inet.Script(InetOp::SendRequest, Behavior::PendUntilReleased()); }
    int Run(std::string_view url = kUrl) {
        return dialog.RunDownload(url, path.string(), kName, windows, kParent);
    }

    fs::path path;
    test::CapturedDebugOutput debug;  // outlives the engine's worker
    test::ScriptedInetApi inet;
    test::ScriptedWindowSystem windows;
    DownloadProgressDialog dialog{inet};
};

class DownloadProgressDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kx_download_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Path(std::string_view name) const { return dir_ / name; }

    fs::path dir_;
};

TEST(FormatByteCountTest, ChoosesBytesKilobytesOrMegabytes) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, "0 bytes"},          {1023, "1023 bytes"},       {1024, "1 KB"},
        {1536, "1 KB"},          {1048575, "1023 KB"},       {1048576, "1.00 MB"},
        {1572864, "1.50 MB"},    {1053819, "1.01 MB"},       {4294967295, "4096.00 MB"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(FormatByteCount(bytes), text) << bytes;
}

TEST_F(DownloadProgressDialogTest, AFinishedTransferEndsWithOneAndLeavesTheBodyInTheFile) {
    struct Case {
        const char* name;
        test::ScriptedReply reply;
        std::string text;
        int bar;
        bool bar_visible;
    } const cases[] = {
        {"size announced", {200, 3000, std::string(1000, 'x'), 0}, "1000 bytes of 2 KB (33%)", 33,
         true},
        {"no size", {200, {}, std::string(2048, 'y'), 0}, "2 KB", 0, false},
        {"error page", {404, {}, "<html>Not found</html>", 0}, "22 bytes", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.path = Path(c.name);
        rig.inet.SetReply(c.reply);
        EXPECT_EQ(rig.Run(), 1);

        ScriptedDialog& d = rig.windows.Last();
        EXPECT_EQ(d.Owner(), kParent);
        EXPECT_TRUE(d.Centred());
        EXPECT_EQ(d.Text(kFileName), kName);
        EXPECT_EQ(d.Text(kProgressText), c.text);
        EXPECT_EQ(d.Control(kBar).position, c.bar);
        EXPECT_EQ(d.Control(kBar).range_low, 0);
        EXPECT_EQ(d.Control(kBar).range_high, 100);
        EXPECT_EQ(d.Visible(kBar), c.bar_visible);
        EXPECT_EQ(ReadFile(rig.path), c.reply.body);
        const auto log = rig.inet.Log();
        ASSERT_EQ(log.opens.size(), 1u);
        EXPECT_EQ(log.opens[0].access_type, kInternetOpenTypePreconfig);
    }
}

TEST_F(DownloadProgressDialogTest, ProgressTextAndBarFollowEveryChunk) {
    using Chunk = std::pair<std::uintptr_t, std::intptr_t>;  // bytes, Content-Length
    struct Case {
        const char* name;
        std::vector<Chunk> chunks;
        std::string text;
        int bar;
        bool bar_visible;
    } const cases[] = {
        {"no size", {{512, 0}, {600, 0}}, "1 KB", 0, false},
        {"size known", {{1000, 3000}}, "1000 bytes of 2 KB (33%)", 33, true},
        {"size announced late", {{100, 0}, {100, 1000}}, "200 bytes of 1000 bytes (20%)", 20,
         true},
        {"second size ignored", {{100, 1000}, {100, 5000}}, "200 bytes of 1000 bytes (20%)", 20,
         true},
        {"more than announced", {{1500, 1000}}, "1 KB of 1000 bytes (150%)", 100, true},
        {"far more than announced", {{4000000000u, 1}}, "3814.70 MB of 1 bytes (2147483647%)",
         100, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.path = Path("file");
        rig.HoldRequest();
        rig.windows.Then([&](ScriptedDialog& d) {
            EXPECT_EQ(d.Text(kProgressText), "");
            EXPECT_FALSE(d.Visible(kBar));
            for (const auto& [bytes, content_length] : c.chunks) {
                d.Poster()->Post(WM_INET_DATA, bytes, content_length);
                ASSERT_TRUE(d.DeliverUntil(WM_INET_DATA));
            }
            EXPECT_EQ(d.Text(kProgressText), c.text);
            EXPECT_EQ(d.Control(kBar).position, c.bar);
            EXPECT_EQ(d.Visible(kBar), c.bar_visible);
            d.Click(kIdCancel);
        });
        EXPECT_EQ(rig.Run(), 2);
    }
}

TEST_F(DownloadProgressDialogTest, AFailureToStartIsShownAndEndsWithTwo) {
    struct Case {
        const char* name;
        std::function<void(test::ScriptedInetApi&)> script;
        std::string_view url;
        std::string message;
    } const cases[] = {
        // Opening a session leaves the engine's error as it was.
        {"no session",
         [](test::ScriptedInetApi& inet) {
             inet.Script(InetOp::Open, Behavior::Fail(kErrorInternetInternalError));
         },
         kUrl, "Unable to initialize internet connection. Error: 0"},
        {"no download", nullptr, "downloads.test/setup.exe",
         "Unable to initialize download. Error: 12006"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.path = Path("file");
        if (c.script) c.script(rig.inet);
        EXPECT_EQ(rig.Run(c.url), 2);

        ScriptedDialog& d = rig.windows.Last();
        ASSERT_EQ(rig.windows.MessageBoxes().size(), 1u);
        const test::MessageBoxRecord& box = rig.windows.MessageBoxes()[0];
        EXPECT_EQ(box.text, c.message);
        EXPECT_EQ(box.caption, "Download Error");
        EXPECT_EQ(box.buttons, MessageBoxButtons::Ok);
        EXPECT_EQ(box.owner, d.Window());
        EXPECT_EQ(d.Text(kFileName), "File Name");
        EXPECT_FALSE(fs::exists(rig.path));
    }
}

TEST_F(DownloadProgressDialogTest, CancelEndsWithTwoAndLeavesTheEmptyFile) {
    const std::pair<const char*, std::function<void(ScriptedDialog&)>> cases[] = {
        {"button", [](ScriptedDialog& d) { d.Click(kIdCancel); }},
        {"escape", [](ScriptedDialog& d) { d.PressEscape(); }},
    };
    for (const auto& [name, cancel] : cases) {
        SCOPED_TRACE(name);
        Rig rig;
        rig.path = Path(name);
        rig.HoldRequest();
        rig.windows.Then([&](ScriptedDialog&) { ASSERT_TRUE(rig.inet.WaitUntilHeld(kWait)); });
        rig.windows.Then(cancel);
        EXPECT_EQ(rig.Run(), 2);
        EXPECT_EQ(rig.inet.CallCount(InetOp::CloseRequest), 1u);
        ASSERT_TRUE(fs::exists(rig.path));
        EXPECT_EQ(fs::file_size(rig.path), 0u);
    }
}

TEST_F(DownloadProgressDialogTest, AWindowTornDownMidTransferCancelsItFirst) {
    Rig rig;
    rig.path = Path("file");
    rig.HoldRequest();
    rig.windows.SetIdleTimeout(100ms);
    EXPECT_EQ(rig.Run(), test::ScriptedWindowSystem::kStuck);
    // The transfer has ended, so nothing of it can reach the ended window.
    EXPECT_EQ(rig.inet.CallCount(InetOp::CloseRequest), 1u);
    EXPECT_EQ(rig.windows.Last().LatePosts(), 0);
}

}  // namespace
}  // namespace kx
