// The request engine on the libcurl backend against the demo service, with a
// recording window standing in for the dialog that owns the engine.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "demo_suite.h"
#include "base/form_encoding.h"
#include "net/http_request_engine.h"
#include "base/key_value_store.h"
#include "net/reply.h"
#include "net/service_interface.h"
#include "support/recording_notifier.h"

namespace kx::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kReplyWait = 20s;

std::string Url(std::string_view scheme, std::string_view host, std::string_view path) {
    return std::string(scheme) + "://" + std::string(host) + std::string(path);
}

const std::string kLoginUrl = Url("http", test::kDemoHost, kCommandPath);

std::string GuestLogin() {
    return CommandBody("LOGIN").Add("USERNAME", "guest").Add("PASSWORD", "tansy").Text();
}

// What a dialog owns: the window first and the engine last, so the engine
// (and its worker) is gone before the backend and the window it posts to.
struct Owner {
    explicit Owner(std::unique_ptr<InetApi> api) : inet(std::move(api)), engine(*inet) {
        engine.SetNotificationWindow(Unowned(window));
        opened = engine.OpenSession(InternetAccess::Preconfigured);
    }

    // How a dialog knows a request has ended; the engine takes the next
    // start only once it is idle as well.
    bool AwaitDone(std::size_t count = 1) {
        return window.WaitFor(WM_INET_DONE, kReplyWait, count) && engine.WaitUntilIdle(5s);
    }

    std::vector<std::uintptr_t> Chunks() const {
        std::vector<std::uintptr_t> sizes;
        for (const PostedMessage& data : window.MessagesOf(WM_INET_DATA)) sizes.push_back(data.wparam);
        return sizes;
    }

    std::vector<std::uintptr_t> Stages() const {
        std::vector<std::uintptr_t> codes;
        for (const PostedMessage& status : window.MessagesOf(WM_INET_STATUS)) codes.push_back(status.wparam);
        return codes;
    }

    RecordingNotifier window;
    std::unique_ptr<InetApi> inet;
    HttpRequestEngine engine;
    bool opened = false;
};

// Every chunk announced as 1 to 512 bytes with the reply's length, all of them
// before the one WM_INET_DONE that ends the list, adding up to the body.
void ExpectWellFormedMessages(const Owner& owner, std::size_t body_size, std::intptr_t content_length) {
    const std::vector<PostedMessage> messages = owner.window.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), (PostedMessage{WM_INET_DONE, 0, 0}));
    EXPECT_EQ(owner.window.Count(WM_INET_DONE), 1u);
    std::size_t total = 0;
    for (const PostedMessage& data : owner.window.MessagesOf(WM_INET_DATA)) {
        EXPECT_GE(data.wparam, 1u);
        EXPECT_LE(data.wparam, 512u);
        EXPECT_EQ(data.lparam, content_length);
        total += data.wparam;
    }
    EXPECT_EQ(total, body_size);
    for (const PostedMessage& status : owner.window.MessagesOf(WM_INET_STATUS)) {
        EXPECT_EQ(status.lparam, 0);
    }
}

bool InOrder(const std::vector<std::uintptr_t>& seen, const std::vector<std::uintptr_t>& wanted) {
    auto next = seen.begin();
    for (const std::uintptr_t code : wanted) {
        next = std::find(next, seen.end(), code);
        if (next == seen.end()) return false;
        ++next;
    }
    return true;
}

ReplyVerdict Judge(const HttpRequestEngine& engine, KeyValueStore& reply) {
    return JudgeReply(engine.Error(), engine.StatusCode(), engine.ResponseBody(), reply);
}

class RequestEngineTest : public DemoSuite {
protected:
    // The demo host reachable on `port` (80 or 443) alone where the backend
    // can route ports; the other port leads nowhere, so a request that uses
    // it fails.
    static std::unique_ptr<InetApi> OnlyPort(std::uint16_t port) {
        SuiteInetOptions options;
        options.only_port = port;
        return MakeInet(options);
    }
};

