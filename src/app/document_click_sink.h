#pragma once

// Receives the click event of the console's top-level document and hands it
// to the console; connected to one document at a time.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/browser.h"

namespace kx {

class DocumentClickSink final : public DocumentEvents {
public:
    explicit DocumentClickSink(std::function<bool()> on_click) : on_click_(std::move(on_click)) {}
    DocumentClickSink(const DocumentClickSink&) = delete;
    DocumentClickSink& operator=(const DocumentClickSink&) = delete;
    ~DocumentClickSink() override { Detach(); }

    // Connects to `document`'s click event, leaving any earlier connection.
    HResult Attach(std::shared_ptr<Document> document);
    // Leaves the connection, if one is made.
    void Detach();

    bool IsAttached() const { return cookie_ != kNoConnection; }

    bool OnClick() override { return on_click_(); }

private:
    std::function<bool()> on_click_;
    std::shared_ptr<Document> document_;
    std::uint32_t cookie_ = kNoConnection;
};

}  // namespace kx
