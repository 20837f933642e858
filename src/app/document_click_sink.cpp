#include "app/document_click_sink.h"

namespace kx {

HResult DocumentClickSink::Attach(std::shared_ptr<Document> document) {
    Detach();
    std::uint32_t cookie = kNoConnection;
    const HResult result = document->AttachClickSink(*this, cookie);
    if (Failed(result)) return result;
    document_ = std::move(document);
    cookie_ = cookie;
    return result;
}

void DocumentClickSink::Detach() {
    if (cookie_ != kNoConnection && document_) document_->DetachClickSink(cookie_);
    cookie_ = kNoConnection;
    document_.reset();
}

}  // namespace kx