TEST_F(RequestEngineTest, LoginOverHttpsArrivesByteExactAndIsAccepted) {
    // Any mix of letter cases means TLS on 443, and a written port is never used.
    for (const std::string& url : {Url("https", test::kDemoHost, kCommandPath),
                                  Url("HtTpS", std::string(test::kDemoHost) + ":80", kCommandPath)}) {
        SCOPED_TRACE(url);
        Owner owner(OnlyPort(443));
        ASSERT_TRUE(owner.opened);
        const std::size_t logged_before = RequestsFor(kCommandPath).size();
        const std::string form =
            CommandBody("LOGIN").Add("USERNAME", "Guest").Add("PASSWORD", "tansy").Text();

        ASSERT_TRUE(owner.engine.StartPost(url, form));
        ASSERT_TRUE(owner.AwaitDone());

        EXPECT_EQ(owner.engine.Error(), 0u);
        EXPECT_EQ(owner.engine.StatusCode(), 200u);
        KeyValueStore reply;
        EXPECT_EQ(Judge(owner.engine, reply).outcome, ReplyOutcome::Accepted) << owner.engine.ResponseBody();
        std::string user_id;
        EXPECT_TRUE(reply.Lookup("USERID", user_id));
        EXPECT_EQ(user_id, "1001");
        ExpectWellFormedMessages(owner, owner.engine.ResponseBody().size(),
                                 static_cast<std::intptr_t>(owner.engine.ResponseBody().size()));
        // A connection the backend kept alive from the request before is
        // not connected again.
        const std::vector<std::uintptr_t> stages = owner.Stages();
        const bool connected = std::find(stages.begin(), stages.end(), 20) != stages.end();
        EXPECT_TRUE(connected ? InOrder(stages, {20, 21, 30, 31, 40, 41}) : InOrder(stages, {30, 31, 40, 41}))
            << ::testing::PrintToString(stages);

        const auto logged = RequestsFor(kCommandPath);
        ASSERT_EQ(logged.size(), logged_before + 1);
        EXPECT_EQ(logged.back().method, "POST");
        EXPECT_EQ(logged.back().body, form);
        EXPECT_EQ(logged.back().Header("Content-Type"), "application/x-www-form-urlencoded");
        EXPECT_EQ(logged.back().Header("Content-Length"), std::to_string(form.size()));
    }
}

struct Exchange {
    bool download = false;
    std::string url;
};

Exchange Login() { return {false, kLoginUrl}; }
Exchange Download(std::string_view scheme, std::string_view path) {
    return {true, Url(scheme, test::kDemoHost, path)};
}

TEST_F(RequestEngineTest, RepliesReachTheOwnerInChunksOfAtMost512Bytes) {
    struct Case {
        const char* name;
        const char* fault;  // for the control page, or null
        Exchange exchange;
        std::uint32_t status;
        bool has_length;
        std::string body;                     // exact, or the first bytes when `body_size` is larger
        std::size_t body_size;
        std::vector<std::uintptr_t> chunks;   // empty: any split
        std::optional<ReplyOutcome> verdict;  // for a form POST
    };
    const std::string failure_text = "The tournament server could not answer this request.\r\n";
    const Case cases[] = {
        {"1300-byte reply", R"({"kind":"size","size":1300,"command":"LOGIN","count":1})", Login(), 200,
         true, "ERRORCODE=0\r\n", 1300, {512, 512, 276}, ReplyOutcome::Accepted},
        {"no Content-Length", nullptr, Download("http", "/downloads/nolength/1300.bin"), 200, false,
         Pattern(1300), 1300, {}, std::nullopt},
        {"chunked", nullptr, Download("http", "/downloads/chunked/5000.bin"), 200, false, Pattern(5000), 5000,
         {}, std::nullopt},
        {"empty body", R"({"kind":"empty","command":"LOGIN","count":1})", Login(), 200, true, "", 0, {},
         ReplyOutcome::UnexpectedReply},
        {"status 500", R"({"kind":"status","status":500,"command":"LOGIN","count":1})", Login(), 500, true,
         failure_text, failure_text.size(), {}, ReplyOutcome::TransportFailure},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fault != nullptr) {
            ASSERT_TRUE(service().AddFault(c.fault));
        }
        Owner owner(MakeInet());
        const auto file = scratch_ / "download.bin";
        ASSERT_TRUE(c.exchange.download ? owner.engine.StartDownload(c.exchange.url, file.string())
                                        : owner.engine.StartPost(c.exchange.url, GuestLogin()));
        ASSERT_TRUE(owner.AwaitDone());

        EXPECT_EQ(owner.engine.Error(), 0u);
        EXPECT_EQ(owner.engine.StatusCode(), c.status);
        const std::string body = c.exchange.download ? ReadFile(file) : owner.engine.ResponseBody();
        EXPECT_EQ(body.size(), c.body_size);
        EXPECT_TRUE(body.starts_with(c.body)) << body.substr(0, 200);
        if (c.exchange.download) {
            EXPECT_EQ(owner.engine.ResponseBody(), "");
        }
        ExpectWellFormedMessages(owner, c.body_size,
                                 c.has_length ? static_cast<std::intptr_t>(c.body_size) : 0);
        if (!c.chunks.empty()) {
            EXPECT_EQ(owner.Chunks(), c.chunks);
        }
        if (c.verdict) {
            KeyValueStore reply;
            EXPECT_EQ(Judge(owner.engine, reply).outcome, *c.verdict);
        }
    }
}

