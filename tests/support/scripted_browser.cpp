#include "support/scripted_browser.h"

#include "platform/hresult.h"

namespace kx::test {

namespace {

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

class ScriptedPostData final : public PostData {
public:
    ScriptedPostData(std::size_t size, HResult access_failure)
        : bytes_(size), access_failure_(access_failure) {}

    HResult AccessData(std::span<std::uint8_t>& bytes) override {
        if (Failed(access_failure_)) return access_failure_;
        bytes = bytes_;
        return kS_OK;
    }
    void UnaccessData() override {}

    std::string Bytes() const { return std::string(bytes_.begin(), bytes_.end()); }

private:
    std::vector<std::uint8_t> bytes_;
    HResult access_failure_;
};

// Depth first, in document order, from the body.
std::shared_ptr<ScriptedElement> FindNamed(const std::shared_ptr<ScriptedElement>& element,
                                           std::u16string_view name) {
    if (element->StringAttribute(u"name") == name || element->StringAttribute(u"id") == name) {
        return element;
    }
    for (const auto& child : element->Children()) {
        if (auto found = FindNamed(child, name)) return found;
    }
    return nullptr;
}

}  // namespace

class ScriptedCollection final : public ElementCollection {
public:
    ScriptedCollection(std::shared_ptr<ScriptedElement> root, std::optional<HResult> failure)
        : root_(std::move(root)), failure_(failure) {}

