#include "platform/win32/win_browser.h"

#include <gtest/gtest.h>

#include <exdispid.h>

#include <string>
#include <vector>

#include "browser_doubles.h"

namespace kx {
namespace {

using test::CountedDispatch;
using test::Heard;
using test::RecordingEvents;

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
}  // namespace
}  // namespace kx
