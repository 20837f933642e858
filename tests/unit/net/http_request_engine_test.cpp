#include "net/http_request_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/captured_debug_output.h"
#include "support/recording_notifier.h"
#include "support/scripted_inet_api.h"

namespace kx {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Behavior;
using test::InetOp;
using test::PostedMessage;

constexpr auto kWait = 5s;
constexpr std::uint32_t kFormFlags = 0x04000000;
constexpr std::uint32_t kSecureFlags = 0x04800000;

std::string Bytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('A' + i % 26);
    return bytes;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::uintptr_t> WParams(const std::vector<PostedMessage>& messages) {
    std::vector<std::uintptr_t> wparams;
    for (const auto& message : messages) wparams.push_back(message.wparam);
    return wparams;
}

// Everything an engine needs, in the order that lets the engine go first.
struct Rig {
    Rig() { engine.SetNotificationWindow(test::Unowned(window)); }

    // Runs one request to its end and reports whether it ended with WM_INET_DONE.
    bool RunPost(std::string_view url, std::string_view form = "A=1") {
        return engine.StartPost(url, form) && window.WaitFor(WM_INET_DONE, kWait) &&
               engine.WaitUntilIdle(kWait);
    }
    std::uintptr_t Context() const { return reinterpret_cast<std::uintptr_t>(&engine); }

    test::ScriptedInetApi inet;
    test::RecordingNotifier window;
    HttpRequestEngine engine{inet};
};

class HttpRequestEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kx_engine_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        ASSERT_TRUE(rig_.engine.OpenSession(InternetAccess::Preconfigured));
    }
    void TearDown() override { fs::remove_all(dir_); }

    test::CapturedDebugOutput debug_;
    fs::path dir_;
    Rig rig_;
    test::ScriptedInetApi& inet_ = rig_.inet;
    test::RecordingNotifier& window_ = rig_.window;
    HttpRequestEngine& engine_ = rig_.engine;
};

TEST_F(HttpRequestEngineTest, OpensAnAsynchronousSessionAndReopensIt) {
    for (const auto access : {InternetAccess::Preconfigured, InternetAccess::Direct}) {
        Rig rig;
        ASSERT_TRUE(rig.engine.OpenSession(access));
        ASSERT_TRUE(rig.engine.OpenSession(access));
        const test::InetCallLog log = rig.inet.Log();
        ASSERT_EQ(log.opens.size(), 2u);
        EXPECT_EQ(log.opens[0].agent, "KXCONSOLE");
        EXPECT_EQ(log.opens[0].access_type, access == InternetAccess::Direct ? 1u : 0u);
        EXPECT_EQ(log.opens[0].flags, 0x10000000u);
        EXPECT_EQ(log.callbacks.size(), 2u);
        EXPECT_EQ(log.closed.size(), 1u) << "reopening closes the old session";
        EXPECT_EQ(rig.inet.OpenHandleCount(), 1u);
    }
}

TEST_F(HttpRequestEngineTest, OpenSessionFailsWithoutLeavingASession) {
    for (const InetOp failing : {InetOp::Open, InetOp::SetCallback}) {
        Rig rig;
        rig.inet.Script(failing, Behavior::Fail(12004));
        EXPECT_FALSE(rig.engine.OpenSession(InternetAccess::Preconfigured));
        EXPECT_EQ(rig.inet.OpenHandleCount(), 0u);
        EXPECT_EQ(rig.engine.Error(), 0u) << "the error field is not changed";
    }
}

