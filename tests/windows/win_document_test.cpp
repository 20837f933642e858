#include "platform/win32/win_document.h"

#include <gtest/gtest.h>

#include <mshtmdid.h>
#include <ocidl.h>
#include <olectl.h>

#include <map>
#include <vector>

#include "browser_doubles.h"

namespace kx {
namespace {

struct AnsweringEvents final : DocumentEvents {
    bool answer = true;
    int clicks = 0;
    bool OnClick() override {
        ++clicks;
        return answer;
    }
};

HRESULT Fire(IDispatch& sink, DISPID member, VARIANT* result) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return sink.Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result,
                       nullptr, nullptr);
}

TEST(WinClickSink, AnswersTheClickWithTheCoresAnswerAsAnEventResult) {
    struct Case {
        const char* name;
        DISPID member;
        bool connected;
        bool answer;
        int expected_clicks;
        VARTYPE expected_type;
        VARIANT_BOOL expected_value;
    };
    const Case cases[] = {
        {"a command click", DISPID_HTMLDOCUMENTEVENTS2_ONCLICK, true, true, 1, VT_BOOL, 1},
        {"a click the core refuses", DISPID_HTMLDOCUMENTEVENTS2_ONCLICK, true, false, 1, VT_BOOL,
         0},
        {"a double click is not a click", DISPID_HTMLDOCUMENTEVENTS2_ONDBLCLICK, true, true, 0,
         VT_EMPTY, 0},
        {"a key press", DISPID_HTMLDOCUMENTEVENTS2_ONKEYPRESS, true, false, 0, VT_EMPTY, 0},
        {"after the core let go", DISPID_HTMLDOCUMENTEVENTS2_ONCLICK, false, false, 0, VT_EMPTY,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AnsweringEvents events;
        events.answer = c.answer;
        const ComPtr<WinClickSink> sink = WinClickSink::Make(events);
        if (!c.connected) sink->Disconnect();
        UniqueVariant result;
        EXPECT_EQ(Fire(*sink.get(), c.member, result.put()), S_OK);
        EXPECT_EQ(events.clicks, c.expected_clicks);
        ASSERT_EQ(result.type(), c.expected_type);
        if (c.expected_type == VT_BOOL) {
            EXPECT_EQ(V_BOOL(&result.get()), c.expected_value);
        }
    }
}

TEST(WinClickSink, AClickWithNowhereToPutTheAnswerStillReachesTheCore) {
    AnsweringEvents events;
    const ComPtr<WinClickSink> sink = WinClickSink::Make(events);
    EXPECT_EQ(Fire(*sink.get(), DISPID_HTMLDOCUMENTEVENTS2_ONCLICK, nullptr), S_OK);
    EXPECT_EQ(events.clicks, 1);
}

TEST(WinClickSink, IsTheDocumentEventsDispatchInterface) {
    AnsweringEvents events;
    const ComPtr<WinClickSink> sink = WinClickSink::Make(events);
    for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &kDiidHtmlDocumentEvents2}) {
        ComPtr<IDispatch> answer;
        EXPECT_EQ(sink.Query(*iid, answer), S_OK);
        EXPECT_EQ(static_cast<IUnknown*>(answer.get()), static_cast<IUnknown*>(sink.get()));
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(sink.Query(IID_IHTMLDocument2, none), E_NOINTERFACE);
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// A document that is no HTML document but has the document events'
// connection point, as far as the click sink needs it. It holds what is
// advised as the browser does, by its dispatch interface.
class ConnectableDocument final : public test::CountedDispatch,
                                  public IConnectionPointContainer,
                                  public IConnectionPoint {
public:
    HRESULT advise_result = S_OK;
    DWORD next_cookie = 0x20;
    bool has_container = true;
    std::vector<DWORD> unadvised;

    ~ConnectableDocument() {
        for (auto& [cookie, sink] : sinks_) sink->Release();
    }

    // Every connection's answer to one click, in the order they were made.
    std::vector<std::optional<VARIANT_BOOL>> Click() {
        std::vector<std::optional<VARIANT_BOOL>> answers;
        for (auto& [cookie, sink] : sinks_) {
            UniqueVariant result;
            Fire(*sink, DISPID_HTMLDOCUMENTEVENTS2_ONCLICK, result.put());
            answers.push_back(result.type() == VT_BOOL
                                  ? std::optional<VARIANT_BOOL>(V_BOOL(&result.get()))
                                  : std::nullopt);
        }
        return answers;
    }
    std::size_t Connections() const { return sinks_.size(); }
    // A reference of the test's own to the sink of `cookie`.
    ComPtr<IDispatch> Sink(DWORD cookie) { return ComPtr<IDispatch>::Share(sinks_.at(cookie)); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (has_container && IsEqualIID(iid, IID_IConnectionPointContainer)) {
            *object = static_cast<IConnectionPointContainer*>(this);
            AddRef();
            return S_OK;
        }
        return test::CountedDispatch::QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return test::CountedDispatch::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return test::CountedDispatch::Release(); }

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        *point = nullptr;
        if (!IsEqualIID(iid, kDiidHtmlDocumentEvents2)) return CONNECT_E_NOCONNECTION;
        *point = this;
        AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        *iid = kDiidHtmlDocumentEvents2;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        *cookie = 0;
        if (FAILED(advise_result)) return advise_result;
        IDispatch* events = nullptr;
        if (FAILED(sink->QueryInterface(kDiidHtmlDocumentEvents2,
                                        reinterpret_cast<void**>(&events)))) {
            return CONNECT_E_CANNOTCONNECT;
        }
        *cookie = next_cookie++;
        sinks_[*cookie] = events;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        unadvised.push_back(cookie);
        const auto found = sinks_.find(cookie);
        if (found == sinks_.end()) return CONNECT_E_NOCONNECTION;
        found->second->Release();
        sinks_.erase(found);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    std::map<DWORD, IDispatch*> sinks_;
};

#pragma GCC diagnostic pop

TEST(WinDocument, AnAttachedSinkHearsClicksUntilItIsDetached) {
    ConnectableDocument page;
    AnsweringEvents events;
    events.answer = false;
    {
        WinDocument document(ComPtr<IDispatch>::Share(&page));
        std::uint32_t cookie = kNoConnection;
        ASSERT_EQ(document.AttachClickSink(events, cookie), S_OK);
        EXPECT_EQ(cookie, 0x20u);
        EXPECT_EQ(page.Click(), (std::vector<std::optional<VARIANT_BOOL>>{0}));
        EXPECT_EQ(events.clicks, 1);

        EXPECT_EQ(document.DetachClickSink(cookie), S_OK);
        EXPECT_EQ(page.unadvised, std::vector<DWORD>{0x20});
        EXPECT_EQ(page.Connections(), 0u);
        EXPECT_EQ(document.DetachClickSink(cookie), CONNECT_E_NOCONNECTION);
        EXPECT_EQ(page.unadvised.size(), 1u);
    }
    EXPECT_EQ(events.clicks, 1);
    // Every reference the document took is given back.
    EXPECT_EQ(page.References(), 1u);
}

TEST(WinDocument, GoingAwayLeavesItsConnectionsAndALateClickReachesNobody) {
    ConnectableDocument page;
    AnsweringEvents first;
    AnsweringEvents second;
    ComPtr<IDispatch> held;
    {
        WinDocument document(ComPtr<IDispatch>::Share(&page));
        std::uint32_t one = kNoConnection;
        std::uint32_t two = kNoConnection;
        ASSERT_EQ(document.AttachClickSink(first, one), S_OK);
        ASSERT_EQ(document.AttachClickSink(second, two), S_OK);
        EXPECT_NE(one, two);
        EXPECT_EQ(page.Click(), (std::vector<std::optional<VARIANT_BOOL>>{1, 1}));
        held = page.Sink(one);
    }
    EXPECT_EQ(page.Connections(), 0u);
    EXPECT_EQ(page.unadvised.size(), 2u);
    UniqueVariant result;
    EXPECT_EQ(Fire(*held.get(), DISPID_HTMLDOCUMENTEVENTS2_ONCLICK, result.put()), S_OK);
    EXPECT_EQ(result.type(), VT_EMPTY);
    EXPECT_EQ(first.clicks, 1);
    EXPECT_EQ(second.clicks, 1);
    EXPECT_EQ(page.References(), 1u);
}

TEST(WinDocument, AConnectionThatCannotBeMadeLeavesNoneAndSaysWhy) {
    struct Case {
        const char* name;
        bool has_container;
        HRESULT advise_result;
        DWORD cookie;
        HRESULT expected;
    };
    const Case cases[] = {
        {"no connection points", false, S_OK, 0x20, E_NOINTERFACE},
        {"Advise refused", true, CONNECT_E_ADVISELIMIT, 0x20, CONNECT_E_ADVISELIMIT},
        {"a cookie that means no connection", true, S_OK, 0, E_UNEXPECTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectableDocument page;
        page.has_container = c.has_container;
        page.advise_result = c.advise_result;
        page.next_cookie = c.cookie;
        AnsweringEvents events;
        {
            WinDocument document(ComPtr<IDispatch>::Share(&page));
            std::uint32_t cookie = 0x99;
            EXPECT_EQ(document.AttachClickSink(events, cookie), c.expected);
            EXPECT_EQ(cookie, kNoConnection);
            page.Click();
            EXPECT_EQ(events.clicks, 0);
        }
    }
}

TEST(WinDocument, ADocumentThatIsNoHtmlDocumentFailsEveryReadWithTheQuerysResult) {
    test::CountedDispatch page;
    {
        WinDocument document(ComPtr<IDispatch>::Share(&page));
        EXPECT_EQ(document.QueryHtmlDocument(), E_NOINTERFACE);
        std::shared_ptr<Element> element = std::make_shared<WinElement>(nullptr);
        EXPECT_EQ(document.GetActiveElement(element), E_NOINTERFACE);
        EXPECT_EQ(element, nullptr);
        element = std::make_shared<WinElement>(nullptr);
        EXPECT_EQ(document.GetBody(element), E_NOINTERFACE);
        EXPECT_EQ(element, nullptr);
        std::shared_ptr<ElementCollection> all = std::make_shared<WinElementCollection>(nullptr);
        EXPECT_EQ(document.GetAll(all), E_NOINTERFACE);
        EXPECT_EQ(all, nullptr);
        std::u16string url = u"left over";
        EXPECT_EQ(document.GetUrl(url), E_NOINTERFACE);
        EXPECT_EQ(url, u"");
    }
    EXPECT_EQ(page.References(), 1u);
}

TEST(WinDocument, AModelMadeOverNothingFailsEveryCallInsteadOfCrashing) {
    WinDocument document(nullptr);
    EXPECT_EQ(document.QueryHtmlDocument(), E_POINTER);
    std::shared_ptr<Element> body;
    EXPECT_EQ(document.GetBody(body), E_POINTER);
    AnsweringEvents events;
    std::uint32_t cookie = 0x99;
    EXPECT_EQ(document.AttachClickSink(events, cookie), E_POINTER);
    EXPECT_EQ(cookie, kNoConnection);

    WinElement element(nullptr);
    std::optional<std::u16string> value = u"left over";
    EXPECT_EQ(element.GetAttribute(u"KXCommand", kAttributeAsString, value), E_POINTER);
    EXPECT_EQ(value, std::nullopt);
    std::u16string text = u"left over";
    EXPECT_EQ(element.GetInnerText(text), E_POINTER);
    EXPECT_EQ(text, u"");

    WinElementCollection all(nullptr);
    std::shared_ptr<Element> found = std::make_shared<WinElement>(nullptr);
    EXPECT_EQ(all.Item(u"params", 0, found), E_POINTER);
    EXPECT_EQ(found, nullptr);
}

}  // namespace
}  // namespace kx
