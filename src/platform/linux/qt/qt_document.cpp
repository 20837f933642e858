#include "platform/linux/qt/qt_document.h"

#include "platform/linux/qt/qt_text.h"

namespace kx {

namespace {

// Attribute names are HTML's, which ignores their case in any script.
bool SameNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return WideToQString(a).compare(WideToQString(b), Qt::CaseInsensitive) == 0;
}

class QtCollection final : public ElementCollection {
public:
    QtCollection(std::optional<std::u16string> key, std::shared_ptr<QtElement> named)
        : key_(std::move(key)), named_(std::move(named)) {}

    HResult Item(std::u16string_view name, std::int32_t index,
                 std::shared_ptr<Element>& element) override {
        element.reset();
        // Only the first element of the one name the snapshot took is known.
        if (index != 0) return kE_NOTIMPL;
        if (key_ && *key_ == name) element = named_;
        return kS_OK;
    }

private:
    std::optional<std::u16string> key_;
    std::shared_ptr<QtElement> named_;
};

std::shared_ptr<QtElement> MakeElement(const std::optional<ElementSnapshot>& snapshot) {
    return snapshot ? std::make_shared<QtElement>(*snapshot) : nullptr;
}

}  // namespace

HResult QtElement::GetAttribute(std::u16string_view name, std::int32_t,
                                std::optional<std::u16string>& value) {
    value.reset();
    for (const auto& [attribute, text] : snapshot_.attributes) {
        if (SameNameIgnoringCase(attribute, name)) {
            value = text;
            break;
        }
    }
    return kS_OK;
}

HResult QtElement::GetInnerText(std::u16string& text) {
    // Only the element a KXParams names has its text taken.
    if (!snapshot_.text) return kE_NOTIMPL;
    text = *snapshot_.text;
    return kS_OK;
}

QtDocument::QtDocument(const PageReport& load)
    : id_(load.document_id),
      url_(load.url),
      body_(MakeElement(load.element)),
      active_(body_),
      named_key_(load.named_key),
      named_(MakeElement(load.named)) {}

void QtDocument::TakeClick(const PageReport& click) {
    active_ = click.element ? MakeElement(click.element) : body_;
    named_key_ = click.named_key;
    named_ = MakeElement(click.named);
}

bool QtDocument::FireClick() {
    // A copy: a sink may detach itself or another while it is called.
    const auto sinks = sinks_;
    bool go_on = true;
    for (const auto& [cookie, sink] : sinks) {
        if (Connected(cookie) && !sink->OnClick()) go_on = false;
    }
    return go_on;
}

HResult QtDocument::QueryHtmlDocument() { return kS_OK; }

HResult QtDocument::GetActiveElement(std::shared_ptr<Element>& element) {
    element = active_;
    return kS_OK;
}

HResult QtDocument::GetBody(std::shared_ptr<Element>& element) {
    element = body_;
    return kS_OK;
}

HResult QtDocument::GetAll(std::shared_ptr<ElementCollection>& all) {
    all = std::make_shared<QtCollection>(named_key_, named_);
    return kS_OK;
}

HResult QtDocument::GetUrl(std::u16string& url) {
    url = url_;
    return kS_OK;
}

HResult QtDocument::AttachClickSink(DocumentEvents& events, std::uint32_t& cookie) {
    cookie = next_cookie_++;
    if (next_cookie_ == kNoConnection) next_cookie_ = 1;
    sinks_.emplace_back(cookie, &events);
    return kS_OK;
}

HResult QtDocument::DetachClickSink(std::uint32_t cookie) {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
        if (it->first == cookie) {
            sinks_.erase(it);
            return kS_OK;
        }
    }
    return kE_INVALIDARG;
}

bool QtDocument::Connected(std::uint32_t cookie) const {
    for (const auto& sink : sinks_) {
        if (sink.first == cookie) return true;
    }
    return false;
}

}  // namespace kx