TEST_F(HttpRequestEngineTest, HttpsInAnyCaseMeansTlsOn443AndThePortInTheUrlIsNeverUsed) {
    enum class Kind { Post, Download };
    struct Case {
        Kind kind;
        const char* url;
        std::uint16_t port;
        std::uint32_t flags;
    } const cases[] = {
        {Kind::Post, "https://kx.example/cmd.asp", 443, kSecureFlags},
        {Kind::Post, "HTTPS://kx.example/cmd.asp", 443, kSecureFlags},
        {Kind::Post, "HtTpS://kx.example:8443/cmd.asp", 443, kSecureFlags},
        {Kind::Post, "http://kx.example/cmd.asp", 80, kFormFlags},
        {Kind::Post, "http://kx.example:8080/cmd.asp", 80, kFormFlags},
        {Kind::Post, "ftp://kx.example/cmd.asp", 80, kFormFlags},
        {Kind::Post, "httpsx://kx.example/cmd.asp", 80, kFormFlags},
        {Kind::Download, "https://kx.example/setup.exe", 443, kSecureFlags},
        {Kind::Download, "hTTPs://kx.example:444/setup.exe", 443, kSecureFlags},
        {Kind::Download, "http://kx.example:8080/setup.exe", 80, kFormFlags},
    };
    for (const auto& c : cases) {
        Rig rig;
        ASSERT_TRUE(rig.engine.OpenSession(InternetAccess::Preconfigured));
        const bool started = c.kind == Kind::Post
                                 ? rig.engine.StartPost(c.url, "A=1")
                                 : rig.engine.StartDownload(c.url, (dir_ / "setup.exe").string());
        ASSERT_TRUE(started) << c.url;
        ASSERT_TRUE(rig.window.WaitFor(WM_INET_DONE, kWait)) << c.url;
        const test::InetCallLog log = rig.inet.Log();
        ASSERT_EQ(log.connects.size(), 1u);
        EXPECT_EQ(log.connects[0].port, c.port) << c.url;
        ASSERT_EQ(log.open_requests.size(), 1u);
        EXPECT_EQ(log.open_requests[0].flags, c.flags) << c.url;
        EXPECT_EQ(log.open_requests[0].verb, c.kind == Kind::Post ? "POST" : "GET") << c.url;
    }
}

TEST_F(HttpRequestEngineTest, PostSendsTheFormAndCollectsTheReply) {
    inet_.SetReply({200, 13, "ERRORCODE=0\r\n", 0});
    ASSERT_TRUE(
        rig_.RunPost("http://kx.example/console/cmd.asp?v=2", "COMMAND=LOGIN&USERNAME=a%20b"));

    const test::InetCallLog log = inet_.Log();
    ASSERT_EQ(log.connects.size(), 1u);
    const test::ConnectCall& connect = log.connects[0];
    EXPECT_EQ(connect.host, "kx.example");
    EXPECT_EQ(connect.user, "anonymous");
    EXPECT_EQ(connect.password, "");
    EXPECT_EQ(connect.service, kInternetServiceHttp);
    EXPECT_EQ(connect.flags, 0u);
    EXPECT_EQ(connect.context, rig_.Context());
    ASSERT_EQ(log.open_requests.size(), 1u);
    EXPECT_EQ(log.open_requests[0].path, "/console/cmd.asp?v=2");
    EXPECT_EQ(log.open_requests[0].context, rig_.Context());
    ASSERT_EQ(log.sends.size(), 1u);
    EXPECT_EQ(log.sends[0].headers, "content-type: application/x-www-form-urlencoded");
    EXPECT_EQ(log.sends[0].body, "COMMAND=LOGIN&USERNAME=a%20b");
    EXPECT_EQ(log.read_sizes, (std::vector<std::uint32_t>{512, 512}));

    EXPECT_EQ(engine_.StatusCode(), 200u);
    EXPECT_EQ(engine_.Error(), 0u);
    EXPECT_EQ(engine_.ResponseBody(), "ERRORCODE=0\r\n");
    EXPECT_EQ(window_.Messages().back(), (PostedMessage{WM_INET_DONE, 0, 0}));
    EXPECT_EQ(window_.Count(WM_INET_DONE), 1u);
    EXPECT_EQ(inet_.OpenHandleCount(), 1u) << "only the session outlives the request";
    EXPECT_EQ(debug_.CountOf("waiting for data\n"), 1u);
}