TEST_F(RequestEngineTest, FailuresEndWithDoneAnErrorAndWhatHadArrived) {
    struct Case {
        const char* name;
        const char* fault;
        Exchange exchange;
        bool trust_demo_ca;
        std::vector<std::uint32_t> errors;  // any of these
        std::uint32_t status;
        std::string kept;  // in memory, or in the file for a download
        const char* logged_target;  // what the service saw, or null for nothing
    };
    const std::string unknown_ca_url = Url("https", service().UnknownCaHost(), kCommandPath);
    const std::uint32_t unknown_ca_error = service().UnknownCaError();
    const Case cases[] = {
        {"unresolvable host", nullptr, {false, Url("http", kUnknownHost, kCommandPath)}, true,
         {kErrorInternetNameNotResolved}, 0, "", nullptr},
        {"nothing listening", nullptr, {false, Url("http", kClosedHost, kCommandPath)}, true,
         {kErrorInternetCannotConnect}, 0, "", nullptr},
        {"certificate of an unknown CA", nullptr, {false, unknown_ca_url}, false, {unknown_ca_error}, 0,
         "", nullptr},
        {"reset mid-body", R"({"kind":"reset","command":"LOGIN","after":10,"count":1})", Login(), true,
         {kErrorInternetConnectionReset, kErrorInternetConnectionAborted}, 200, "ERRORCODE=",
         "/ws_Console/command.asp"},
        {"reset mid-download", R"({"kind":"reset","path":"/downloads/64k.bin","after":3000,"count":1})",
         Download("http", "/downloads/64k.bin"), true,
         {kErrorInternetConnectionReset, kErrorInternetConnectionAborted}, 200, Pattern(3000),
         "/downloads/64k.bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fault != nullptr) {
            ASSERT_TRUE(service().AddFault(c.fault));
        }
        const std::size_t logged_before = service().Requests().size();
        SuiteInetOptions options;
        options.trust_demo_ca = c.trust_demo_ca;
        Owner owner(MakeInet(options));
        const auto file = scratch_ / "partial.bin";
        ASSERT_TRUE(c.exchange.download ? owner.engine.StartDownload(c.exchange.url, file.string())
                                        : owner.engine.StartPost(c.exchange.url, GuestLogin()));
        ASSERT_TRUE(owner.AwaitDone());

        EXPECT_TRUE(std::find(c.errors.begin(), c.errors.end(), owner.engine.Error()) != c.errors.end())
            << "error " << owner.engine.Error();
        EXPECT_EQ(owner.engine.StatusCode(), c.status);
        const std::string kept = c.exchange.download ? ReadFile(file) : owner.engine.ResponseBody();
        if (c.fault == nullptr || service().KeepsBytesBeforeAReset()) {
            EXPECT_EQ(kept, c.kept);
        } else {
            EXPECT_TRUE(c.kept.starts_with(kept)) << kept.size() << " bytes kept";
        }
        EXPECT_EQ(owner.window.Count(WM_INET_DONE), 1u);
        EXPECT_EQ(owner.window.Messages().back().message, WM_INET_DONE);

        const auto logged = service().Requests();
        ASSERT_EQ(logged.size(), logged_before + (c.logged_target != nullptr ? 1 : 0));
        if (c.logged_target != nullptr) {
            EXPECT_EQ(logged.back().target, c.logged_target);
        }
    }
}