    HResult Item(std::u16string_view name, std::int32_t index,
                 std::shared_ptr<Element>& element) override {
        if (failure_) return *failure_;
        element.reset();
        if (index != 0) return kE_INVALIDARG;
        const auto found = FindNamed(root_, name);
        if (found && found->IsHtml()) element = found;
        return kS_OK;
    }

private:
    std::shared_ptr<ScriptedElement> root_;
    std::optional<HResult> failure_;
};

ScriptedElement& ScriptedElement::Set(std::u16string name, std::u16string value) {
    attributes_.push_back({std::move(name), std::move(value)});
    return *this;
}

ScriptedElement& ScriptedElement::SetNonString(std::u16string name) {
    attributes_.push_back({std::move(name), std::nullopt});
    return *this;
}

ScriptedElement& ScriptedElement::SetText(std::u16string text) {
    text_ = std::move(text);
    return *this;
}

ScriptedElement& ScriptedElement::FailAttribute(std::u16string name, HResult result) {
    attribute_failures_.emplace_back(std::move(name), result);
    return *this;
}

ScriptedElement& ScriptedElement::FailText(HResult result) {
    text_failure_ = result;
    return *this;
}

ScriptedElement& ScriptedElement::NotHtml() {
    html_ = false;
    return *this;
}

ScriptedElement& ScriptedElement::AddChild() {
    children_.push_back(std::make_shared<ScriptedElement>());
    return *children_.back();
}

const ScriptedElement::Attribute* ScriptedElement::FindAttribute(std::u16string_view name) const {
    for (const Attribute& attribute : attributes_) {
        if (SameName(attribute.name, name)) return &attribute;
    }
    return nullptr;
}

std::optional<std::u16string> ScriptedElement::StringAttribute(std::u16string_view name) const {
    for (const Attribute& attribute : attributes_) {
        if (attribute.name == name) return attribute.value;
    }
    return std::nullopt;
}

HResult ScriptedElement::GetAttribute(std::u16string_view name, std::int32_t flags,
                                      std::optional<std::u16string>& value) {
    attribute_flags_.push_back(flags);
    for (const auto& [failing_name, result] : attribute_failures_) {
        if (SameName(failing_name, name)) return result;
    }
    const Attribute* attribute = FindAttribute(name);
    value = attribute != nullptr ? attribute->value : std::nullopt;
    return kS_OK;
}

HResult ScriptedElement::GetInnerText(std::u16string& text) {
    if (Failed(text_failure_)) return text_failure_;
    text = text_;
    return kS_OK;
}

ScriptedDocument::ScriptedDocument(std::u16string url) : url_(std::move(url)) {}

void ScriptedDocument::SetActiveElement(ScriptedElement* element) {
    active_ = element != nullptr ? element->Shared() : nullptr;
}

std::optional<bool> ScriptedDocument::Click(ScriptedElement& element) {
    SetActiveElement(&element);
    if (sink_ == nullptr) return std::nullopt;
    return sink_->OnClick();
}

std::optional<HResult> ScriptedDocument::Failure(Step step) const {
    const auto it = failures_.find(step);
    if (it == failures_.end()) return std::nullopt;
    return it->second;
}

HResult ScriptedDocument::QueryHtmlDocument() {
    return Failure(Step::QueryHtmlDocument).value_or(kS_OK);
}

HResult ScriptedDocument::GetActiveElement(std::shared_ptr<Element>& element) {
    if (auto failure = Failure(Step::ActiveElement)) return *failure;
    element = active_;
    return kS_OK;
}

HResult ScriptedDocument::GetBody(std::shared_ptr<Element>& element) {
    if (auto failure = Failure(Step::Body)) return *failure;
    element = body_present_ ? std::shared_ptr<Element>(body_) : nullptr;
    return kS_OK;
}

HResult ScriptedDocument::GetAll(std::shared_ptr<ElementCollection>& all) {
    if (auto failure = Failure(Step::All)) return *failure;
    all = std::make_shared<ScriptedCollection>(body_, Failure(Step::Item));
    return kS_OK;
}

HResult ScriptedDocument::GetUrl(std::u16string& url) {
    if (auto failure = Failure(Step::Url)) return *failure;
    url = url_;
    return kS_OK;
}

HResult ScriptedDocument::AttachClickSink(DocumentEvents& events, std::uint32_t& cookie) {
    if (auto failure = Failure(Step::AttachClickSink)) return *failure;
    if (sink_ != nullptr) return kE_FAIL;  // the console connects once per document
    sink_ = &events;
    cookie_ = next_cookie_++;
    cookie = cookie_;
    ++attaches_;
    return kS_OK;
}

HResult ScriptedDocument::DetachClickSink(std::uint32_t cookie) {
    if (sink_ == nullptr || cookie != cookie_) return kE_INVALIDARG;
    sink_ = nullptr;
    cookie_ = kNoConnection;
    ++detaches_;
    return kS_OK;
}

void ScriptedBrowser::LoadPage(std::shared_ptr<ScriptedDocument> document) {
    std::u16string url;
    document->GetUrl(url);
    FireBeforeNavigate2(kTopLevel, url);
    document_ = std::move(document);
    FireDocumentComplete(kTopLevel, url);
}

void ScriptedBrowser::LoadFrame(BrowserIdentity frame, std::u16string url) {
    FireBeforeNavigate2(frame, url);
    FireDocumentComplete(frame, url);
}

void ScriptedBrowser::FireBeforeNavigate2(BrowserIdentity frame, std::u16string url) {
    if (events_ != nullptr) events_->BeforeNavigate2(frame, url);
}

void ScriptedBrowser::FireDocumentComplete(BrowserIdentity frame, std::u16string url) {
    if (events_ != nullptr) events_->DocumentComplete(frame, url);
}

std::unique_ptr<PostData> ScriptedBrowser::CreatePostData(std::size_t size) {
    if (post_data_fails_) return nullptr;
    return std::make_unique<ScriptedPostData>(size, access_failure_);
}

HResult ScriptedBrowser::Navigate2(std::string_view url, std::int32_t flags,
                                   std::optional<std::string_view> target_frame,
                                   PostData& post_data, std::string_view headers) {
    NavigationRecord record;
    record.url = std::string(url);
    record.flags = flags;
    if (target_frame) record.target_frame = std::string(*target_frame);
    record.post_data = dynamic_cast<ScriptedPostData&>(post_data).Bytes();
    record.headers = std::string(headers);
    navigations_.push_back(std::move(record));
    return kS_OK;
}

HResult ScriptedBrowser::Navigate(std::string_view url) {
    plain_navigations_.emplace_back(url);
    return kS_OK;
}

HResult ScriptedBrowser::PutRegisterAsDropTarget(DropTarget drop_target) {
    drop_target_ = drop_target;
    return kS_OK;
}

HResult ScriptedBrowser::GetDocument(std::shared_ptr<Document>& document) {
    if (Failed(document_failure_)) return document_failure_;
    document = document_;
    return kS_OK;
}

HResult ScriptedBrowser::AdviseEvents(BrowserEvents& events) {
    events_ = &events;
    return kS_OK;
}

std::shared_ptr<ScriptedDocument> MakePage(std::u16string url) {
    return std::make_shared<ScriptedDocument>(std::move(url));
}

}  // namespace kx::test