TEST_F(HttpRequestEngineTest, DownloadWritesTheBodyOverTheLocalFile) {
    const fs::path file = dir_ / "setup.exe";
    std::ofstream(file, std::ios::binary) << Bytes(5000);
    const std::string body = Bytes(1300);
    inet_.SetReply({200, 1300, body, 0});
    // Pending reads fill the buffer only when they complete.
    inet_.Script(InetOp::Read, Behavior::Pend());

    ASSERT_TRUE(engine_.StartDownload("http://kx.example/files/setup.exe", file.string()));
    ASSERT_TRUE(window_.WaitFor(WM_INET_DONE, kWait));
    ASSERT_TRUE(engine_.WaitUntilIdle(kWait));

    EXPECT_EQ(ReadFile(file), body);
    EXPECT_EQ(engine_.ResponseBody(), "");
    EXPECT_EQ(WParams(window_.MessagesOf(WM_INET_DATA)),
              (std::vector<std::uintptr_t>{512, 512, 276}));
    const test::InetCallLog log = inet_.Log();
    EXPECT_EQ(log.open_requests[0].path, "/files/setup.exe");
    EXPECT_EQ(log.sends[0].headers, "");
    EXPECT_EQ(log.sends[0].body, "");
}

TEST_F(HttpRequestEngineTest, EachNonEmptyChunkIsAnnouncedBeforeDone) {
    struct Case {
        std::size_t body_size;
        std::optional<std::uint32_t> content_length;
        std::uint32_t max_read;
        Behavior reads;
        std::vector<std::uintptr_t> chunks;
    } const cases[] = {
        {1300, 1300, 0, Behavior::AtOnce(), {512, 512, 276}},
        {1300, 1300, 0, Behavior::Pend(), {512, 512, 276}},
        {1300, std::nullopt, 0, Behavior::AtOnce(), {512, 512, 276}},
        {1024, 1024, 0, Behavior::AtOnce(), {512, 512}},
        {250, 250, 100, Behavior::Pend(), {100, 100, 50}},
        {0, 0, 0, Behavior::AtOnce(), {}},
        {0, std::nullopt, 0, Behavior::Pend(), {}},
    };
    for (const auto& c : cases) {
        Rig rig;
        ASSERT_TRUE(rig.engine.OpenSession(InternetAccess::Preconfigured));
        const std::string body = Bytes(c.body_size);
        rig.inet.SetReply({200, c.content_length, body, c.max_read});
        rig.inet.Script(InetOp::Read, c.reads);
        ASSERT_TRUE(rig.RunPost("http://kx.example/cmd.asp"));

        std::vector<PostedMessage> expected;
        for (const std::uintptr_t chunk : c.chunks) {
            expected.push_back({WM_INET_DATA, chunk, c.content_length.value_or(0)});
        }
        expected.push_back({WM_INET_DONE, 0, 0});
        std::vector<PostedMessage> posted = rig.window.Messages();
        std::erase_if(posted, [](const PostedMessage& m) { return m.message == WM_INET_STATUS; });
        EXPECT_EQ(posted, expected) << c.body_size;
        EXPECT_EQ(rig.engine.ResponseBody(), body);
    }
}

TEST_F(HttpRequestEngineTest, AnUnsplittableUrlIsRefusedAndTheEngineStaysIdle) {
    const std::string long_part(260, 'h');
    struct Case {
        std::string url;
        std::uint32_t error;
    } const cases[] = {
        {"kx.example/cmd.asp", kErrorInternetUnrecognizedScheme},
        {"http:///cmd.asp", kErrorInternetInvalidUrl},
        {"http://" + long_part + "/cmd.asp", 122},
        {"http://kx.example/" + long_part.substr(1) + "x", 122},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(engine_.StartPost(c.url, "A=1"));
        EXPECT_EQ(engine_.Error(), c.error) << c.url;
        EXPECT_FALSE(engine_.StartDownload(c.url, (dir_ / "f").string()));
        EXPECT_TRUE(engine_.IsIdle());
    }
    EXPECT_TRUE(inet_.Log().connects.empty());
    EXPECT_TRUE(window_.Messages().empty());

    // 259 characters of host and of path still fit.
    const std::string url = "http://" + long_part.substr(1) + "/" + long_part.substr(2);
    ASSERT_TRUE(rig_.RunPost(url));
    EXPECT_EQ(inet_.Log().connects[0].host.size(), 259u);
    EXPECT_EQ(inet_.Log().open_requests[0].path.size(), 259u);
}