TEST_F(RequestEngineTest, ADownloadWhoseFileCannotBeCreatedSendsNothingAndStillEnds) {
    Owner owner(MakeInet());
    const std::size_t logged_before = service().Requests().size();
    ASSERT_TRUE(owner.engine.StartDownload(Url("http", test::kDemoHost, "/downloads/10.bin"),
                                           (scratch_ / "no-such-directory" / "file.bin").string()));
    ASSERT_TRUE(owner.AwaitDone());
    EXPECT_EQ(owner.engine.Error(), 0u);
    EXPECT_EQ(owner.engine.StatusCode(), 0u);
    EXPECT_EQ(owner.window.Messages(), (std::vector<PostedMessage>{{WM_INET_DONE, 0, 0}}));
    EXPECT_EQ(service().Requests().size(), logged_before);
}

TEST_F(RequestEngineTest, DownloadsGoToTheFileOverTheSchemesOwnPort) {
    constexpr std::size_t kSize = 100 * 1024;
    // The TLS listener speaks nothing else, so arriving there means TLS.
    for (const bool secure : {false, true}) {
        const std::string scheme = secure ? "https" : "http";
        SCOPED_TRACE(scheme);
        Owner owner(OnlyPort(secure ? 443 : 80));
        const auto file = scratch_ / (scheme + ".bin");
        const std::size_t logged_before = RequestsFor("/downloads/100k.bin").size();
        ASSERT_TRUE(owner.engine.StartDownload(Download(scheme, "/downloads/100k.bin").url, file.string()));
        ASSERT_TRUE(owner.AwaitDone());

        EXPECT_EQ(owner.engine.Error(), 0u);
        EXPECT_EQ(owner.engine.StatusCode(), 200u);
        EXPECT_TRUE(ReadFile(file) == Pattern(kSize)) << "the file differs from what was served";
        ExpectWellFormedMessages(owner, kSize, static_cast<std::intptr_t>(kSize));

        const auto logged = RequestsFor("/downloads/100k.bin");
        ASSERT_EQ(logged.size(), logged_before + 1);
        EXPECT_EQ(logged.back().method, "GET");
        EXPECT_EQ(logged.back().body, "");
    }
}

