// Requests to a host whose name lookup never answers, as behind a name server
// that swallows every query: cancelling or closing them must hand the caller
// its thread back, whatever the resolver does. The goal is about five
// seconds; the bound below only guards against a hang.

#include <dlfcn.h>
#include <netdb.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

#include "net/http_request_engine.h"
#include "platform/linux/curl_inet_api.h"
#include "support/recording_notifier.h"

namespace {

constexpr std::string_view kStalledSuffix = ".stalled.test";

// Lookups of stalled names wait here until the test lets them go.
class LookupGate {
public:
    void Hold() {
        std::unique_lock lock(mutex_);
        const unsigned entered = generation_;
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return generation_ != entered; });
        --waiting_;
    }

    // Lets every waiting lookup fail, so no resolver thread outlives the test.
    void ReleaseAll() {
        std::lock_guard lock(mutex_);
        ++generation_;
        changed_.notify_all();
    }

    bool WaitForCaller(std::chrono::seconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return waiting_ > 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned generation_ = 0;
    int waiting_ = 0;
};

LookupGate& Gate() {
    static LookupGate* const gate = new LookupGate;  // resolver threads may use it at exit
    return *gate;
}

bool IsStalled(const char* node) {
    if (node == nullptr) return false;
    const std::string_view name(node);
    return name.size() > kStalledSuffix.size() &&
           name.substr(name.size() - kStalledSuffix.size()) == kStalledSuffix;
}

}  // namespace

// Takes the place of the C library's lookup for this program: libcurl's
// resolver thread calls it, so stalled names stall there and nowhere else.
extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto next = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
    if (IsStalled(node)) {
        Gate().Hold();
        return EAI_AGAIN;
    }
    return next != nullptr ? next(node, service, hints, result) : EAI_FAIL;
}

namespace kx::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kHangGuard = 20s;
constexpr std::string_view kStalledHost = "service.stalled.test";

// Runs `step` on a thread of its own and tells how long it took, or nothing
// when it did not return within the guard; the lookups are then let go, so
// the step ends and the test with it.
std::optional<std::chrono::milliseconds> Timed(const std::function<void()>& step) {
    std::promise<void> returned;
    std::future<void> done = returned.get_future();
    const auto start = std::chrono::steady_clock::now();
    std::thread runner([&] {
        step();
        returned.set_value();
    });
    const bool in_time = done.wait_for(kHangGuard) == std::future_status::ready;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    if (!in_time) Gate().ReleaseAll();
    runner.join();
    if (!in_time) return std::nullopt;
    return took;
}

void Report(std::string_view what, std::chrono::milliseconds took) {
    std::printf("[ figure   ] %.*s returned after %lld ms (goal about 5000 ms)\n",
                static_cast<int>(what.size()), what.data(), static_cast<long long>(took.count()));
}

class StalledLookupTest : public ::testing::Test {
protected:
    void TearDown() override { Gate().ReleaseAll(); }
};

// The backend's handles, opened as the request engine opens them, with the
// request sent and its name lookup under way.
struct PendingRequest {
    PendingRequest() {
        session = inet->InternetOpen("stalled", kInternetOpenTypeDirect, kInternetFlagAsync);
        connection = inet->InternetConnect(session, kStalledHost, kInternetDefaultHttpsPort, "", "",
                                           kInternetServiceHttp, 0, 1);
        request = inet->HttpOpenRequest(connection, "POST", "/command", kInternetFlagSecure, 1);
        sent_pending = !inet->HttpSendRequest(request, "", "a=1") &&
                       inet->LastError() == kErrorIoPending;
    }

    std::unique_ptr<CurlInetApi> inet = std::make_unique<CurlInetApi>(CurlInetConfig{});
    HInternet session = 0;
    HInternet connection = 0;
    HInternet request = 0;
    bool sent_pending = false;
};

TEST_F(StalledLookupTest, ClosingAHandleWhoseRequestIsStillLookingUpItsNameReturns) {
    struct Case {
        const char* name;
        std::function<void(PendingRequest&)> close;
    };
    const Case cases[] = {
        {"the request", [](PendingRequest& p) { EXPECT_TRUE(p.inet->InternetCloseHandle(p.request)); }},
        {"the connection",
         [](PendingRequest& p) { EXPECT_TRUE(p.inet->InternetCloseHandle(p.connection)); }},
        {"the session", [](PendingRequest& p) { EXPECT_TRUE(p.inet->InternetCloseHandle(p.session)); }},
        {"the whole backend", [](PendingRequest& p) { p.inet.reset(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PendingRequest pending;
        ASSERT_TRUE(pending.sent_pending);
        ASSERT_TRUE(Gate().WaitForCaller(kHangGuard)) << "the name lookup never began";
        const auto took = Timed([&] { c.close(pending); });
        ASSERT_TRUE(took) << "closing " << c.name << " waited for the resolver";
        Report(std::string("closing ") + c.name, *took);
        if (pending.inet) {
            // Every handle went with the one closed, or goes now; none is left half-closed.
            EXPECT_FALSE(pending.inet->InternetCloseHandle(pending.request));
        }
        Gate().ReleaseAll();
    }
}

// The way the login and download dialogs let go of a request: Cancel from the
// button, Cancel again as the window closes, then the engine goes with the
// dialog.
TEST_F(StalledLookupTest, CancelAndCloseOfTheEngineReturnWhileTheNameIsLookedUp) {
    struct Case {
        const char* name;
        bool cancel_first;
    };
    const Case cases[] = {
        {"cancel, then close", true},
        {"close without a cancel", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingNotifier window;
        CurlInetApi inet{CurlInetConfig{}};
        auto engine = std::make_unique<HttpRequestEngine>(inet);
        engine->SetNotificationWindow(Unowned(window));
        ASSERT_TRUE(engine->OpenSession(InternetAccess::Direct));
        ASSERT_TRUE(engine->StartPost("https://" + std::string(kStalledHost) + "/command", "a=1"));
        ASSERT_TRUE(Gate().WaitForCaller(kHangGuard)) << "the name lookup never began";

        if (c.cancel_first) {
            const auto cancelled = Timed([&] { engine->Cancel(); });
            ASSERT_TRUE(cancelled) << "Cancel waited for the resolver";
            Report("Cancel", *cancelled);
            EXPECT_TRUE(engine->IsIdle()) << "Cancel came back while the worker still ran";
        }
        const auto closed = Timed([&] {
            engine->Cancel();
            engine->SetNotificationWindow(nullptr);
            engine.reset();
        });
        ASSERT_TRUE(closed) << "closing the engine waited for the resolver";
        Report(std::string(c.name) + ": closing", *closed);
        EXPECT_EQ(window.Count(WM_INET_DONE), 0u) << "a cancelled request still reported its end";
        Gate().ReleaseAll();
    }
}

}  // namespace
}  // namespace kx::test
