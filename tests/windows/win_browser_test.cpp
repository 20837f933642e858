#include "platform/win32/win_browser.h"

#include <gtest/gtest.h>

#include <exdispid.h>
#include <ole2.h>

#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "com_doubles.h"
#include "platform/win32/win_dialog_host.h"
#include "resources/console_template.h"
#include "resources/tip_template.h"

namespace kx {
namespace {

using test::CountedDispatch;

struct Heard {
    enum class Kind { BeforeNavigate2, DocumentComplete } kind;
    BrowserIdentity frame;
    std::u16string url;
    bool operator==(const Heard&) const = default;
};

struct RecordingEvents final : BrowserEvents {
    std::vector<Heard> heard;
    void BeforeNavigate2(BrowserIdentity frame, std::u16string_view url) override {
        heard.push_back({Heard::Kind::BeforeNavigate2, frame, std::u16string(url)});
    }
    void DocumentComplete(BrowserIdentity frame, std::u16string_view url) override {
        heard.push_back({Heard::Kind::DocumentComplete, frame, std::u16string(url)});
    }
};

// The arguments of one event as the control passes them: last first.
class EventArguments {
public:
    explicit EventArguments(std::size_t count) : arguments_(count) {
        for (VARIANT& argument : arguments_) VariantInit(&argument);
    }
    ~EventArguments() {
        for (VARIANT& argument : arguments_) VariantClear(&argument);
        VariantClear(&url_);
    }
    EventArguments(const EventArguments&) = delete;
    EventArguments& operator=(const EventArguments&) = delete;

    // The argument at `position` in the event's own order, from 0.
    VARIANT& At(std::size_t position) { return arguments_[arguments_.size() - 1 - position]; }

    void Frame(IDispatch* frame) {
        V_VT(&At(0)) = VT_DISPATCH;
        V_DISPATCH(&At(0)) = frame;
        if (frame != nullptr) frame->AddRef();
    }
    // The URL as the control passes it, a reference to a VARIANT.
    void Url(const wchar_t* url) {
        V_VT(&url_) = VT_BSTR;
        V_BSTR(&url_) = SysAllocString(url);
        V_VT(&At(1)) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&At(1)) = &url_;
    }
    DISPPARAMS* Params() {
        params_.rgvarg = arguments_.data();
        params_.cArgs = static_cast<UINT>(arguments_.size());
        return &params_;
    }

private:
    std::vector<VARIANT> arguments_;
    VARIANT url_{};
    DISPPARAMS params_{};
};

HRESULT Fire(IDispatch& sink, DISPID member, DISPPARAMS* params) {
    return sink.Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr,
                       nullptr, nullptr);
}

TEST(WinBrowserEventSink, TheTwoEventsReachTheCoreWithTheFramesIdentityAndItsUrl) {
    CountedDispatch top;
    CountedDispatch frame;
    RecordingEvents events;
    const ComPtr<WinBrowserEventSink> sink = WinBrowserEventSink::Make(events);

    EventArguments before(7);
    before.Frame(&top);
    before.Url(L"http://host/ws_Console/tournamentconsole.asp");
    VARIANT_BOOL cancel = VARIANT_FALSE;
    V_VT(&before.At(6)) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&before.At(6)) = &cancel;
    EXPECT_EQ(Fire(*sink.get(), DISPID_BEFORENAVIGATE2, before.Params()), S_OK);

    EventArguments complete(2);
    complete.Frame(&frame);
    complete.Url(L"http://host/ws_Console/tourlistframe.asp");
    EXPECT_EQ(Fire(*sink.get(), DISPID_DOCUMENTCOMPLETE, complete.Params()), S_OK);

    const std::vector<Heard> expected = {
        {Heard::Kind::BeforeNavigate2, ComIdentity(&top),
         u"http://host/ws_Console/tournamentconsole.asp"},
        {Heard::Kind::DocumentComplete, ComIdentity(&frame),
         u"http://host/ws_Console/tourlistframe.asp"},
    };
    EXPECT_EQ(events.heard, expected);
    EXPECT_NE(ComIdentity(&top), ComIdentity(&frame));
    EXPECT_EQ(ComIdentity(&top), reinterpret_cast<BrowserIdentity>(static_cast<IUnknown*>(&top)));
    // Navigation is never cancelled, and the sink keeps no reference.
    EXPECT_EQ(cancel, VARIANT_FALSE);
    EXPECT_EQ(top.References(), 2u);  // the one the arguments hold
}