// Bodies far beyond what the backend keeps ahead of the reader, so that the
// transfer pauses and resumes many times and the reader often waits for the
// next piece: every byte arrives once, in order, and the end comes only at the end.
TEST_F(RequestEngineTest, LargeDownloadsArriveWholeAcrossEveryPauseOfTheTransfer) {
    struct Case {
        const char* path;
        std::size_t size;
    };
    const Case cases[] = {
        {"/downloads/3m.bin", 3u * 1024 * 1024},
        {"/downloads/8m.bin", 8u * 1024 * 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Owner owner(OnlyPort(80));
        const auto file = scratch_ / "large.bin";
        ASSERT_TRUE(owner.engine.StartDownload(Download("http", c.path).url, file.string()));
        ASSERT_TRUE(owner.AwaitDone());
        EXPECT_EQ(owner.engine.Error(), 0u);
        EXPECT_TRUE(ReadFile(file) == Pattern(c.size)) << "the file differs from what was served";
        ExpectWellFormedMessages(owner, c.size, static_cast<std::intptr_t>(c.size));
    }
}

TEST_F(RequestEngineTest, EachRequestStartsWithNoStatusAndNoBody) {
    Owner owner(MakeInet());
    ASSERT_TRUE(owner.engine.StartPost(kLoginUrl, GuestLogin()));
    ASSERT_TRUE(owner.AwaitDone(1));
    ASSERT_EQ(owner.engine.StatusCode(), 200u);
    ASSERT_NE(owner.engine.ResponseBody(), "");

    // Fails before any reply: nothing of the first reply may show through.
    ASSERT_TRUE(owner.engine.StartPost(Url("http", kUnknownHost, kCommandPath), GuestLogin()));
    ASSERT_TRUE(owner.AwaitDone(2));
    EXPECT_EQ(owner.engine.StatusCode(), 0u);
    EXPECT_EQ(owner.engine.ResponseBody(), "");
    EXPECT_EQ(owner.engine.Error(), kErrorInternetNameNotResolved);

    ASSERT_TRUE(owner.engine.StartPost(kLoginUrl, GuestLogin()));
    ASSERT_TRUE(owner.AwaitDone(3));
    EXPECT_EQ(owner.engine.Error(), 0u);
    EXPECT_EQ(owner.engine.StatusCode(), 200u);
    KeyValueStore reply;
    EXPECT_EQ(Judge(owner.engine, reply).outcome, ReplyOutcome::Accepted) << owner.engine.ResponseBody();
}

TEST_F(RequestEngineTest, CancelEndsTheRequestSilentlyAndTheEngineServesTheNext) {
    struct Case {
        const char* name;
        const char* fault;
        Exchange exchange;
        std::uint32_t cancel_after;  // the message whose first arrival triggers the cancel
        std::uintptr_t cancel_after_wparam;  // for WM_INET_STATUS: which stage
    };
    // The trickled body is large enough to fill a read long before its end,
    // as a backend may hand over only whole buffers.
    const Case cases[] = {
        {"while the body trickles in",
         R"({"kind":"slow","delay":20,"trickle":true,"path":"/downloads/20k.bin","count":1})",
         Download("http", "/downloads/20k.bin"), WM_INET_DATA, 0},
        {"while waiting for the reply", R"({"kind":"slow","delay":20,"command":"LOGIN","count":1})",
         Login(), WM_INET_STATUS, 31},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(service().AddFault(c.fault));
        Owner owner(MakeInet());
        const auto file = scratch_ / "cancelled.bin";
        ASSERT_TRUE(c.exchange.download ? owner.engine.StartDownload(c.exchange.url, file.string())
                                        : owner.engine.StartPost(c.exchange.url, GuestLogin()));
        const auto deadline = std::chrono::steady_clock::now() + kReplyWait;
        auto arrived = [&] {
            for (const PostedMessage& m : owner.window.MessagesOf(c.cancel_after)) {
                if (c.cancel_after != WM_INET_STATUS || m.wparam == c.cancel_after_wparam) return true;
            }
            return false;
        };
        while (!arrived() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(arrived());
        ASSERT_FALSE(owner.engine.IsIdle());

        const auto start = std::chrono::steady_clock::now();
        owner.engine.Cancel();
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, 5s);
        EXPECT_TRUE(owner.engine.IsIdle()) << "Cancel came back while the worker still ran";
        EXPECT_EQ(owner.engine.Error(), 0u);

        const std::size_t data_seen = owner.window.Count(WM_INET_DATA);
        std::this_thread::sleep_for(700ms);
        EXPECT_EQ(owner.window.Count(WM_INET_DONE), 0u);
        EXPECT_EQ(owner.window.Count(WM_INET_DATA), data_seen);

        ASSERT_TRUE(owner.engine.StartPost(kLoginUrl, GuestLogin()));
        ASSERT_TRUE(owner.AwaitDone());
        EXPECT_EQ(owner.engine.Error(), 0u);
        KeyValueStore reply;
        EXPECT_EQ(Judge(owner.engine, reply).outcome, ReplyOutcome::Accepted) << owner.engine.ResponseBody();
    }
}

}  // namespace
}  // namespace kx::test
