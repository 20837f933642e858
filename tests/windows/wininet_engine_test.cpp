// The request engine and the upload on WinINet, their messages posted to a
// window and pumped on the test's thread as a dialog would, against the demo
// service on ports 80 and 443.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "base/dialog_messages.h"
#include "demo_world.h"
#include "message_window.h"
#include "net/http_request_engine.h"
#include "net/upload.h"
#include "platform/win32/win_notifier.h"
#include "platform/win32/wininet_inet_api.h"
#include "support/inet_exchange.h"

namespace kx {
namespace {

using namespace std::chrono_literals;
using test::DemoWorld;
using test::MessageWindow;
using test::PostedMessage;

const DemoWorld& World() { return *test::TheDemoWorld(); }

bool IsDone(const PostedMessage& m) { return m.message == WM_INET_DONE; }

std::size_t CountOf(const std::vector<PostedMessage>& messages, UINT message) {
    return static_cast<std::size_t>(std::count_if(
        messages.begin(), messages.end(), [&](const PostedMessage& m) { return m.message == message; }));
}

bool SawStatus(const std::vector<PostedMessage>& messages, std::uint32_t status) {
    return std::any_of(messages.begin(), messages.end(), [&](const PostedMessage& m) {
        return m.message == WM_INET_STATUS && m.wparam == status;
    });
}

std::string TempFile(const char* name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + name;
}

// The engine with its session open on the system's settings, as the
// console opens it, and its messages going to a window of the test's thread.
class EngineOnWinInet : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(test::TheDemoWorld(), nullptr) << "run through tests/windows/run_with_demo.py";
        ASSERT_NE(window_.get(), nullptr);
        notifier_ = std::make_shared<WinNotifier>(window_.get());
        engine_.SetNotificationWindow(notifier_);
        ASSERT_TRUE(engine_.OpenSession(InternetAccess::Preconfigured)) << api_.LastError();
    }

    std::string Url(const char* scheme, const std::string& path) const {
        return std::string(scheme) + "://" + World().engine_host + path;
    }

    WinInetApi api_;
    HttpRequestEngine engine_{api_};
    MessageWindow window_;
    std::shared_ptr<WinNotifier> notifier_;
};

TEST_F(EngineOnWinInet, PostsTheGuestLoginOverHttpsAndHearsItsReply) {
    ASSERT_TRUE(engine_.StartPost(Url("https", "/ws_Console/command.asp"),
                                  "COMMAND=LOGIN&USERNAME=guest&PASSWORD=tansy"));
    const auto messages = window_.PumpUntil(IsDone, 30s);
    ASSERT_EQ(CountOf(messages, WM_INET_DONE), 1u);
    ASSERT_TRUE(engine_.WaitUntilIdle(5s));
    EXPECT_EQ(engine_.Error(), 0u);
    EXPECT_EQ(engine_.StatusCode(), 200u);
    EXPECT_NE(engine_.ResponseBody().find("ERRORCODE=0"), std::string::npos)
        << engine_.ResponseBody();
    EXPECT_NE(engine_.ResponseBody().find("USERID=1001"), std::string::npos);
    EXPECT_TRUE(SawStatus(messages, kInternetStatusHandleCreated));
    EXPECT_TRUE(SawStatus(messages, kInternetStatusRequestComplete));
    EXPECT_EQ(notifier_->DroppedMessages(), 0u);

    const auto requests = test::ReadRequestLog(World().request_log);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().method, "POST");
    EXPECT_EQ(requests.back().body, "COMMAND=LOGIN&USERNAME=guest&PASSWORD=tansy");
    EXPECT_EQ(requests.back().Header("Host"), World().engine_host);
    EXPECT_EQ(requests.back().Header("Content-Type"), "application/x-www-form-urlencoded");
}

TEST_F(EngineOnWinInet, DownloadsIn512ByteChunksWithOneMessageEach) {
    struct Case {
        const char* scheme;
        const char* path;
        std::size_t size;
    };
    const Case cases[] = {
        {"http", "/downloads/5000.bin", 5000},
        {"https", "/downloads/1024.bin", 1024},
        {"https", "/downloads/chunked/700.bin", 700},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.scheme) + c.path);
        const std::string file = TempFile("kx-engine-download.bin");
        ASSERT_TRUE(engine_.StartDownload(Url(c.scheme, c.path), file));
        const auto messages = window_.PumpUntil(IsDone, 30s);
        ASSERT_EQ(CountOf(messages, WM_INET_DONE), 1u);
        ASSERT_TRUE(engine_.WaitUntilIdle(5s));
        EXPECT_EQ(engine_.Error(), 0u);
        EXPECT_EQ(engine_.StatusCode(), 200u);

        std::size_t total = 0;
        std::size_t chunks = 0;
        for (const PostedMessage& m : messages) {
            if (m.message != WM_INET_DATA) continue;
            ++chunks;
            total += m.wparam;
            EXPECT_LE(m.wparam, 512u);
            EXPECT_GT(m.wparam, 0u);
        }
        EXPECT_EQ(total, c.size);
        // WinINet may hand over less than asked, never more.
        EXPECT_GE(chunks, (c.size + 511) / 512);
        EXPECT_TRUE(test::ReadWholeFile(file) == test::DownloadPattern(c.size));
        DeleteFileA(file.c_str());
    }
}

