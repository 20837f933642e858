#pragma once

// Runs one command request against the service in a small modal window with
// a title, the request's stage and a Cancel button that becomes available
// only after a delay, so a player cannot give up on a play the moment it
// starts. The caller reads the outcome once the window has ended.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/dialog.h"
#include "net/http_request_engine.h"
#include "base/key_value_store.h"
#include "platform/inet_api.h"

namespace kx {

class ServerWaitDialog final : public Dialog {
public:
    // Passed as the title to keep the one shown before.
    static constexpr std::string_view kKeepTitle{};
    static constexpr std::string_view kDefaultTitle = "Contacting tournament server...";

    explicit ServerWaitDialog(InetApi& inet);

    // Keeps the request for the next RunModal and opens the internet session;
    // false when it cannot be opened. A delay of 0 or less leaves Cancel
    // available from the start.
    bool Prepare(std::string_view url, std::string_view form_data, std::string_view title,
                 int cancel_delay_seconds);

    // RunModal (inherited) answers 1 when the request has ended or could not
    // start, kCancelled when the player cancelled.
    static constexpr int kCancelled = 2;

    // The last request's outcome, readable until the next request starts.
    std::uint32_t Error() const { return engine_.Error(); }
    std::uint32_t StatusCode() const { return engine_.StatusCode(); }
    const KeyValueStore& Response() const { return response_; }
    const std::string& Title() const { return title_; }

private:
    static constexpr unsigned kCancelTimerId = 1;

    void OnInit() override;
    void OnCommand(int id, int notification) override;
    void OnTimer(unsigned id) override;
    void OnInetStatus(std::uint32_t status) override;
    void OnInetDone() override;
    void OnClose() override;

    HttpRequestEngine engine_;
    int cancel_delay_seconds_ = 0;
    int elapsed_seconds_ = 0;
    std::string title_{kDefaultTitle};
    std::string url_;
    std::string form_data_;
    KeyValueStore response_;
};

}  // namespace kx