TEST_F(HttpRequestEngineTest, ALocalFileThatCannotBeCreatedEndsWithoutTransfer) {
    ASSERT_TRUE(engine_.StartDownload("http://kx.example/f.exe", (dir_ / "no" / "f.exe").string()));
    ASSERT_TRUE(window_.WaitFor(WM_INET_DONE, kWait));
    ASSERT_TRUE(engine_.WaitUntilIdle(kWait));
    EXPECT_EQ(engine_.Error(), 0u);
    EXPECT_EQ(engine_.StatusCode(), 0u);
    EXPECT_TRUE(inet_.Log().connects.empty());
}

TEST_F(HttpRequestEngineTest, AFailingStepEndsTheRequestWithItsError) {
    struct Case {
        InetOp op;
        std::size_t index;
        Behavior behavior;
        std::uint32_t status;
        std::size_t body_kept;
    } const cases[] = {
        {InetOp::Connect, 0, Behavior::Fail(12007), 0, 0},
        {InetOp::Connect, 0, Behavior::Pend(12029), 0, 0},
        {InetOp::OpenRequest, 0, Behavior::Fail(12004), 0, 0},
        {InetOp::OpenRequest, 0, Behavior::Pend(12004), 0, 0},
        {InetOp::SendRequest, 0, Behavior::Fail(12030), 0, 0},
        {InetOp::SendRequest, 0, Behavior::Pend(12002), 0, 0},
        {InetOp::Read, 0, Behavior::Fail(12031), 500, 0},
        {InetOp::Read, 1, Behavior::Fail(12031), 500, 512},
        {InetOp::Read, 1, Behavior::Pend(12030), 500, 512},
    };
    for (const auto& c : cases) {
        Rig rig;
        ASSERT_TRUE(rig.engine.OpenSession(InternetAccess::Preconfigured));
        rig.inet.SetReply({500, 1300, Bytes(1300), 0});
        rig.inet.ScriptNth(c.op, c.index, c.behavior);
        ASSERT_TRUE(rig.RunPost("http://kx.example/cmd.asp"));

        const std::uint32_t error = c.behavior.error;
        EXPECT_EQ(rig.engine.Error(), error);
        EXPECT_EQ(rig.engine.StatusCode(), c.status) << error;
        EXPECT_EQ(rig.engine.ResponseBody(), Bytes(c.body_kept)) << error;
        EXPECT_EQ(rig.window.Count(WM_INET_DONE), 1u) << error;
        EXPECT_EQ(rig.inet.OpenHandleCount(), 1u) << error;
    }
}

TEST_F(HttpRequestEngineTest, ASecondRequestStartsWithNoStatusAndAnEmptyBody) {
    inet_.SetReply({200, 3, "abc", 0});
    ASSERT_TRUE(rig_.RunPost("http://kx.example/cmd.asp"));
    ASSERT_EQ(engine_.StatusCode(), 200u);

    inet_.Script(InetOp::Connect, Behavior::Fail(12029));
    ASSERT_TRUE(engine_.StartPost("http://kx.example/cmd.asp", "A=2"));
    ASSERT_TRUE(window_.WaitFor(WM_INET_DONE, kWait, 2));
    ASSERT_TRUE(engine_.WaitUntilIdle(kWait));
    EXPECT_EQ(engine_.StatusCode(), 0u);
    EXPECT_EQ(engine_.ResponseBody(), "");
    EXPECT_EQ(engine_.Error(), 12029u);
}

