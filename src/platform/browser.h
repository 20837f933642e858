#pragma once

// The embedded browser and its document model, shaped after IWebBrowser2,
// its DWebBrowserEvents2 events and the IHTMLDocument2 family, so that each
// step of the console's page handling is one call with the result code the
// browser would give.
//
// - `Browser` is one browser control of a dialog (DialogHost::GetBrowser).
// - `Document` is the document get_Document hands out; whether it is an HTML
//   document is asked as QueryInterface would be.
// - `Element` and `ElementCollection` are what the page protocol reads.
// - `BrowserEvents` and `DocumentEvents` are implemented by the core and
//   called by a backend on the UI thread.
//
// Wide texts are the document model's own (UTF-16); the core converts them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/hresult.h"

namespace kx {

// The identity (IUnknown) of the browser or of one of its frames; events
// carry it so that the top-level page can be told from frames.
using BrowserIdentity = std::uintptr_t;

// getAttribute's flag asking for the value as a string.
inline constexpr std::int32_t kAttributeAsString = 2;

// Navigate2 flags.
inline constexpr std::int32_t kNavNoHistory = 2;
inline constexpr std::int32_t kNavNoWriteToCache = 8;

enum class DropTarget { Refused, Accepted };

class Element {
public:
    virtual ~Element() = default;

    // getAttribute(name, 2): the name matches without regard to case. `value`
    // holds the text only when the attribute is present as a string; an
    // absent attribute succeeds with no value.
    virtual HResult GetAttribute(std::u16string_view name, std::int32_t flags,
                                 std::optional<std::u16string>& value) = 0;

    // innerText: the rendered text, line breaks as CR LF.
    virtual HResult GetInnerText(std::u16string& text) = 0;
};

class ElementCollection {
public:
    virtual ~ElementCollection() = default;

    // item(name, index): the index-th element whose name or id is `name`.
    // `element` stays empty when there is none or it is not an HTML element.
    virtual HResult Item(std::u16string_view name, std::int32_t index,
                         std::shared_ptr<Element>& element) = 0;
};

// The document's event interface as the core receives it.
class DocumentEvents {
public:
    virtual ~DocumentEvents() = default;

    // onclick: the answer goes back to the browser as the event's result.
    virtual bool OnClick() = 0;
};

// Marks a click connection that is not made.
inline constexpr std::uint32_t kNoConnection = 0;

class Document {
public:
    virtual ~Document() = default;

    // QueryInterface for IHTMLDocument2; the calls below need it to succeed.
    virtual HResult QueryHtmlDocument() = 0;

    // The element a click went to; may succeed with none.
    virtual HResult GetActiveElement(std::shared_ptr<Element>& element) = 0;
    // May succeed with none, as for a document without a body yet.
    virtual HResult GetBody(std::shared_ptr<Element>& element) = 0;
    virtual HResult GetAll(std::shared_ptr<ElementCollection>& all) = 0;
    // The address the document was loaded from.
    virtual HResult GetUrl(std::u16string& url) = 0;

    // Connects `events` to the document's click event (connection point
    // Advise); `cookie` then names the connection and is never kNoConnection.
    virtual HResult AttachClickSink(DocumentEvents& events, std::uint32_t& cookie) = 0;
    virtual HResult DetachClickSink(std::uint32_t cookie) = 0;
};

// The browser's events the console listens to.
class BrowserEvents {
public:
    virtual ~BrowserEvents() = default;

    // A frame or the top-level browser is about to navigate; never cancelled.
    virtual void BeforeNavigate2(BrowserIdentity frame, std::u16string_view url) = 0;
    // A frame or the top-level browser has finished loading a document.
    virtual void DocumentComplete(BrowserIdentity frame, std::u16string_view url) = 0;
};

// A byte array of post data (SafeArrayCreateVector of bytes).
class PostData {
public:
    virtual ~PostData() = default;

    // SafeArrayAccessData: `bytes` spans the array until UnaccessData.
    virtual HResult AccessData(std::span<std::uint8_t>& bytes) = 0;
    virtual void UnaccessData() = 0;
};

class Browser {
public:
    virtual ~Browser() = default;

    // The browser's own identity, as its top-level events carry it.
    virtual BrowserIdentity Identity() = 0;

    // A byte array of `size` elements for Navigate2's post data, or none
    // when it cannot be made.
    virtual std::unique_ptr<PostData> CreatePostData(std::size_t size) = 0;

    // Navigate2(url, flags as VT_I4, target frame or none, post data, headers).
    virtual HResult Navigate2(std::string_view url, std::int32_t flags,
                              std::optional<std::string_view> target_frame, PostData& post_data,
                              std::string_view headers) = 0;
    // Navigate(url) with no flags, target, post data or headers.
    virtual HResult Navigate(std::string_view url) = 0;

    virtual HResult PutRegisterAsDropTarget(DropTarget drop_target) = 0;

    // get_Document: the current document, which may be none.
    virtual HResult GetDocument(std::shared_ptr<Document>& document) = 0;

    // Starts or stops delivering the browser's events to `events`.
    virtual HResult AdviseEvents(BrowserEvents& events) = 0;
    virtual void UnadviseEvents() = 0;
};

}  // namespace kx
