#include "platform/win32/win_document.h"

#include <ocidl.h>
#include <olectl.h>

namespace kx {

namespace {

std::shared_ptr<Element> Wrap(ComPtr<IHTMLElement> element) {
    if (!element) return nullptr;
    return std::make_shared<WinElement>(std::move(element));
}

HRESULT PutBstr(std::u16string_view text, VARIANT& variant) {
    BSTR copy = NewBstr(text);
    if (copy == nullptr) return E_OUTOFMEMORY;
    V_VT(&variant) = VT_BSTR;
    V_BSTR(&variant) = copy;
    return S_OK;
}

}  // namespace

ComPtr<WinClickSink> WinClickSink::Make(DocumentEvents& events) {
    return ComPtr<WinClickSink>::Take(new WinClickSink(events));
}

HRESULT STDMETHODCALLTYPE WinClickSink::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, kDiidHtmlDocumentEvents2)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE WinClickSink::Release() {
    const ULONG left = count_.Release();
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE WinClickSink::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WinClickSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE WinClickSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE WinClickSink::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS*,
                                               VARIANT* result, EXCEPINFO*, UINT*) {
    if (member != kDispidDocumentClick) return S_OK;
    DocumentEvents* events = events_;
    if (events == nullptr) return S_OK;
    // The core may let go of this document, and so of the sink, while it
    // handles the click.
    const ComPtr<WinClickSink> alive = ComPtr<WinClickSink>::Share(this);
    const bool go_on = events->OnClick();
    if (result != nullptr) {
        VariantClear(result);
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = go_on ? kClickGoesOn : kClickCancelled;
    }
    return S_OK;
}

HResult WinElement::GetAttribute(std::u16string_view name, std::int32_t flags,
                                 std::optional<std::u16string>& value) {
    value.reset();
    if (!element_) return E_POINTER;
    const UniqueBstr key(NewBstr(name));
    if (!key) return E_OUTOFMEMORY;
    UniqueVariant found;
    const HRESULT result = element_->getAttribute(key.get(), flags, found.put());
    if (FAILED(result)) return result;
    // A missing attribute comes as VT_NULL, one that is no text as whatever
    // it is: neither is a value.
    if (found.type() == VT_BSTR) value = BstrText(V_BSTR(&found.get()));
    return result;
}

HResult WinElement::GetInnerText(std::u16string& text) {
    text.clear();
    if (!element_) return E_POINTER;
    UniqueBstr inner;
    const HRESULT result = element_->get_innerText(inner.put());
    if (SUCCEEDED(result)) text = BstrText(inner.get());
    return result;
}

HResult WinElementCollection::Item(std::u16string_view name, std::int32_t index,
                                   std::shared_ptr<Element>& element) {
    element.reset();
    if (!all_) return E_POINTER;
    UniqueVariant key;
    if (const HRESULT made = PutBstr(name, key.get()); FAILED(made)) return made;
    UniqueVariant position;
    V_VT(&position.get()) = VT_I4;
    V_I4(&position.get()) = index;
    ComPtr<IDispatch> found;
    const HRESULT result = all_->item(key.get(), position.get(), found.put());
    if (FAILED(result)) return result;
    ComPtr<IHTMLElement> html;
    if (found && SUCCEEDED(found.Query(IID_IHTMLElement, html))) element = Wrap(std::move(html));
    return result;
}

WinDocument::~WinDocument() {
    ComPtr<IConnectionPoint> point;
    const bool connected = !sinks_.empty() && SUCCEEDED(ClickConnection(point));
    for (auto& [cookie, sink] : sinks_) {
        sink->Disconnect();
        if (connected) point->Unadvise(cookie);
    }
}

HRESULT WinDocument::HtmlDocument(ComPtr<IHTMLDocument2>& html) {
    return document_.Query(IID_IHTMLDocument2, html);
}

HRESULT WinDocument::ClickConnection(ComPtr<IConnectionPoint>& point) {
    point.reset();
    ComPtr<IConnectionPointContainer> container;
    const HRESULT result = document_.Query(IID_IConnectionPointContainer, container);
    if (FAILED(result)) return result;
    const HRESULT found = container->FindConnectionPoint(kDiidHtmlDocumentEvents2, point.put());
    if (SUCCEEDED(found) && !point) return E_POINTER;
    return found;
}

HResult WinDocument::QueryHtmlDocument() {
    ComPtr<IHTMLDocument2> html;
    return HtmlDocument(html);
}

HResult WinDocument::GetActiveElement(std::shared_ptr<Element>& element) {
    element.reset();
    ComPtr<IHTMLDocument2> html;
    if (const HRESULT query = HtmlDocument(html); FAILED(query)) return query;
    ComPtr<IHTMLElement> active;
    const HRESULT result = html->get_activeElement(active.put());
    if (SUCCEEDED(result)) element = Wrap(std::move(active));
    return result;
}

HResult WinDocument::GetBody(std::shared_ptr<Element>& element) {
    element.reset();
    ComPtr<IHTMLDocument2> html;
    if (const HRESULT query = HtmlDocument(html); FAILED(query)) return query;
    ComPtr<IHTMLElement> body;
    const HRESULT result = html->get_body(body.put());
    if (SUCCEEDED(result)) element = Wrap(std::move(body));
    return result;
}

HResult WinDocument::GetAll(std::shared_ptr<ElementCollection>& all) {
    all.reset();
    ComPtr<IHTMLDocument2> html;
    if (const HRESULT query = HtmlDocument(html); FAILED(query)) return query;
    ComPtr<IHTMLElementCollection> collection;
    const HRESULT result = html->get_all(collection.put());
    if (FAILED(result)) return result;
    // A success without a collection is no collection to read.
    if (!collection) return E_POINTER;
    all = std::make_shared<WinElementCollection>(std::move(collection));
    return result;
}

HResult WinDocument::GetUrl(std::u16string& url) {
    url.clear();
    ComPtr<IHTMLDocument2> html;
    if (const HRESULT query = HtmlDocument(html); FAILED(query)) return query;
    UniqueBstr address;
    const HRESULT result = html->get_URL(address.put());
    if (SUCCEEDED(result)) url = BstrText(address.get());
    return result;
}

HResult WinDocument::AttachClickSink(DocumentEvents& events, std::uint32_t& cookie) {
    cookie = kNoConnection;
    ComPtr<IConnectionPoint> point;
    if (const HRESULT found = ClickConnection(point); FAILED(found)) return found;
    const ComPtr<WinClickSink> sink = WinClickSink::Make(events);
    DWORD connection = 0;
    const HRESULT result = point->Advise(sink.get(), &connection);
    if (FAILED(result)) {
        sink->Disconnect();
        return result;
    }
    if (connection == kNoConnection) {
        // A cookie the port cannot tell from no connection: the sink stays
        // with the document, deaf.
        sink->Disconnect();
        return E_UNEXPECTED;
    }
    if (const auto old = sinks_.find(connection); old != sinks_.end()) old->second->Disconnect();
    sinks_[connection] = sink;
    cookie = connection;
    return result;
}

HResult WinDocument::DetachClickSink(std::uint32_t cookie) {
    const auto found = sinks_.find(cookie);
    if (found == sinks_.end()) return CONNECT_E_NOCONNECTION;
    found->second->Disconnect();
    sinks_.erase(found);
    ComPtr<IConnectionPoint> point;
    if (const HRESULT connection = ClickConnection(point); FAILED(connection)) return connection;
    return point->Unadvise(cookie);
}

}  // namespace kx
