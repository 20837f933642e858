// The libcurl backend driven the way the request engine and the upload drive
// it, against the demo service over loopback.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "support/demo_peer.h"
#include "support/inet_exchange.h"
#include "platform/linux/curl_inet_api.h"

namespace kx {
namespace {

using namespace std::chrono_literals;
using test::CannedServer;
using test::DemoService;
using test::kDemoHost;

using Event = test::InetEvent;
using Outcome = test::InetOutcome;
using Target = test::InetTarget;

// The api first, so it outlives the exchange that closes its handles.
class CurlApiHolder {
protected:
    explicit CurlApiHolder(CurlInetConfig config) : curl_(std::move(config)) {}
    CurlInetApi curl_;
};

// The shared exchange on a libcurl api of its own.
class Client : private CurlApiHolder, public test::InetExchange {
public:
    explicit Client(CurlInetConfig config, std::uint32_t flags = kInternetFlagAsync,
                    std::uint32_t access = kInternetOpenTypePreconfig)
        : CurlApiHolder(std::move(config)), InetExchange(curl_, flags, access) {}
};

Target Get(const char* path) {
    Target target;
    target.host = std::string(kDemoHost);
    target.path = path;
    return target;
}

std::string Pattern(std::size_t size) { return test::DownloadPattern(size); }

class CurlInetApiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service_ = new DemoService(); }
    static void TearDownTestSuite() {
        delete service_;
        service_ = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(service_->running()) << "the demo service did not start"; }

    static CurlInetConfig Config() {
        CurlInetConfig config;
        config.ca_file = service_->ca_file();
        config.connect_to = service_->ConnectTo();
        config.connect_to.push_back("closed.kestrix.test:80:127.0.0.1:1");
        config.connect_to.push_back("plain.kestrix.test:443:127.0.0.1:" +
                                    std::to_string(service_->http_port()));
        // The demo service under names its certificate is not issued for.
        config.connect_to.push_back("other.kestrix.test:443:127.0.0.1:" +
                                    std::to_string(service_->https_port()));
        config.connect_to.push_back("other.kestrix.test:80:127.0.0.1:" +
                                    std::to_string(service_->http_port()));
        return config;
    }

    static DemoService* service_;
};

DemoService* CurlInetApiTest::service_ = nullptr;

TEST_F(CurlInetApiTest, AsyncPostOverHttpsDeliversTheExactBodyAndReportsEveryStage) {
    Client client(Config());
    Target post{std::string(kDemoHost), "POST", "/ws_console/command.asp", true,
                "content-type: application/x-www-form-urlencoded",
                "COMMAND=LOGIN&USERNAME=guest&PASSWORD=tansy&NOTE=%E9+%26"};
    post.body += std::string("\x01\xff\0end", 6);
    const Outcome out = client.Run(post);

    EXPECT_EQ(out.send_error, 0u);
    EXPECT_EQ(out.read_error, 0u);
    EXPECT_EQ(out.status_code, 200u);
    EXPECT_NE(out.body.find("ERRORCODE="), std::string::npos) << out.body;
    EXPECT_LE(out.largest_read, 512u);

    std::vector<std::uint32_t> stages;
    for (const Event& event : client.recorder().events()) {
        if (event.status >= 20 && event.status <= 41) stages.push_back(event.status);
        if (event.status == kInternetStatusRequestComplete) {
            stages.push_back(event.status);
            break;
        }
    }
    EXPECT_EQ(stages, (std::vector<std::uint32_t>{20, 21, 30, 31, 40, 41, 100}));

    const auto requests = service_->Requests();
    ASSERT_FALSE(requests.empty());
    const test::LoggedRequest& logged = requests.back();
    EXPECT_EQ(logged.method, "POST");
    EXPECT_EQ(logged.target, "/ws_console/command.asp");
    EXPECT_EQ(logged.body, post.body);
    EXPECT_EQ(logged.Header("Content-Length"), std::to_string(post.body.size()));
    EXPECT_EQ(logged.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(logged.Header("User-Agent"), "KXCONSOLE");
    EXPECT_EQ(logged.Header("Host"), std::string(kDemoHost));
    EXPECT_FALSE(logged.Header("Expect"));
}

TEST_F(CurlInetApiTest, BodiesArriveWholeInReadsOfAtMost512Bytes) {
    struct Case {
        const char* path;
        std::size_t size;
        bool has_length;
        std::chrono::milliseconds reader_late_by;
    };
    const Case cases[] = {
        {"/downloads/1300.bin", 1300, true, 0ms},
        {"/downloads/0.bin", 0, true, 0ms},
        {"/downloads/nolength/1300.bin", 1300, false, 0ms},
        {"/downloads/chunked/5000.bin", 5000, false, 0ms},
        // Far more than the backend buffers: the transfer pauses until the reader drains it.
        {"/downloads/3m.bin", 3 * 1024 * 1024, true, 300ms},
    };
    for (const std::uint32_t flags : {kInternetFlagAsync, 0u}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.path) + (flags != 0 ? " async" : " sync"));
            Client client(Config(), flags);
            const Target get = Get(c.path);
            Outcome out;
            ASSERT_TRUE(client.Open(get));
            ASSERT_TRUE(client.Send(get, &out)) << out.send_error;
            std::this_thread::sleep_for(c.reader_late_by);
            client.ReadAll(&out);
            EXPECT_EQ(out.read_error, 0u);
            EXPECT_EQ(out.status_code, 200u);
            EXPECT_EQ(out.content_length, c.has_length ? c.size : 0xDEADBEEF);
            EXPECT_LE(out.largest_read, 512u);
            EXPECT_TRUE(out.body == Pattern(c.size)) << "body of " << out.body.size() << " bytes differs";
        }
    }
}

