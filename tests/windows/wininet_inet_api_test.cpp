// The WinINet backend driven the way the request engine and the upload drive
// it, against the demo service the driver started. Sessions here go direct,
// past any proxy the driver put in front of the service for the engine.

#include "platform/win32/wininet_inet_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "demo_world.h"
#include "support/inet_exchange.h"

namespace kx {
namespace {

using namespace std::chrono_literals;
using test::DemoWorld;
using test::InetExchange;
using test::InetOutcome;
using test::InetTarget;

constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorInvalidParameter = 87;

const DemoWorld& World() { return *test::TheDemoWorld(); }

InetTarget To(std::string host, std::uint16_t port, bool secure, std::string path) {
    InetTarget target;
    target.host = std::move(host);
    target.port = port;
    target.secure = secure;
    target.path = std::move(path);
    return target;
}

InetTarget Plain(std::string path) {
    return To(World().host, World().http_port, false, std::move(path));
}

InetTarget Secure(std::string path) {
    return To(World().host, World().https_port, true, std::move(path));
}

class WinInetApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(test::TheDemoWorld(), nullptr) << "run through tests/windows/run_with_demo.py";
    }
};

TEST_F(WinInetApiTest, AsyncPostOverHttpsAnnouncesItsHandlesAndDeliversTheExactBody) {
    WinInetApi api;
    InetExchange exchange(api, kInternetFlagAsync, kInternetOpenTypeDirect);
    InetTarget post = Secure("/ws_console/command.asp");
    post.verb = "POST";
    post.headers = "content-type: application/x-www-form-urlencoded";
    post.body = "COMMAND=LOGIN&USERNAME=guest&PASSWORD=tansy&NOTE=%E9+%26";
    post.body += std::string("\x01\xff\0end", 6);

    ASSERT_TRUE(exchange.Open(post)) << api.LastError();
    const HInternet connection = exchange.connection();
    const HInternet request = exchange.request();
    InetOutcome out;
    ASSERT_TRUE(exchange.Send(post, &out)) << out.send_error;
    exchange.ReadAll(&out);

    EXPECT_EQ(out.read_error, 0u);
    EXPECT_EQ(out.status_code, 200u);
    EXPECT_NE(out.body.find("ERRORCODE=0"), std::string::npos) << out.body;
    EXPECT_LE(out.largest_read, 512u);

    // Each new handle is announced with itself as the result, and every
    // completion carries the caller's context.
    std::vector<std::uintptr_t> created;
    bool completed = false;
    for (const test::InetEvent& event : exchange.recorder().events()) {
        EXPECT_EQ(event.context, exchange.recorder().context());
        if (event.status == kInternetStatusHandleCreated) created.push_back(event.result);
        if (event.status == kInternetStatusRequestComplete) completed = true;
    }
    EXPECT_EQ(created, (std::vector<std::uintptr_t>{connection, request}));
    EXPECT_TRUE(completed);

    const auto requests = test::ReadRequestLog(World().request_log);
    ASSERT_FALSE(requests.empty());
    const test::LoggedRequest& logged = requests.back();
    EXPECT_EQ(logged.method, "POST");
    EXPECT_EQ(logged.target, "/ws_console/command.asp");
    EXPECT_TRUE(logged.body == post.body) << logged.body;
    EXPECT_EQ(logged.Header("Content-Length"), std::to_string(post.body.size()));
    EXPECT_EQ(logged.Header("User-Agent"), "KXCONSOLE");
}

TEST_F(WinInetApiTest, BodiesArriveWholeInReadsOfAtMost512Bytes) {
    struct Case {
        const char* path;
        std::size_t size;
        bool has_length;
        bool secure;
    };
    const Case cases[] = {
        {"/downloads/1300.bin", 1300, true, false},
        {"/downloads/0.bin", 0, true, false},
        {"/downloads/nolength/1300.bin", 1300, false, false},
        {"/downloads/chunked/5000.bin", 5000, false, true},
        {"/downloads/300k.bin", 300 * 1024, true, true},
    };
    for (const std::uint32_t flags : {kInternetFlagAsync, 0u}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.path) + (flags != 0 ? " async" : " sync"));
            WinInetApi api;
            InetExchange exchange(api, flags, kInternetOpenTypeDirect);
            const InetOutcome out = exchange.Run(c.secure ? Secure(c.path) : Plain(c.path));
            EXPECT_EQ(out.send_error, 0u);
            EXPECT_EQ(out.read_error, 0u);
            EXPECT_EQ(out.status_code, 200u);
            EXPECT_EQ(out.content_length, c.has_length ? c.size : 0xDEADBEEF);
            EXPECT_LE(out.largest_read, 512u);
            EXPECT_TRUE(out.body == test::DownloadPattern(c.size))
                << "body of " << out.body.size() << " bytes differs";
        }
    }
}

