#pragma once

// Windows backend: the browser control's document model.
//
// Implements:
//  - kx::Document over the document get_Document hands out: QueryInterface
//    for IHTMLDocument2, its activeElement, body, all and URL;
//  - kx::Element over IHTMLElement: getAttribute(name, flags) taken as a
//    value only when it is a string (VT_BSTR), innerText as the control
//    renders it (line breaks CR LF);
//  - kx::ElementCollection over IHTMLElementCollection: item(name, index),
//    an element only when what it finds offers IHTMLElement;
//  - the click sink: an HTMLDocumentEvents2 connection made with Advise,
//    whose cookie is the port's; onclick (dispatch id -600) is answered in
//    pvarResult as VT_BOOL 1 or 0 with the core's answer, every other event
//    of that interface is left alone. A sink forgets the core's events
//    before its connection goes, so a late call reaches nobody.
//
// Missing (a real Windows must confirm): that the control cancels a click's
// default action on the answer 0 and lets it go on with 1; that
// getAttribute(name, 2) ignores the name's case in the standards mode the
// console asks for; innerText's CR LF between the lines of a hidden element.

#include <windows.h>
#include <mshtml.h>
#include <oaidl.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/browser.h"
#include "platform/win32/win_com.h"

namespace kx {

// The document events' dispatch interface, which mingw's uuid library lacks.
inline constexpr IID kDiidHtmlDocumentEvents2 = {
    0x3050f613, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}};

// The dispatch id of onclick in the document's events.
inline constexpr DISPID kDispidDocumentClick = -600;

// What the sink answers for the core's true and false. The browser cancels
// a click's default action on 0 only, so the console's 1 goes on as
// VARIANT_TRUE would.
inline constexpr VARIANT_BOOL kClickGoesOn = 1;
inline constexpr VARIANT_BOOL kClickCancelled = 0;

// COM objects go through their own Release, never a delete of an
// interface pointer, so the interfaces need no virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

class WinClickSink final : public IDispatch {
public:
    // A new sink with one reference, the caller's.
    static ComPtr<WinClickSink> Make(DocumentEvents& events);

    // From now on the core hears nothing more.
    void Disconnect() { events_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return count_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override;

private:
    explicit WinClickSink(DocumentEvents& events) : events_(&events) {}
    ~WinClickSink() = default;

    ComRefCount count_;
    DocumentEvents* events_;
};

#pragma GCC diagnostic pop

// An element or collection made over nothing fails every call with
// E_POINTER.
class WinElement final : public Element {
public:
    explicit WinElement(ComPtr<IHTMLElement> element) : element_(std::move(element)) {}

    HResult GetAttribute(std::u16string_view name, std::int32_t flags,
                         std::optional<std::u16string>& value) override;
    HResult GetInnerText(std::u16string& text) override;

private:
    ComPtr<IHTMLElement> element_;
};

class WinElementCollection final : public ElementCollection {
public:
    explicit WinElementCollection(ComPtr<IHTMLElementCollection> all) : all_(std::move(all)) {}

    HResult Item(std::u16string_view name, std::int32_t index,
                 std::shared_ptr<Element>& element) override;

private:
    ComPtr<IHTMLElementCollection> all_;
};

class WinDocument final : public Document {
public:
    // The document as get_Document gave it; over nothing, every call fails
    // with E_POINTER.
    explicit WinDocument(ComPtr<IDispatch> document) : document_(std::move(document)) {}
    // Leaves every connection still made.
    ~WinDocument() override;
    WinDocument(const WinDocument&) = delete;
    WinDocument& operator=(const WinDocument&) = delete;

    HResult QueryHtmlDocument() override;
    HResult GetActiveElement(std::shared_ptr<Element>& element) override;
    HResult GetBody(std::shared_ptr<Element>& element) override;
    HResult GetAll(std::shared_ptr<ElementCollection>& all) override;
    HResult GetUrl(std::u16string& url) override;
    HResult AttachClickSink(DocumentEvents& events, std::uint32_t& cookie) override;
    HResult DetachClickSink(std::uint32_t cookie) override;

private:
    HRESULT HtmlDocument(ComPtr<IHTMLDocument2>& html);
    HRESULT ClickConnection(ComPtr<IConnectionPoint>& point);

    ComPtr<IDispatch> document_;
    std::map<std::uint32_t, ComPtr<WinClickSink>> sinks_;
};

}  // namespace kx