TEST_F(CurlInetApiTest, FailuresBecomeWinInetErrors) {
    struct Case {
        const char* name;
        const char* fault;  // JSON for the control page, or null
        Target target;
        bool trust_demo_ca;
        std::uint32_t send_error;
        std::uint32_t status_code;
        std::vector<std::uint32_t> read_errors;  // any of these; empty for none
    };
    auto get = [](const char* path, bool secure = false, std::string host = std::string(kDemoHost)) {
        Target target;
        target.host = std::move(host);
        target.path = path;
        target.secure = secure;
        return target;
    };
    const Case cases[] = {
        {"status 500", R"({"kind":"status","status":500,"path":"/downloads/100.bin","count":1})",
         get("/downloads/100.bin"), true, 0, 500, {}},
        {"reset mid-body", R"({"kind":"reset","path":"/downloads/64k.bin","after":3000,"count":1})",
         get("/downloads/64k.bin"), true, 0, 200, {kErrorInternetConnectionReset, kErrorInternetConnectionAborted}},
        {"reset mid-body over TLS", R"({"kind":"reset","path":"/downloads/64k.bin","after":3000,"count":1})",
         get("/downloads/64k.bin", true), true, 0, 200,
         {kErrorInternetConnectionReset, kErrorInternetConnectionAborted}},
        {"connection dropped before any reply", R"({"kind":"drop","path":"/downloads/10.bin","count":1})",
         get("/downloads/10.bin"), true, kErrorInternetConnectionReset, 0, {}},
        {"unknown CA", nullptr, get("/downloads/10.bin", true), false, kErrorInternetInvalidCa, 0, {}},
        {"certificate for another name", nullptr, get("/downloads/10.bin", true, "other.kestrix.test"),
         true, kErrorInternetSecCertCnInvalid, 0, {}},
        {"another name and an unknown CA", nullptr,
         get("/downloads/10.bin", true, "other.kestrix.test"), false, kErrorInternetInvalidCa, 0, {}},
        {"plain HTTP on the TLS port", nullptr, get("/downloads/10.bin", true, "plain.kestrix.test"), true,
         kErrorInternetSecurityChannelError, 0, {}},
        {"unresolvable host", nullptr, get("/", false, "nowhere.invalid"), true,
         kErrorInternetNameNotResolved, 0, {}},
        {"nothing listening", nullptr, get("/", false, "closed.kestrix.test"), true,
         kErrorInternetCannotConnect, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fault != nullptr) {
            ASSERT_TRUE(service_->AddFault(c.fault));
        }
        CurlInetConfig config = Config();
        if (!c.trust_demo_ca) config.ca_file.clear();
        Client client(config);
        const Outcome out = client.Run(c.target);
        if (c.send_error == kErrorInternetConnectionReset) {
            EXPECT_TRUE(out.send_error == kErrorInternetConnectionReset ||
                        out.send_error == kErrorHttpInvalidServerResponse)
                << out.send_error;
        } else {
            EXPECT_EQ(out.send_error, c.send_error);
        }
        EXPECT_EQ(out.status_code, c.status_code);
        if (c.read_errors.empty()) {
            EXPECT_EQ(out.read_error, 0u);
        } else {
            EXPECT_NE(std::find(c.read_errors.begin(), c.read_errors.end(), out.read_error),
                      c.read_errors.end())
                << out.read_error;
            EXPECT_EQ(out.body, Pattern(3000));
        }
    }
}