TEST_F(HttpRequestEngineTest, CancelDuringAPendingStepEndsWithoutDone) {
    for (const InetOp op :
         {InetOp::Connect, InetOp::OpenRequest, InetOp::SendRequest, InetOp::Read}) {
        Rig rig;
        ASSERT_TRUE(rig.engine.OpenSession(InternetAccess::Preconfigured));
        rig.inet.Script(op, Behavior::PendUntilReleased());
        ASSERT_TRUE(rig.engine.StartPost("http://kx.example/cmd.asp", "A=1"));
        ASSERT_TRUE(rig.inet.WaitUntilHeld(kWait));

        const auto start = std::chrono::steady_clock::now();
        rig.engine.Cancel();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
        EXPECT_TRUE(rig.engine.IsIdle());
        EXPECT_EQ(rig.engine.Error(), 0u);
        EXPECT_EQ(rig.window.Count(WM_INET_DONE), 0u);
        EXPECT_EQ(rig.inet.OpenHandleCount(), 1u) << "the connection and request are closed";
        EXPECT_FALSE(rig.inet.ReleasePending()) << "closing dropped the pending operation";
    }
}

TEST_F(HttpRequestEngineTest, CancelGivesUpOnAHungWorkerAfterFiveSeconds) {
    // Two workers hung in a call at once, so that one slow wait covers both
    // ways the call can end afterwards.
    struct Case {
        InetOp op;
        std::size_t index;
        test::HangEnd end;
        std::size_t data_messages;
    } const cases[] = {
        {InetOp::Connect, 0, test::HangEnd::Fail, 0},
        {InetOp::Read, 1, test::HangEnd::Complete, 1},
    };
    std::vector<std::unique_ptr<Rig>> rigs;
    for (const auto& c : cases) {
        auto& rig = *rigs.emplace_back(std::make_unique<Rig>());
        ASSERT_TRUE(rig.engine.OpenSession(InternetAccess::Preconfigured));
        rig.inet.SetReply({200, 1300, Bytes(1300), 0});
        rig.inet.ScriptNth(c.op, c.index, Behavior::Hang());
        ASSERT_TRUE(rig.engine.StartPost("http://kx.example/cmd.asp", "A=1"));
        ASSERT_TRUE(rig.inet.WaitUntilHanging(kWait));
    }

    std::vector<std::thread> cancels;
    std::vector<std::chrono::steady_clock::duration> waited(rigs.size());
    for (std::size_t i = 0; i < rigs.size(); ++i) {
        cancels.emplace_back([&, i] {
            const auto start = std::chrono::steady_clock::now();
            rigs[i]->engine.Cancel();
            waited[i] = std::chrono::steady_clock::now() - start;
        });
    }
    for (auto& cancel : cancels) cancel.join();

    for (std::size_t i = 0; i < rigs.size(); ++i) {
        Rig& rig = *rigs[i];
        EXPECT_GE(waited[i], 4900ms);
        EXPECT_LT(waited[i], 6500ms);
        EXPECT_FALSE(rig.engine.IsIdle());

        // However the call finally ends, the request stays cancelled.
        rig.inet.ReleaseHangs(cases[i].end);
        ASSERT_TRUE(rig.engine.WaitUntilIdle(kWait));
        EXPECT_EQ(rig.engine.Error(), 0u);
        EXPECT_EQ(rig.window.Count(WM_INET_DONE), 0u);
        EXPECT_EQ(rig.window.Count(WM_INET_DATA), cases[i].data_messages);
        EXPECT_EQ(rig.inet.OpenHandleCount(), 1u);
    }
}