TEST(WinBrowserEventSink, ACallThatIsNotTheEventsShapeIsRefusedAndReachesNobody) {
    CountedDispatch frame;
    struct Case {
        const char* name;
        DISPID member;
        std::size_t count;
        void (*shape)(EventArguments&, IDispatch*);
        HRESULT expected;
    };
    const Case cases[] = {
        {"too few arguments", DISPID_DOCUMENTCOMPLETE, 1,
         [](EventArguments& a, IDispatch* f) {
             V_VT(&a.At(0)) = VT_DISPATCH;
             V_DISPATCH(&a.At(0)) = f;
             f->AddRef();
         },
         DISP_E_BADPARAMCOUNT},
        {"DocumentComplete with BeforeNavigate2's count", DISPID_DOCUMENTCOMPLETE, 7,
         [](EventArguments& a, IDispatch* f) {
             a.Frame(f);
             a.Url(L"http://host/");
         },
         DISP_E_BADPARAMCOUNT},
        {"no frame object", DISPID_DOCUMENTCOMPLETE, 2,
         [](EventArguments& a, IDispatch*) { a.Url(L"http://host/"); }, DISP_E_TYPEMISMATCH},
        {"a null frame", DISPID_BEFORENAVIGATE2, 7,
         [](EventArguments& a, IDispatch*) {
             a.Frame(nullptr);
             a.Url(L"http://host/");
         },
         DISP_E_TYPEMISMATCH},
        {"a URL that is a number", DISPID_DOCUMENTCOMPLETE, 2,
         [](EventArguments& a, IDispatch* f) {
             a.Frame(f);
             V_VT(&a.At(1)) = VT_I4;
             V_I4(&a.At(1)) = 7;
         },
         DISP_E_TYPEMISMATCH},
        {"a URL reference to nothing", DISPID_DOCUMENTCOMPLETE, 2,
         [](EventArguments& a, IDispatch* f) {
             a.Frame(f);
             V_VT(&a.At(1)) = VT_BYREF | VT_VARIANT;
             V_VARIANTREF(&a.At(1)) = nullptr;
         },
         DISP_E_TYPEMISMATCH},
        {"another event of the interface", DISPID_NAVIGATECOMPLETE2, 2,
         [](EventArguments& a, IDispatch* f) {
             a.Frame(f);
             a.Url(L"http://host/");
         },
         S_OK},
    };
    RecordingEvents events;
    const ComPtr<WinBrowserEventSink> sink = WinBrowserEventSink::Make(events);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            EventArguments arguments(c.count);
            c.shape(arguments, &frame);
            EXPECT_EQ(Fire(*sink.get(), c.member, arguments.Params()), c.expected);
        }
        EXPECT_TRUE(events.heard.empty());
        EXPECT_EQ(frame.References(), 1u);
    }
    EXPECT_EQ(Fire(*sink.get(), DISPID_DOCUMENTCOMPLETE, nullptr), DISP_E_BADPARAMCOUNT);
    DISPPARAMS nothing{nullptr, nullptr, 2, 0};
    EXPECT_EQ(Fire(*sink.get(), DISPID_DOCUMENTCOMPLETE, &nothing), DISP_E_BADPARAMCOUNT);
    EXPECT_TRUE(events.heard.empty());
}

TEST(WinBrowserEventSink, ADisconnectedSinkTellsNobodyAndAnotherListenerCanTakeOver) {
    CountedDispatch top;
    RecordingEvents first;
    RecordingEvents second;
    const ComPtr<WinBrowserEventSink> sink = WinBrowserEventSink::Make(first);
    EventArguments complete(2);
    complete.Frame(&top);
    complete.Url(L"http://host/a");

    sink->Disconnect();
    EXPECT_EQ(Fire(*sink.get(), DISPID_DOCUMENTCOMPLETE, complete.Params()), S_OK);
    sink->SetEvents(second);
    EXPECT_EQ(Fire(*sink.get(), DISPID_DOCUMENTCOMPLETE, complete.Params()), S_OK);
    EXPECT_TRUE(first.heard.empty());
    EXPECT_EQ(second.heard.size(), 1u);
}

TEST(WinBrowserEventSink, AnswersForItsEventInterfaceAndNoOther) {
    RecordingEvents events;
    const ComPtr<WinBrowserEventSink> sink = WinBrowserEventSink::Make(events);
    for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &DIID_DWebBrowserEvents2}) {
        ComPtr<IUnknown> answer;
        EXPECT_EQ(sink.Query(*iid, answer), S_OK);
        EXPECT_EQ(ComIdentity(answer.get()), ComIdentity(sink.get()));
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(sink.Query(IID_IWebBrowser2, none), E_NOINTERFACE);
    EXPECT_FALSE(none);
}

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

}  // namespace
}  // namespace kx
