#pragma once

// Linux Qt front: the browser's document model.
//
// Implements:
//  - kx::Document as a snapshot of one top-level document: what the page
//    script reported at its load (the body's attributes, the address, the
//    element the body's KXParams names), then what its latest click
//    reported (the clicked element, the element its KXParams names);
//  - kx::Element over one element's attributes, their names compared
//    ignoring case, and the text of a KXParams-named element only;
//  - the click sinks by cookie, each connection called in turn.
//
// Missing: the model beyond the snapshot: the all-collection knows only the
// first element of the one name the snapshot took, and no other element has
// its text.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QString>

#include "platform/browser.h"
#include "platform/linux/qt/qt_browser_wire.h"

namespace kx {

class QtElement final : public Element {
public:
    explicit QtElement(ElementSnapshot snapshot) : snapshot_(std::move(snapshot)) {}

    HResult GetAttribute(std::u16string_view name, std::int32_t flags,
                         std::optional<std::u16string>& value) override;
    HResult GetInnerText(std::u16string& text) override;

private:
    ElementSnapshot snapshot_;
};

class QtDocument final : public Document {
public:
    explicit QtDocument(const PageReport& load);

    // The page script's id of this document, to match its clicks with.
    const QString& Id() const { return id_; }

    void TakeClick(const PageReport& click);
    // Each connection in turn; one that an earlier call ended is skipped.
    // False when a sink cancelled the click's default action.
    bool FireClick();

    HResult QueryHtmlDocument() override;
    HResult GetActiveElement(std::shared_ptr<Element>& element) override;
    HResult GetBody(std::shared_ptr<Element>& element) override;
    HResult GetAll(std::shared_ptr<ElementCollection>& all) override;
    HResult GetUrl(std::u16string& url) override;
    HResult AttachClickSink(DocumentEvents& events, std::uint32_t& cookie) override;
    HResult DetachClickSink(std::uint32_t cookie) override;

private:
    bool Connected(std::uint32_t cookie) const;

    QString id_;
    std::u16string url_;
    std::shared_ptr<QtElement> body_;
    std::shared_ptr<QtElement> active_;
    std::optional<std::u16string> named_key_;
    std::shared_ptr<QtElement> named_;
    std::vector<std::pair<std::uint32_t, DocumentEvents*>> sinks_;
    std::uint32_t next_cookie_ = 1;
};

}  // namespace kx
