// Winsock's header goes before the system's others.
#include "one_request_server.h"

#include "platform/win32/win_browser.h"

#include <gtest/gtest.h>

#include <exdispid.h>
#include <ole2.h>

#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "browser_doubles.h"
#include "platform/win32/win_dialog_host.h"
#include "platform/win32/win_document.h"
#include "resources/console_template.h"
#include "resources/tip_template.h"

namespace kx {
namespace {

using test::CountedDispatch;
using test::Heard;
using test::HttpRequest;
using test::OneRequestServer;
using test::RecordingEvents;

TEST(WinPostData, HoldsExactlyTheBytesWrittenIntoIt) {
    const std::unique_ptr<PostData> data = MakeWinPostData(5);
    ASSERT_NE(data, nullptr);
    std::span<std::uint8_t> bytes;
    ASSERT_EQ(data->AccessData(bytes), S_OK);
    ASSERT_EQ(bytes.size(), 5u);
    std::memcpy(bytes.data(), "a\0\xFF=b", 5);
    data->UnaccessData();
    std::span<std::uint8_t> again;
    ASSERT_EQ(data->AccessData(again), S_OK);
    EXPECT_EQ(std::string(again.begin(), again.end()), std::string("a\0\xFF=b", 5));
    // Still locked when it goes: it unlocks itself first.
}

TEST(WinPostData, AnEmptyArrayIsAccessedAsNoBytes) {
    const std::unique_ptr<PostData> data = MakeWinPostData(0);
    ASSERT_NE(data, nullptr);
    std::span<std::uint8_t> bytes;
    EXPECT_EQ(data->AccessData(bytes), S_OK);
    EXPECT_TRUE(bytes.empty());
    data->UnaccessData();
    data->UnaccessData();  // one too many does nothing
}

// A placeholder as the dialog manager makes it, on the calling thread.
class Placeholder {
public:
    Placeholder()
        : window_(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 320, 200, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr)) {}
    ~Placeholder() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    Placeholder(const Placeholder&) = delete;
    Placeholder& operator=(const Placeholder&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

class OleThread : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override { OleUninitialize(); }
};

using WinBrowserCreation = OleThread;

TEST(WinBrowserCreationWithoutOle, FailsWithTheApartmentsResultAndMakesNothing) {
    HRESULT result = S_OK;
    bool made = true;
    std::thread bare([&] {
        Placeholder placeholder;
        std::unique_ptr<WinBrowser> browser;
        result = WinBrowser::Create(placeholder.get(), browser);
        made = browser != nullptr;
    });
    bare.join();
    EXPECT_EQ(result, CO_E_NOTINITIALIZED);
    EXPECT_FALSE(made);
}

TEST_F(WinBrowserCreation, AClassThatIsNotThereOrNoPlaceholderFailsClearly) {
    // A class id that nobody registers.
    constexpr CLSID kNowhere = {0x6b7a3c10, 0x1d2e, 0x4f00, {0x9a, 0x11, 0, 0, 0, 0, 0, 1}};
    Placeholder placeholder;
    std::unique_ptr<WinBrowser> browser;
    EXPECT_EQ(WinBrowser::Create(placeholder.get(), browser, kNowhere), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(browser, nullptr);
    EXPECT_EQ(WinBrowser::Create(nullptr, browser), E_INVALIDARG);
    HWND gone = nullptr;
    {
        Placeholder destroyed;
        gone = destroyed.get();
    }
    EXPECT_EQ(WinBrowser::Create(gone, browser), E_INVALIDARG);
    EXPECT_EQ(browser, nullptr);
}

// Wine here has no HTML engine: the control is either refused with a
// failure, or made and then unable to show a page. Neither may crash or hang.
TEST_F(WinBrowserCreation, TheSystemsControlIsMadeOrRefusedCleanly) {
    Placeholder placeholder;
    std::unique_ptr<WinBrowser> browser;
    const HRESULT result = WinBrowser::Create(placeholder.get(), browser);
    if (FAILED(result)) {
        EXPECT_EQ(browser, nullptr);
        GTEST_SKIP() << "the control is not made here: 0x" << std::hex
                     << static_cast<unsigned long>(result);
    }
    ASSERT_NE(browser, nullptr);
    EXPECT_NE(browser->Identity(), 0u);
    RecordingEvents events;
    EXPECT_EQ(browser->AdviseEvents(events), S_OK);
    EXPECT_TRUE(SUCCEEDED(browser->PutRegisterAsDropTarget(DropTarget::Refused)));
    const std::unique_ptr<PostData> post = browser->CreatePostData(3);
    ASSERT_NE(post, nullptr);
    browser->Navigate2("about:blank", kNavNoHistory | kNavNoWriteToCache, std::nullopt, *post,
                       "Content-Type: application/x-www-form-urlencoded\r\n");
    std::shared_ptr<Document> document;
    browser->GetDocument(document);
    browser->UnadviseEvents();
    browser.reset();
}

// A dialog that holds a browser item, run on a thread of its own.
template <typename Body>
void OnDialogThread(bool with_ole, Body body) {
    std::thread runner([&] {
        if (with_ole) OleInitialize(nullptr);
        body();
        if (with_ole) OleUninitialize();
    });
    runner.join();
}

struct BrowserProbe final : DialogHandler {
    int browser_id = 0;
    bool had_browser = false;
    void OnInitDialog(DialogHost& host) override {
        Browser* browser = host.GetBrowser(browser_id);
        had_browser = browser != nullptr;
        // As the console fits it to its client area.
        const PixelRect client = host.GetClientRect();
        host.MoveItem(browser_id, {0, 0, client.width(), client.height()});
        EXPECT_EQ(host.GetItemRect(browser_id), client);
        if (had_browser) {
            // The control's own window fills the item.
            HWND item = GetDlgItem(reinterpret_cast<HWND>(host.Window()), browser_id);
            RECT area{};
            GetWindowRect(GetWindow(item, GW_CHILD), &area);
            EXPECT_EQ(area.right - area.left, client.width());
            EXPECT_EQ(area.bottom - area.top, client.height());
        }
        host.EndDialog(3);
    }
    void OnCommand(int, int) override {}
    void OnTimer(unsigned) override {}
    void OnPosted(std::uint32_t, std::uintptr_t, std::intptr_t) override {}
    void OnDestroy() override {}
};

TEST(WinBrowserFactory, ADialogWhoseBrowserCannotBeMadeStillRuns) {
    std::vector<HRESULT> failures;
    int result = 0;
    BrowserProbe probe;
    probe.browser_id = console_control::kBrowser;
    OnDialogThread(false, [&] {
        WinWindowSystem windows(
            MakeWinBrowserFactory([&](HRESULT failure) { failures.push_back(failure); }));
        result = windows.RunModal(ConsoleTemplate(), probe, kNoWindow);
    });
    EXPECT_EQ(result, 3);
    EXPECT_FALSE(probe.had_browser);
    EXPECT_EQ(failures, std::vector<HRESULT>{CO_E_NOTINITIALIZED});
}

TEST(WinBrowserFactory, TheConsoleAndTheTipRunWithWhateverTheControlGives) {
    for (const DialogTemplate* dialog : {&ConsoleTemplate(), &TipTemplate()}) {
        SCOPED_TRACE(dialog->resource_id);
        std::vector<HRESULT> failures;
        int result = 0;
        BrowserProbe probe;
        probe.browser_id = dialog == &ConsoleTemplate() ? console_control::kBrowser
                                                        : tip_control::kBrowser;
        OnDialogThread(true, [&] {
            WinWindowSystem windows(
                MakeWinBrowserFactory([&](HRESULT failure) { failures.push_back(failure); }));
            result = windows.RunModal(*dialog, probe, kNoWindow);
        });
        EXPECT_EQ(result, 3);
        // Made, or refused with a failure the entry can trace.
        EXPECT_NE(probe.had_browser, failures.size() == 1);
        for (const HRESULT failure : failures) EXPECT_TRUE(FAILED(failure));
    }
}

// What the control itself reports of a navigation it is about to make:
// BeforeNavigate2's frame, post data and headers, as it passes them on.
struct ControlsOwnView {
    std::optional<std::u16string> target_frame;
    std::optional<std::string> post_data;
    std::optional<std::u16string> headers;
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

class NavigationWatcher final : public CountedDispatch {
public:
    std::vector<ControlsOwnView> seen;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object != nullptr && IsEqualIID(iid, DIID_DWebBrowserEvents2)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return CountedDispatch::QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params,
                                     VARIANT*, EXCEPINFO*, UINT*) override {
        if (member != DISPID_BEFORENAVIGATE2 || params == nullptr || params->cArgs != 7) {
            return S_OK;
        }
        ControlsOwnView view;
        if (const VARIANT* target = Value(params->rgvarg[3]); target && V_VT(target) == VT_BSTR) {
            view.target_frame = BstrText(V_BSTR(target));
        }
        if (const VARIANT* post = Value(params->rgvarg[2]);
            post && V_VT(post) == (VT_ARRAY | VT_UI1)) {
            void* data = nullptr;
            if (SUCCEEDED(SafeArrayAccessData(V_ARRAY(post), &data))) {
                LONG high = -1;
                SafeArrayGetUBound(V_ARRAY(post), 1, &high);
                view.post_data.emplace(static_cast<const char*>(data),
                                       static_cast<std::size_t>(high + 1));
                SafeArrayUnaccessData(V_ARRAY(post));
            }
        }
        if (const VARIANT* headers = Value(params->rgvarg[1]);
            headers && V_VT(headers) == VT_BSTR) {
            view.headers = BstrText(V_BSTR(headers));
        }
        seen.push_back(std::move(view));
        return S_OK;
    }

private:
    // The post data comes as a reference to a reference to the array.
    static const VARIANT* Value(const VARIANT& argument) {
        const VARIANT* value = &argument;
        for (int depth = 0; depth < 4 && value != nullptr && V_VT(value) == (VT_BYREF | VT_VARIANT);
             ++depth) {
            value = V_VARIANTREF(value);
        }
        return value;
    }
};

#pragma GCC diagnostic pop

// Pumps the thread's messages until `done`, for at most a few seconds so
// that a control that never answers fails the test instead of hanging it.
template <typename Done>
void PumpUntil(Done done) {
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (!done() && GetTickCount64() < deadline) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (!done()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

constexpr char kFormHeaders[] = "Content-Type: application/x-www-form-urlencoded\r\n";

// Form data with a zero and bytes above 0x7F, which no text conversion may touch.
std::string AwkwardPost() {
    constexpr char kBytes[] = "USERNAME=a+b%26c&X=\0\xE9\xFF\x80&Z=1";
    return std::string(kBytes, sizeof kBytes - 1);
}

std::unique_ptr<PostData> FilledPostData(Browser& browser, const std::string& bytes) {
    std::unique_ptr<PostData> post = browser.CreatePostData(bytes.size());
    if (!post) return nullptr;
    std::span<std::uint8_t> into;
    if (FAILED(post->AccessData(into)) || into.size() != bytes.size()) return nullptr;
    if (!bytes.empty()) std::memcpy(into.data(), bytes.data(), bytes.size());
    post->UnaccessData();
    return post;
}

// Wine's own control, where it is made: it navigates and reports, though
// it has no engine to show a page with.
class WinesControl : public OleThread {
protected:
    void SetUp() override {
        OleThread::SetUp();
        const HRESULT result = WinBrowser::Create(placeholder_.get(), browser_);
        if (FAILED(result)) GTEST_SKIP() << "the control is not made here";
    }
    void TearDown() override {
        browser_.reset();
        OleThread::TearDown();
    }

    Placeholder placeholder_;
    std::unique_ptr<WinBrowser> browser_;
};

TEST_F(WinesControl, ANavigationIsHeardWithTheBrowsersOwnIdentityUntilTheEventsAreLeft) {
    RecordingEvents events;
    ASSERT_EQ(browser_->AdviseEvents(events), S_OK);
    ASSERT_EQ(browser_->Navigate("about:blank"), S_OK);
    PumpUntil([&] { return !events.heard.empty(); });
    ASSERT_FALSE(events.heard.empty());
    EXPECT_EQ(events.heard.front(),
              (Heard{Heard::Kind::BeforeNavigate2, browser_->Identity(), u"about:blank"}));
    EXPECT_EQ(browser_->Identity(), ComIdentity(browser_->Control()));

    browser_->UnadviseEvents();
    const std::size_t before = events.heard.size();
    ASSERT_EQ(browser_->Navigate("about:blank"), S_OK);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    EXPECT_EQ(events.heard.size(), before);
}

TEST_F(WinesControl, TheControlReportsTheNavigationWithTheHeadersAndTheSizeOfThePost) {
    NavigationWatcher watcher;
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(ComPtr<IWebBrowser2>::Share(browser_->Control())
                  .Query(IID_IConnectionPointContainer, container),
              S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put()), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(static_cast<IDispatch*>(&watcher), &cookie), S_OK);

    const std::string bytes = AwkwardPost();
    const std::unique_ptr<PostData> post = FilledPostData(*browser_, bytes);
    ASSERT_NE(post, nullptr);
    ASSERT_EQ(browser_->Navigate2("http://127.0.0.1:9/ws_Console/tourlistframe.asp",
                                  kNavNoHistory | kNavNoWriteToCache, std::string_view("maintable"),
                                  *post, kFormHeaders),
              S_OK);
    PumpUntil([&] { return !watcher.seen.empty(); });
    point->Unadvise(cookie);

    ASSERT_FALSE(watcher.seen.empty());
    const ControlsOwnView& view = watcher.seen.front();
    // Wine's event carries an array of the right size but not its bytes;
    // the bytes are checked where they arrive, at a server.
    ASSERT_TRUE(view.post_data.has_value());
    EXPECT_EQ(view.post_data->size(), bytes.size());
    EXPECT_EQ(view.headers, u"Content-Type: application/x-www-form-urlencoded\r\n");
    // Wine's control has no frames and names none; the name is for a real
    // Windows to show.
    if (view.target_frame && !view.target_frame->empty()) {
        EXPECT_EQ(*view.target_frame, u"maintable");
    }
    EXPECT_EQ(watcher.References(), 1u);
}

TEST_F(WinesControl, APostReachesTheServerWithTheCoresExactBytesAndHeaders) {
    struct Case {
        const char* name;
        std::string post;
        std::optional<std::string_view> target;
        const char* expected_method;
    };
    const Case cases[] = {
        {"into the frame", AwkwardPost(), std::string_view("maintable"), "POST"},
        {"into the whole window", "USERNAME=player+one&USERID=42", std::nullopt, "POST"},
        {"with nothing to post", "", std::nullopt, "GET"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OneRequestServer server;
        ASSERT_NE(server.Port(), 0);
        const std::string url =
            "http://127.0.0.1:" + std::to_string(server.Port()) + "/ws_Console/tourlistframe.asp";
        const std::unique_ptr<PostData> post = FilledPostData(*browser_, c.post);
        ASSERT_NE(post, nullptr);
        ASSERT_EQ(browser_->Navigate2(url, kNavNoHistory | kNavNoWriteToCache, c.target, *post,
                                      kFormHeaders),
                  S_OK);
        PumpUntil([&] { return server.Done(); });
        ASSERT_TRUE(server.Done());
        const HttpRequest request = server.Request();
        EXPECT_EQ(request.method, c.expected_method);
        EXPECT_EQ(request.path, "/ws_Console/tourlistframe.asp");
        EXPECT_EQ(request.body, c.post);
        if (!c.post.empty()) {
            EXPECT_EQ(request.Header("content-type"), "application/x-www-form-urlencoded");
            EXPECT_EQ(request.Header("content-length"), std::to_string(c.post.size()));
        }
    }
}

TEST_F(WinesControl, APlainNavigationAsksForThePageWithNothingOfItsOwn) {
    OneRequestServer server;
    ASSERT_NE(server.Port(), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/tips/news.asp";
    ASSERT_EQ(browser_->Navigate(url), S_OK);
    PumpUntil([&] { return server.Done(); });
    ASSERT_TRUE(server.Done());
    const HttpRequest request = server.Request();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/tips/news.asp");
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(request.Header("content-type"), std::nullopt);
}

TEST_F(WinesControl, WithoutAPageThereIsNoDocumentAndThatIsNoFailure) {
    CountedDispatch earlier;
    std::shared_ptr<Document> document =
        std::make_shared<WinDocument>(ComPtr<IDispatch>::Share(&earlier));
    EXPECT_TRUE(SUCCEEDED(browser_->GetDocument(document)));
    EXPECT_EQ(document, nullptr);
}

TEST_F(WinesControl, FollowsItsPlaceholderWhateverSizeTheDialogGivesIt) {
    HWND control = GetWindow(placeholder_.get(), GW_CHILD);
    ASSERT_NE(control, nullptr);
    for (const SIZE size : {SIZE{320, 200}, SIZE{800, 545}, SIZE{395, 300}}) {
        MoveWindow(placeholder_.get(), 0, 0, size.cx, size.cy, TRUE);
        RECT area{};
        GetWindowRect(control, &area);
        EXPECT_EQ(area.right - area.left, size.cx);
        EXPECT_EQ(area.bottom - area.top, size.cy);
    }
}

}  // namespace
}  // namespace kx
