#pragma once

// Linux Qt front: the browser control on QtWebEngine.
//
// Implements:
//  - kx::Browser over a QWebEngineView: Navigate2 into the whole window with
//    the exact post bytes and headers, or into a named frame through a form
//    made in the top document; Navigate; the no-history flag; drop targets;
//  - kx::Document as a snapshot that the page script takes at each load and
//    click (attributes, the KXParams text, the address; qt_document.h);
//  - BeforeNavigate2 (from the engine's navigation requests) and
//    DocumentComplete (from a script injected at document start that carries
//    a secret token, 128 random bits per browser, so that a page cannot
//    forge it) for the top page and its frames, delivered in order;
//  - the click's answer given synchronously to the page, with the core's
//    work for it done on the next turn of the event loop.
//
// Missing: frames' own browser objects (every frame's events carry one
// identity, other than the top page's); the click's answer, always "default
// goes on", since the core answers on a later turn (the service's command
// elements are buttons with no default action); clicks before the page's
// load event; the document model beyond the snapshot (body, clicked element,
// the first element its KXParams names and only that one's text);
// kNavNoWriteToCache; a frame post's own headers and bytes (the form
// re-encodes the same values); DocumentComplete for pages no script runs in,
// such as the engine's error pages. The no-history flag drops every
// back/forward entry once the page has loaded, not just the new one.
//
// The token-carrying script runs in an isolated world, so the page's own
// scripts can neither read it nor replace the prompt() it reports through;
// a prompt without the token is the page's own and gets the default dialog.

#include <memory>

#include "platform/browser.h"

class QWidget;

namespace kx {

class QtBrowser final : public Browser {
public:
    // Makes the web view as a child of `parent`; the caller places it.
    explicit QtBrowser(QWidget* parent);
    ~QtBrowser() override;
    QtBrowser(const QtBrowser&) = delete;
    QtBrowser& operator=(const QtBrowser&) = delete;

    QWidget* Widget();

    BrowserIdentity Identity() override;
    std::unique_ptr<PostData> CreatePostData(std::size_t size) override;
    HResult Navigate2(std::string_view url, std::int32_t flags,
                      std::optional<std::string_view> target_frame, PostData& post_data,
                      std::string_view headers) override;
    HResult Navigate(std::string_view url) override;
    HResult PutRegisterAsDropTarget(DropTarget drop_target) override;
    HResult GetDocument(std::shared_ptr<Document>& document) override;
    HResult AdviseEvents(BrowserEvents& events) override;
    void UnadviseEvents() override;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kx