TEST_F(HttpRequestEngineTest, CancelOnANeverStartedEngineDoesNothing) {
    engine_.Cancel();
    EXPECT_TRUE(engine_.IsIdle());
    EXPECT_TRUE(window_.Messages().empty());
    inet_.SetReply({200, 2, "ok", 0});
    ASSERT_TRUE(rig_.RunPost("http://kx.example/cmd.asp"));
    EXPECT_EQ(engine_.ResponseBody(), "ok");
}

TEST_F(HttpRequestEngineTest, AStartWhileARequestRunsIsRefused) {
    inet_.Script(InetOp::Connect, Behavior::PendUntilReleased());
    ASSERT_TRUE(engine_.StartPost("http://kx.example/one", "A=1"));
    ASSERT_TRUE(inet_.WaitUntilHeld(kWait));
    EXPECT_FALSE(engine_.StartPost("http://kx.example/two", "A=2"));
    EXPECT_FALSE(engine_.StartDownload("http://kx.example/two", (dir_ / "f").string()));
    ASSERT_TRUE(inet_.ReleasePending());
    ASSERT_TRUE(window_.WaitFor(WM_INET_DONE, kWait));
    ASSERT_TRUE(engine_.WaitUntilIdle(kWait));
    EXPECT_EQ(inet_.Log().cracked_urls.size(), 1u);
    EXPECT_EQ(inet_.Log().open_requests[0].path, "/one");
}

TEST_F(HttpRequestEngineTest, EveryStatusNotificationIsPostedAndTraced) {
    inet_.SetStageStatuses(test::StageStatuses::On);
    for (const InetOp op :
         {InetOp::Connect, InetOp::OpenRequest, InetOp::SendRequest, InetOp::Read}) {
        inet_.Script(op, Behavior::Pend());
    }
    inet_.SetReply({200, 600, Bytes(600), 0});
    ASSERT_TRUE(rig_.RunPost("http://kx.example/cmd.asp"));

    const std::vector<std::uint32_t> delivered = inet_.Log().delivered_statuses;
    for (const std::uint32_t code : {20u, 21u, 30u, 31u, 40u, 41u, 50u, 51u, 60u, 100u}) {
        EXPECT_NE(std::find(delivered.begin(), delivered.end(), code), delivered.end()) << code;
    }
    std::vector<std::uintptr_t> posted;
    for (const auto& message : window_.MessagesOf(WM_INET_STATUS)) {
        EXPECT_EQ(message.lparam, 0);
        posted.push_back(message.wparam);
    }
    EXPECT_EQ(posted, std::vector<std::uintptr_t>(delivered.begin(), delivered.end()));
    EXPECT_EQ(debug_.CountOf("InetCallBack \n"), delivered.size());

    // Codes the engine does not act on are posted just the same; without the
    // engine as context nothing is posted.
    for (const std::uint32_t code : {10u, 11u, 70u, 110u, 200u, 4242u}) {
        inet_.CallBack(rig_.Context(), code, nullptr, 0);
        EXPECT_EQ(window_.Messages().back(), (PostedMessage{WM_INET_STATUS, code, 0}));
    }
    const std::size_t before = window_.Messages().size();
    inet_.CallBack(0, kInternetStatusRequestComplete, nullptr, 0);
    EXPECT_EQ(window_.Messages().size(), before);
    EXPECT_EQ(debug_.CountOf("InetCallBack \n"), delivered.size() + 7);
}

TEST_F(HttpRequestEngineTest, AsynchronouslyCreatedHandlesBecomeConnectionThenRequest) {
    inet_.Script(InetOp::Connect, Behavior::Pend());
    inet_.Script(InetOp::OpenRequest, Behavior::Pend());
    ASSERT_TRUE(rig_.RunPost("http://kx.example/cmd.asp"));

    const test::InetCallLog log = inet_.Log();
    const HInternet connection = log.connects[0].created;
    const HInternet request = log.open_requests[0].created;
    EXPECT_EQ(log.open_requests[0].connection, connection);
    EXPECT_EQ(log.sends[0].request, request);
    EXPECT_EQ(log.closed, (std::vector<HInternet>{request, connection}));
    EXPECT_EQ(engine_.Error(), 0u);
}

