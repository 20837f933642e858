#pragma once

// A browser in memory: pages are trees of elements with attributes and
// rendered text, events fire when the test says so, every Navigate2 is
// recorded with its exact bytes, and each document-model step can be made to
// fail with a given result code.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/browser.h"

namespace kx::test {

class ScriptedElement final : public Element,
                              public std::enable_shared_from_this<ScriptedElement> {
public:
    // An attribute present as a string.
    ScriptedElement& Set(std::u16string name, std::u16string value);
    // An attribute present with a value that is not a string.
    ScriptedElement& SetNonString(std::u16string name);
    ScriptedElement& SetText(std::u16string text);
    // Reading `name` (matched without regard to case) fails with `result`.
    ScriptedElement& FailAttribute(std::u16string name, HResult result);
    ScriptedElement& FailText(HResult result);
    // Found by name or id but offering no HTML element interface.
    ScriptedElement& NotHtml();

    // A new last child, in document order after this element's earlier children.
    ScriptedElement& AddChild();

    std::shared_ptr<ScriptedElement> Shared() { return shared_from_this(); }
    const std::vector<std::shared_ptr<ScriptedElement>>& Children() const { return children_; }
    bool IsHtml() const { return html_; }
    // The string value of `name` (exact) when present; for name/id lookups.
    std::optional<std::u16string> StringAttribute(std::u16string_view name) const;

    HResult GetAttribute(std::u16string_view name, std::int32_t flags,
                         std::optional<std::u16string>& value) override;
    HResult GetInnerText(std::u16string& text) override;

    // The flags of every getAttribute call, in order.
    const std::vector<std::int32_t>& AttributeFlags() const { return attribute_flags_; }

private:
    struct Attribute {
        std::u16string name;
        std::optional<std::u16string> value;  // none: not a string
    };
    const Attribute* FindAttribute(std::u16string_view name) const;

    std::vector<Attribute> attributes_;
    std::vector<std::pair<std::u16string, HResult>> attribute_failures_;
    std::u16string text_;
    HResult text_failure_ = 0;
    bool html_ = true;
    std::vector<std::shared_ptr<ScriptedElement>> children_;
    std::vector<std::int32_t> attribute_flags_;
};

class ScriptedDocument final : public Document {
public:
    enum class Step { QueryHtmlDocument, ActiveElement, Body, All, Item, Url, AttachClickSink };

    explicit ScriptedDocument(std::u16string url);

    ScriptedElement& Body() { return *body_; }
    // The document has no body element.
    void RemoveBody() { body_present_ = false; }
    void SetActiveElement(ScriptedElement* element);
    // The step fails with `result` from now on.
    void Fail(Step step, HResult result) { failures_[step] = result; }

    // Fires the click event at the sink, as a click on `element` would;
    // none when no sink is connected.
    std::optional<bool> Click(ScriptedElement& element);
    bool SinkAttached() const { return sink_ != nullptr; }
    int Attaches() const { return attaches_; }
    int Detaches() const { return detaches_; }

    HResult QueryHtmlDocument() override;
    HResult GetActiveElement(std::shared_ptr<Element>& element) override;
    HResult GetBody(std::shared_ptr<Element>& element) override;
    HResult GetAll(std::shared_ptr<ElementCollection>& all) override;
    HResult GetUrl(std::u16string& url) override;
    HResult AttachClickSink(DocumentEvents& events, std::uint32_t& cookie) override;
    HResult DetachClickSink(std::uint32_t cookie) override;

private:
    friend class ScriptedCollection;
    std::optional<HResult> Failure(Step step) const;

    std::u16string url_;
    std::shared_ptr<ScriptedElement> body_ = std::make_shared<ScriptedElement>();
    bool body_present_ = true;
    std::shared_ptr<ScriptedElement> active_;
    std::map<Step, HResult> failures_;
    DocumentEvents* sink_ = nullptr;
    std::uint32_t cookie_ = kNoConnection;
    std::uint32_t next_cookie_ = 0x51;
    int attaches_ = 0;
    int detaches_ = 0;
};

struct NavigationRecord {
    std::string url;
    std::int32_t flags = 0;
    std::optional<std::string> target_frame;
    std::string post_data;  // the exact bytes of the array
    std::string headers;
};

class ScriptedBrowser final : public Browser {
public:
    static constexpr BrowserIdentity kTopLevel = 0xB0B0;

    // What get_Document answers from now on.
    void SetDocument(std::shared_ptr<ScriptedDocument> document) {
        document_ = std::move(document);
    }
    // A top-level page arrives: BeforeNavigate2, the document replaced, DocumentComplete.
    void LoadPage(std::shared_ptr<ScriptedDocument> document);
    // A frame's page arrives; the top-level document stays.
    void LoadFrame(BrowserIdentity frame, std::u16string url);
    void FireBeforeNavigate2(BrowserIdentity frame, std::u16string url = u"");
    void FireDocumentComplete(BrowserIdentity frame, std::u16string url = u"");

    void FailGetDocument(HResult result) { document_failure_ = result; }
    // CreatePostData answers none / AccessData fails, for every later array.
    void FailCreatePostData() { post_data_fails_ = true; }
    void FailAccessData(HResult result) { access_failure_ = result; }

    const std::vector<NavigationRecord>& Navigations() const { return navigations_; }
    const NavigationRecord& LastNavigation() const { return navigations_.back(); }
    const std::vector<std::string>& PlainNavigations() const { return plain_navigations_; }
    std::optional<DropTarget> DropTargetState() const { return drop_target_; }
    bool Listening() const { return events_ != nullptr; }

    BrowserIdentity Identity() override { return kTopLevel; }
    std::unique_ptr<PostData> CreatePostData(std::size_t size) override;
    HResult Navigate2(std::string_view url, std::int32_t flags,
                      std::optional<std::string_view> target_frame, PostData& post_data,
                      std::string_view headers) override;
    HResult Navigate(std::string_view url) override;
    HResult PutRegisterAsDropTarget(DropTarget drop_target) override;
    HResult GetDocument(std::shared_ptr<Document>& document) override;
    HResult AdviseEvents(BrowserEvents& events) override;
    void UnadviseEvents() override { events_ = nullptr; }

private:
    std::shared_ptr<ScriptedDocument> document_;
    BrowserEvents* events_ = nullptr;
    HResult document_failure_ = 0;
    bool post_data_fails_ = false;
    HResult access_failure_ = 0;
    std::vector<NavigationRecord> navigations_;
    std::vector<std::string> plain_navigations_;
    std::optional<DropTarget> drop_target_;
};

// A document loaded from `url`.
std::shared_ptr<ScriptedDocument> MakePage(std::u16string url);

}  // namespace kx::test