TEST_F(CurlInetApiTest, RedirectsNeverDowngradeNorCarryABodyToAnotherHost) {
    struct Case {
        const char* name;
        const char* verb;
        bool secure;
        int status;
        const char* location;
        std::uint32_t send_error;
        const char* followed_verb;  // what reaches the target; null: nothing does
        const char* followed_host;
        bool body_followed;
    };
    const char* same = "/downloads/100.bin";
    const char* other = "http://other.kestrix.test/downloads/100.bin";
    const char* plain = "http://demo.kestrix.test/downloads/100.bin";
    const Case cases[] = {
        {"GET 301 same host", "GET", false, 301, same, 0, "GET", "demo.kestrix.test", false},
        {"GET 302 same host", "GET", false, 302, same, 0, "GET", "demo.kestrix.test", false},
        {"GET 303 same host", "GET", false, 303, same, 0, "GET", "demo.kestrix.test", false},
        {"GET 307 same host", "GET", false, 307, same, 0, "GET", "demo.kestrix.test", false},
        {"GET 308 same host", "GET", false, 308, same, 0, "GET", "demo.kestrix.test", false},
        {"GET 302 other host", "GET", false, 302, other, 0, "GET", "other.kestrix.test", false},
        {"GET 308 other host", "GET", false, 308, other, 0, "GET", "other.kestrix.test", false},
        {"POST 301 same host", "POST", false, 301, same, 0, "GET", "demo.kestrix.test", false},
        {"POST 302 same host", "POST", false, 302, same, 0, "GET", "demo.kestrix.test", false},
        {"POST 303 same host", "POST", false, 303, same, 0, "GET", "demo.kestrix.test", false},
        {"POST 307 same host", "POST", false, 307, same, 0, "POST", "demo.kestrix.test", true},
        {"POST 308 same host", "POST", false, 308, same, 0, "POST", "demo.kestrix.test", true},
        {"POST 307 same host over TLS", "POST", true, 307, same, 0, "POST", "demo.kestrix.test", true},
        {"POST 301 other host", "POST", false, 301, other, kErrorHttpRedirectFailed, nullptr, "", false},
        {"POST 302 other host", "POST", false, 302, other, kErrorHttpRedirectFailed, nullptr, "", false},
        {"POST 303 other host", "POST", false, 303, other, kErrorHttpRedirectFailed, nullptr, "", false},
        {"POST 307 other host", "POST", false, 307, other, kErrorHttpRedirectFailed, nullptr, "", false},
        {"POST 308 other host", "POST", false, 308, other, kErrorHttpRedirectFailed, nullptr, "", false},
        {"POST 307 to another port", "POST", false, 307, "http://demo.kestrix.test:81/downloads/100.bin",
         kErrorHttpRedirectFailed, nullptr, "", false},
        {"GET 302 HTTPS to HTTP", "GET", true, 302, plain, kErrorInternetHttpsToHttpOnRedir, nullptr, "", false},
        {"GET 301 HTTPS to HTTP", "GET", true, 301, plain, kErrorInternetHttpsToHttpOnRedir, nullptr, "", false},
        {"POST 307 HTTPS to HTTP", "POST", true, 307, plain, kErrorInternetHttpsToHttpOnRedir, nullptr, "",
         false},
        {"POST 308 HTTPS to HTTP", "POST", true, 308, plain, kErrorInternetHttpsToHttpOnRedir, nullptr, "",
         false},
    };
    const std::string secret = "USERNAME=demo&PASSWORD=secret";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string fault = std::string(R"({"kind":"status","path":"/downloads/10.bin","count":1,)") +
                                  "\"status\":" + std::to_string(c.status) + ",\"location\":\"" +
                                  c.location + "\"}";
        ASSERT_TRUE(service_->AddFault(fault));
        const std::size_t before = service_->Requests().size();
        Target target = Get("/downloads/10.bin");
        target.verb = c.verb;
        target.secure = c.secure;
        if (target.verb == "POST") {
            target.body = secret;
            target.headers = "Content-Type: application/x-www-form-urlencoded\r\n";
        }
        Client client(Config());
        const Outcome out = client.Run(target);
        EXPECT_EQ(out.send_error, c.send_error);
        const std::vector<test::LoggedRequest> all = service_->Requests();
        std::vector<test::LoggedRequest> followed;
        for (std::size_t i = before; i < all.size(); ++i) {
            if (all[i].target == "/downloads/100.bin") followed.push_back(all[i]);
        }
        if (c.followed_verb == nullptr) {
            EXPECT_TRUE(followed.empty());
            continue;
        }
        ASSERT_EQ(followed.size(), 1u);
        EXPECT_EQ(followed[0].method, c.followed_verb);
        EXPECT_EQ(followed[0].Header("Host").value_or("").substr(0, std::strlen(c.followed_host)),
                  c.followed_host);
        EXPECT_EQ(followed[0].body, c.body_followed ? secret : "");
    }
}