TEST_F(WinInetApiTest, FailuresBecomeWinInetErrors) {
    struct Case {
        const char* name;
        InetTarget target;
        std::uint32_t send_error;
        std::uint32_t status_code;
    };
    std::vector<Case> cases = {
        {"status 500", Plain("/downloads/100.bin"), 0, 500},
        {"unknown CA",
         To(World().untrusted_host, World().untrusted_https_port, true, "/downloads/10.bin"),
         test::UnknownCaError(), 0},
        {"unresolvable host", To("nowhere.invalid", World().http_port, false, "/"),
         kErrorInternetNameNotResolved, 0},
        {"nothing listening", To("127.0.0.1", 1, false, "/"), kErrorInternetCannotConnect, 0},
    };
    if (!World().other_host.empty()) {
        cases.push_back({"certificate for another name",
                         To(World().other_host, World().https_port, true, "/downloads/10.bin"),
                         kErrorInternetSecCertCnInvalid, 0});
    }
    ASSERT_TRUE(test::AddDemoFault(R"({"kind":"status","status":500,"path":"/downloads/100.bin","count":1})"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WinInetApi api;
        InetExchange exchange(api, kInternetFlagAsync, kInternetOpenTypeDirect);
        const InetOutcome out = exchange.Run(c.target);
        EXPECT_EQ(out.send_error, c.send_error);
        EXPECT_EQ(out.status_code, c.status_code);
    }
}

TEST_F(WinInetApiTest, ClosingDuringASlowTransferSilencesTheCallbackAtOnce) {
    ASSERT_TRUE(test::AddDemoFault(
        R"({"kind":"slow","path":"/downloads/20k.bin","delay":8,"trickle":true,"count":1})"));
    WinInetApi api;
    InetExchange exchange(api, kInternetFlagAsync, kInternetOpenTypeDirect);
    const InetTarget get = Plain("/downloads/20k.bin");
    ASSERT_TRUE(exchange.Open(get));
    InetOutcome out;
    ASSERT_TRUE(exchange.Send(get, &out)) << out.send_error;

    // Read until a read has to wait for the trickle.
    char buffer[512];
    std::uint32_t count = 0;
    std::size_t got = 0;
    bool pending = false;
    for (int i = 0; i < 100 && !pending; ++i) {
        count = 0;
        if (api.InternetReadFile(exchange.request(), buffer, sizeof buffer, &count)) {
            got += count;
            ASSERT_NE(count, 0u) << "the body ended although the service trickles";
        } else {
            ASSERT_EQ(api.LastError(), kErrorIoPending);
            pending = true;
        }
    }
    ASSERT_TRUE(pending);
    const std::size_t completions = exchange.recorder().completions();
    exchange.CloseRequest();
    const std::size_t events = exchange.recorder().events().size();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(exchange.recorder().events().size(), events);
    EXPECT_EQ(exchange.recorder().completions(), completions);
    EXPECT_LT(got, 20u * 1024);
}

TEST_F(WinInetApiTest, BadInputIsRefusedWithTheRightError) {
    WinInetApi api;
    InetExchange exchange(api, kInternetFlagAsync, kInternetOpenTypeDirect);
    ASSERT_TRUE(exchange.Open(Plain("/")));
    const HInternet session = exchange.session();
    const HInternet connection = exchange.connection();
    const HInternet request = exchange.request();
    char buffer[16];
    std::uint32_t count = 0;
    struct Case {
        const char* name;
        std::function<bool()> call;
        std::uint32_t error;
    };
    const Case cases[] = {
        {"NUL in the host name",
         [&] {
             return api.InternetConnect(session, std::string("a\0b", 3), 80, "", "",
                                        kInternetServiceHttp, 0, 1) != 0;
         },
         kErrorInvalidParameter},
        {"NUL in the path",
         [&] { return api.HttpOpenRequest(connection, "GET", std::string("/\0x", 3), 0, 1) != 0; },
         kErrorInvalidParameter},
        {"a request where a session belongs",
         [&] {
             return api.InternetConnect(request, "localhost", 80, "", "", kInternetServiceHttp, 0,
                                        1) != 0;
         },
         kErrorInternetIncorrectHandleType},
        {"a session where a connection belongs",
         [&] { return api.HttpOpenRequest(session, "GET", "/", 0, 1) != 0; },
         kErrorInternetIncorrectHandleType},
        {"a handle never opened",
         [&] { return api.HttpOpenRequest(0x7777, "GET", "/", 0, 1) != 0; }, kErrorInvalidHandle},
        {"no number to query into",
         [&] {
             return api.HttpQueryInfoNumber(request, kHttpQueryStatusCode, nullptr);
         },
         kErrorInvalidParameter},
        {"no count to read into",
         [&] { return api.InternetReadFile(request, buffer, sizeof buffer, nullptr); },
         kErrorInvalidParameter},
        {"no buffer to read into",
         [&] { return api.InternetReadFile(request, nullptr, 16, &count); },
         kErrorInvalidParameter},
        {"a callback on a handle never opened",
         [&] { return api.InternetSetStatusCallback(0x7777, &test::InetRecorder::Callback); },
         kErrorInvalidHandle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(api.LastError(), c.error);
    }
}

TEST_F(WinInetApiTest, CrackUrlSplitsWhatTheEngineSplits) {
    struct Case {
        std::string url;
        bool ok;
        UrlComponents expected;
    };
    const Case cases[] = {
        {"https://demo.kestrix.test/ws_Console/command.asp", true,
         {"https", "demo.kestrix.test", 443, "/ws_Console/command.asp"}},
        {"http://demo.kestrix.test:8080/a/b.asp?X=1&Y=2", true,
         {"http", "demo.kestrix.test", 8080, "/a/b.asp?X=1&Y=2"}},
        {"http://localhost", true, {"http", "localhost", 80, ""}},
        {"", false, {}},
        {"no scheme at all", false, {}},
        {std::string("http://a\0b/", 11), false, {}},
    };
    WinInetApi api;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        UrlComponents parts;
        ASSERT_EQ(api.InternetCrackUrl(c.url, &parts), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(parts.scheme, c.expected.scheme);
        EXPECT_EQ(parts.host, c.expected.host);
        EXPECT_EQ(parts.port, c.expected.port);
        EXPECT_EQ(parts.path, c.expected.path);
    }
    EXPECT_FALSE(api.InternetCrackUrl("http://x/", nullptr));
}

TEST_F(WinInetApiTest, SynchronousPutSendsTheAnnouncedBodyWholeIn1024ByteWrites) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1000}, std::size_t{2048},
                                   std::size_t{5000}}) {
        SCOPED_TRACE(size);
        WinInetApi api;
        const std::string body = test::DownloadPattern(size);
        const std::string path = "/GAMELOGS/" + std::to_string(7000 + size) + "_guest.txt";
        UniqueInternetHandle session(api, api.InternetOpen("HttpSendRequestEx",
                                                           kInternetOpenTypeDirect, 0));
        UniqueInternetHandle connection(
            api, api.InternetConnect(session.get(), World().host, World().http_port, "", "",
                                     kInternetServiceHttp, 0, 0));
        UniqueInternetHandle request(api, api.HttpOpenRequest(connection.get(), "PUT", path, 0, 0));
        ASSERT_TRUE(request) << api.LastError();
        ASSERT_TRUE(api.HttpSendRequestEx(request.get(), static_cast<std::uint32_t>(size)))
            << api.LastError();
        for (std::size_t at = 0; at < size; at += 1024) {
            const std::size_t chunk = std::min<std::size_t>(1024, size - at);
            std::uint32_t written = 0;
            ASSERT_TRUE(api.InternetWriteFile(request.get(), body.data() + at,
                                              static_cast<std::uint32_t>(chunk), &written))
                << api.LastError();
            EXPECT_EQ(written, chunk);
        }
        ASSERT_TRUE(api.HttpEndRequest(request.get())) << api.LastError();
        std::uint32_t status = 0;
        EXPECT_TRUE(api.HttpQueryInfoNumber(request.get(), kHttpQueryStatusCode, &status));
        EXPECT_TRUE(status == 200 || status == 201) << status;

        const auto requests = test::ReadRequestLog(World().request_log);
        const auto logged = std::find_if(requests.rbegin(), requests.rend(),
                                         [&](const auto& r) { return r.target == path; });
        ASSERT_NE(logged, requests.rend());
        EXPECT_EQ(logged->method, "PUT");
        EXPECT_TRUE(logged->complete);
        EXPECT_EQ(logged->Header("Content-Length"), std::to_string(size));
        EXPECT_TRUE(logged->body == body) << logged->body.size() << " bytes arrived";
    }
}

}  // namespace
}  // namespace kx