TEST_F(HttpRequestEngineTest, ACompletionWithoutItsOutcomeEndsAsAFailure) {
    inet_.Script(InetOp::Connect, Behavior::PendUntilReleased(test::Announce::Nothing));
    ASSERT_TRUE(engine_.StartPost("http://kx.example/cmd.asp", "A=1"));
    ASSERT_TRUE(inet_.WaitUntilHeld(kWait));

    const char short_result[2] = {};
    inet_.CallBack(rig_.Context(), kInternetStatusHandleCreated, nullptr, 0);
    inet_.CallBack(rig_.Context(), kInternetStatusHandleCreated, short_result, sizeof short_result);
    inet_.CallBack(rig_.Context(), kInternetStatusRequestComplete, nullptr, 0);
    ASSERT_TRUE(window_.WaitFor(WM_INET_DONE, kWait));
    ASSERT_TRUE(engine_.WaitUntilIdle(kWait));
    EXPECT_EQ(engine_.Error(), kErrorInternetInternalError);
    EXPECT_TRUE(inet_.Log().open_requests.empty());
}

TEST_F(HttpRequestEngineTest, AHandleAnnouncedAfterACancelIsNotTakenForTheNextConnection) {
    inet_.Script(InetOp::Connect, Behavior::PendUntilReleased(test::Announce::Nothing));
    ASSERT_TRUE(engine_.StartPost("http://kx.example/cmd.asp", "A=1"));
    ASSERT_TRUE(inet_.WaitUntilHeld(kWait));
    engine_.Cancel();
    const HInternet late = inet_.Log().connects[0].created;
    const InternetAsyncResult created{late, 0};
    inet_.CallBack(rig_.Context(), kInternetStatusHandleCreated, &created, sizeof created);

    inet_.Script(InetOp::Connect, Behavior::AtOnce());
    ASSERT_TRUE(rig_.RunPost("http://kx.example/cmd.asp"));
    const test::InetCallLog log = inet_.Log();
    const HInternet connection = log.connects[1].created;
    const HInternet request = log.open_requests[0].created;
    EXPECT_EQ(log.open_requests[0].connection, connection);
    EXPECT_EQ(log.closed, (std::vector<HInternet>{late, request, connection}));
    EXPECT_EQ(engine_.Error(), 0u);
}

TEST_F(HttpRequestEngineTest, DestroyingARunningEngineCancelsItsRequest) {
    test::ScriptedInetApi inet;
    test::RecordingNotifier window;
    inet.Script(InetOp::Read, Behavior::PendUntilReleased());
    {
        HttpRequestEngine engine(inet);
        engine.SetNotificationWindow(test::Unowned(window));
        ASSERT_TRUE(engine.OpenSession(InternetAccess::Direct));
        ASSERT_TRUE(engine.StartPost("http://kx.example/cmd.asp", "A=1"));
        ASSERT_TRUE(inet.WaitUntilHeld(kWait));
    }
    EXPECT_EQ(window.Count(WM_INET_DONE), 0u);
    EXPECT_EQ(inet.OpenHandleCount(), 0u);
}

TEST_F(HttpRequestEngineTest, WithoutAWindowTheOwnerWaitsForIdle) {
    engine_.SetNotificationWindow(nullptr);
    inet_.SetReply({302, std::nullopt, "moved", 0});
    inet_.Script(InetOp::SendRequest, Behavior::Pend());
    ASSERT_TRUE(engine_.StartPost("http://kx.example/cmd.asp", "A=1"));
    ASSERT_TRUE(engine_.WaitUntilIdle(kWait));
    EXPECT_EQ(engine_.StatusCode(), 302u);
    EXPECT_EQ(engine_.ResponseBody(), "moved");
    EXPECT_TRUE(window_.Messages().empty());
}

}  // namespace
}  // namespace kx