TEST_F(EngineOnWinInet, CertificateFailuresEndTheRequestWithTheirWinInetError) {
    struct Case {
        std::string host;
        std::uint32_t error;
    };
    const Case cases[] = {
        {World().engine_other_host, kErrorInternetSecCertCnInvalid},
        {World().engine_untrusted_host, test::UnknownCaError()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        ASSERT_TRUE(engine_.StartPost("https://" + c.host + "/ws_Console/command.asp",
                                      "COMMAND=LOGIN&USERNAME=guest&PASSWORD=tansy"));
        const auto messages = window_.PumpUntil(IsDone, 30s);
        ASSERT_EQ(CountOf(messages, WM_INET_DONE), 1u);
        ASSERT_TRUE(engine_.WaitUntilIdle(5s));
        EXPECT_EQ(engine_.Error(), c.error);
        EXPECT_EQ(engine_.ResponseBody(), "");
    }
}

TEST_F(EngineOnWinInet, CancelMidTransferEndsWithoutDoneAndLeavesTheEngineReady) {
    ASSERT_TRUE(test::AddDemoFault(
        R"({"kind":"slow","path":"/downloads/64k.bin","delay":10,"trickle":true,"count":1})"));
    const std::string file = TempFile("kx-engine-cancel.bin");
    ASSERT_TRUE(engine_.StartDownload(Url("http", "/downloads/64k.bin"), file));
    const auto before = window_.PumpUntil(
        [](const PostedMessage& m) { return m.message == WM_INET_DATA; }, 20s);
    ASSERT_EQ(CountOf(before, WM_INET_DATA), 1u) << "no body byte came";
    engine_.Cancel();
    EXPECT_TRUE(engine_.IsIdle());
    const auto after = window_.PumpUntil(IsDone, 1s);
    EXPECT_EQ(CountOf(after, WM_INET_DONE), 0u);
    EXPECT_LT(test::ReadWholeFile(file).size(), 64u * 1024);
    DeleteFileA(file.c_str());

    // The next request on the same session goes through.
    ASSERT_TRUE(engine_.StartPost(Url("https", "/ws_Console/command.asp"),
                                  "COMMAND=LOGIN&USERNAME=guest&PASSWORD=tansy"));
    const auto next = window_.PumpUntil(IsDone, 30s);
    EXPECT_EQ(CountOf(next, WM_INET_DONE), 1u);
    ASSERT_TRUE(engine_.WaitUntilIdle(5s));
    EXPECT_EQ(engine_.Error(), 0u);
}

TEST_F(EngineOnWinInet, UploadDeliversTheWholeFile) {
    for (const std::size_t size : {std::size_t{3000}, std::size_t{4096}}) {
        SCOPED_TRACE(size);
        const std::string local = TempFile("kx-upload.txt");
        const std::string body = test::DownloadPattern(size);
        {
            std::FILE* out = std::fopen(local.c_str(), "wb");
            ASSERT_NE(out, nullptr);
            std::fwrite(body.data(), 1, body.size(), out);
            std::fclose(out);
        }
        const std::string object = "GAMELOGS/" + std::to_string(5000 + size) + "_guest.txt";
        EXPECT_TRUE(UploadFile(api_, World().engine_host, object, local));
        const auto requests = test::ReadRequestLog(World().request_log);
        const auto logged = std::find_if(requests.rbegin(), requests.rend(), [&](const auto& r) {
            return r.method == "PUT" && r.target.find(object) != std::string::npos;
        });
        ASSERT_NE(logged, requests.rend());
        EXPECT_TRUE(logged->complete);
        EXPECT_EQ(logged->Header("Content-Length"), std::to_string(size));
        EXPECT_TRUE(logged->body == body) << logged->body.size() << " bytes arrived";
        DeleteFileA(local.c_str());
    }
}

}  // namespace
}  // namespace kx