TEST(CurlInetApiRawTest, MalformedRepliesBecomeErrors) {
    struct Case {
        const char* name;
        std::string reply;
        std::uint32_t send_error;
        std::uint32_t read_error;
        std::string body;
    };
    const Case cases[] = {
        {"not HTTP", "garbage\r\n\r\n", kErrorHttpInvalidServerResponse, 0, ""},
        {"nothing at all", "", kErrorHttpInvalidServerResponse, 0, ""},
        {"status out of range", "HTTP/1.1 99999 Huh\r\n\r\n", kErrorHttpInvalidServerResponse, 0, ""},
        {"headers cut off", "HTTP/1.1 200 OK\r\nContent-Le", kErrorHttpInvalidServerResponse, 0, ""},
        {"header line without a colon", "HTTP/1.1 200 OK\r\nNo colon\r\nContent-Length: 2\r\n\r\nok",
         kErrorHttpInvalidServerResponse, 0, ""},
        {"unreadable length", "HTTP/1.1 200 OK\r\nContent-Length: zz\r\n\r\nabc",
         kErrorHttpInvalidServerResponse, 0, ""},
        {"body shorter than announced", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", 0,
         kErrorInternetConnectionAborted, "abc"},
        {"bad chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", 0,
         kErrorInternetConnectionAborted, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CannedServer server(c.reply);
        CurlInetConfig config;
        config.connect_to = {"raw.kestrix.test:80:127.0.0.1:" + std::to_string(server.port())};
        Client client(config);
        Target get = Get("/");
        get.host = "raw.kestrix.test";
        const Outcome out = client.Run(get);
        EXPECT_EQ(out.send_error, c.send_error);
        EXPECT_EQ(out.status_code, c.send_error == 0 ? 200u : 0u);
        EXPECT_EQ(out.read_error, c.read_error);
        EXPECT_EQ(out.body, c.body);
    }
}

TEST_F(CurlInetApiTest, ClosingDuringASlowTransferStopsAtOnceAndSilencesTheCallback) {
    struct Case {
        const char* name;
        const char* fault;
        bool reply_headers_first;  // else the close comes while the send is still pending
    };
    const Case cases[] = {
        {"read pending", R"({"kind":"slow","delay":20,"trickle":true,"path":"/downloads/20k.bin","count":1})", true},
        {"send pending", R"({"kind":"slow","delay":20,"path":"/downloads/20k.bin","count":1})", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(service_->AddFault(c.fault));
        Client client(Config());
        ASSERT_TRUE(client.Open(Get("/downloads/20k.bin")));
        ASSERT_FALSE(client.api().HttpSendRequest(client.request(), "", ""));
        ASSERT_EQ(client.api().LastError(), kErrorIoPending);
        char buffer[512];
        std::uint32_t count = 0;
        if (c.reply_headers_first) {
            ASSERT_EQ(client.recorder().WaitForCompletion(0), 0u);
            // Drain whatever has come, until a read has to wait.
            while (client.api().InternetReadFile(client.request(), buffer, sizeof buffer, &count)) {
                ASSERT_NE(count, 0u);
            }
            ASSERT_EQ(client.api().LastError(), kErrorIoPending);
        }
        std::this_thread::sleep_for(200ms);
        const std::size_t completions = client.recorder().completions();
        const auto start = std::chrono::steady_clock::now();
        client.CloseRequest();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
        const std::size_t events = client.recorder().events().size();
        std::memset(buffer, 0x5A, sizeof buffer);
        std::this_thread::sleep_for(600ms);
        EXPECT_EQ(client.recorder().events().size(), events);
        EXPECT_EQ(client.recorder().completions(), completions);
        EXPECT_TRUE(std::all_of(buffer, buffer + sizeof buffer, [](char b) { return b == 0x5A; }));
    }
}

TEST_F(CurlInetApiTest, PreconfiguredSessionsHonourTheProxyVariablesAndDirectOnesDoNot) {
    ::setenv("http_proxy", "http://127.0.0.1:1", 1);
    const std::uint32_t preconfigured =
        Client(Config(), kInternetFlagAsync, kInternetOpenTypePreconfig).Run(Get("/downloads/10.bin")).send_error;
    const std::uint32_t direct =
        Client(Config(), kInternetFlagAsync, kInternetOpenTypeDirect).Run(Get("/downloads/10.bin")).send_error;
    ::unsetenv("http_proxy");
    EXPECT_EQ(preconfigured, kErrorInternetCannotConnect);
    EXPECT_EQ(direct, 0u);
}

TEST_F(CurlInetApiTest, SynchronousPutSendsTheAnnouncedBodyWhole) {
    struct Case {
        std::uint32_t announced;
        std::uint32_t written;
        bool ends;
    };
    const Case cases[] = {{0, 0, true}, {1500, 1500, true}, {2048, 2048, true}, {2048, 1500, false}};
    int play_id = 7000;
    for (const Case& c : cases) {
        SCOPED_TRACE("PUT of " + std::to_string(c.written) + " of " + std::to_string(c.announced));
        CurlInetApi api(Config());
        UniqueInternetHandle session(api, api.InternetOpen("HttpSendRequestEx", kInternetOpenTypePreconfig, 0));
        UniqueInternetHandle connection(
            api, api.InternetConnect(session.get(), kDemoHost, 80, "", "", kInternetServiceHttp, 0, 0));
        const std::string name = "GAMELOGS/" + std::to_string(++play_id) + "_log tester.txt";
        UniqueInternetHandle request(api, api.HttpOpenRequest(connection.get(), "PUT", name, 0, 0));
        ASSERT_TRUE(request);
        ASSERT_TRUE(api.HttpSendRequestEx(request.get(), c.announced)) << api.LastError();
        const std::string file = Pattern(c.written);
        std::size_t offset = 0;
        for (;;) {  // chunks of 1024; a short one (or an empty one) ends the file
            const std::size_t chunk = std::min<std::size_t>(1024, file.size() - offset);
            std::uint32_t written = 0;
            ASSERT_TRUE(api.InternetWriteFile(request.get(), file.data() + offset,
                                              static_cast<std::uint32_t>(chunk), &written));
            ASSERT_EQ(written, chunk);
            offset += chunk;
            if (chunk < 1024) break;
        }
        EXPECT_EQ(api.HttpEndRequest(request.get()), c.ends);
        std::uint32_t status = 0;
        EXPECT_EQ(api.HttpQueryInfoNumber(request.get(), kHttpQueryFlagNumber | kHttpQueryStatusCode, &status),
                  c.ends);
        EXPECT_EQ(status, c.ends ? 201u : 0u);
        request.reset();

        std::optional<test::LoggedRequest> logged;
        for (int attempt = 0; attempt < 50 && !logged; ++attempt) {
            for (const auto& entry : service_->Requests()) {
                if (entry.target == "/" + std::string(name).replace(name.find(' '), 1, "%20")) logged = entry;
            }
            if (!logged) std::this_thread::sleep_for(50ms);
        }
        ASSERT_TRUE(logged);
        EXPECT_EQ(logged->method, "PUT");
        EXPECT_EQ(logged->Header("Content-Length"), std::to_string(c.announced));
        EXPECT_EQ(logged->complete, c.ends);
        EXPECT_TRUE(logged->body == file);
        for (const char* extra : {"Content-Type", "Expect", "Transfer-Encoding", "Accept"}) {
            EXPECT_FALSE(logged->Header(extra)) << extra;
        }
    }
}

TEST_F(CurlInetApiTest, PutToAHostThatCannotBeReachedFailsAtTheStart) {
    CurlInetApi api(Config());
    UniqueInternetHandle session(api, api.InternetOpen("HttpSendRequestEx", kInternetOpenTypePreconfig, 0));
    UniqueInternetHandle connection(
        api, api.InternetConnect(session.get(), "closed.kestrix.test", 80, "", "", kInternetServiceHttp, 0, 0));
    UniqueInternetHandle request(api, api.HttpOpenRequest(connection.get(), "PUT", "GAMELOGS/1_x.txt", 0, 0));
    EXPECT_FALSE(api.HttpSendRequestEx(request.get(), 10));
    EXPECT_EQ(api.LastError(), kErrorInternetCannotConnect);
}

}  // namespace
}  // namespace kx
