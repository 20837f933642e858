#include "play/server_wait_dialog.h"

#include <optional>

#include "resources/server_wait_template.h"

namespace kx {

namespace {

using namespace server_wait_control;

constexpr unsigned kOneSecond = 1000;
constexpr std::uint32_t kInternetStatusRedirect = 110;
constexpr std::uint32_t kInternetStatusIntermediateResponse = 120;
constexpr std::uint32_t kInternetStatusStateChange = 200;

std::optional<std::string_view> StatusText(std::uint32_t status) {
    switch (status) {
    case kInternetStatusConnectingToServer:
        return "Connecting to server...";
    case kInternetStatusConnectedToServer:
        return "Connected to server...";
    case kInternetStatusSendingRequest:
        return "Sending data request...";
    case kInternetStatusReceivingResponse:
    case kInternetStatusCtlResponseReceived:
    case kInternetStatusPrefetch:
    case kInternetStatusHandleCreated:
    case kInternetStatusRedirect:
    case kInternetStatusIntermediateResponse:
    case kInternetStatusStateChange:
        return "Receiving response...";
    case kInternetStatusResponseReceived:
        return "Response received...";
    case kInternetStatusClosingConnection:
        return "Disconnecting...";
    case kInternetStatusConnectionClosed:
        return "Disconnected.";
    default:
        return std::nullopt;
    }
}

}  // namespace

ServerWaitDialog::ServerWaitDialog(InetApi& inet) : Dialog(ServerWaitTemplate()), engine_(inet) {}

bool ServerWaitDialog::Prepare(std::string_view url, std::string_view form_data,
                               std::string_view title, int cancel_delay_seconds) {
    url_ = url;
    form_data_ = form_data;
    if (!title.empty()) title_ = title;
    cancel_delay_seconds_ = cancel_delay_seconds;
    return engine_.OpenSession(InternetAccess::Preconfigured);
}

void ServerWaitDialog::OnInit() {
    host().CenterOnOwner();
    engine_.SetNotificationWindow(host().Poster());
    elapsed_seconds_ = 0;
    if (cancel_delay_seconds_ > 0) {
        host().EnableItem(kIdCancel, Enablement::Disabled);
        host().StartTimer(kCancelTimerId, kOneSecond);
    }
    host().SetItemText(kTitle, title_);
    host().SetItemText(kStatus, "");
    if (!engine_.StartPost(url_, form_data_)) host().EndDialog(1);
}

void ServerWaitDialog::OnCommand(int id, int /*notification*/) {
    if (id != kIdCancel) return;
    // Escape sends the same command while the button is still disabled; the
    // delay would mean nothing if that were let through.
    if (!host().IsItemEnabled(kIdCancel)) return;
    engine_.Cancel();
    host().EndDialog(2);
}

void ServerWaitDialog::OnTimer(unsigned id) {
    if (id != kCancelTimerId) return;
    ++elapsed_seconds_;
    if (elapsed_seconds_ >= cancel_delay_seconds_ && !host().IsItemEnabled(kIdCancel)) {
        host().EnableItem(kIdCancel, Enablement::Enabled);
    }
}

void ServerWaitDialog::OnInetStatus(std::uint32_t status) {
    if (const auto text = StatusText(status)) host().SetItemText(kStatus, *text);
}

void ServerWaitDialog::OnInetDone() {
    response_.Parse(engine_.ResponseBody().c_str(), 1);
    host().EndDialog(1);
}

void ServerWaitDialog::OnClose() {
    if (cancel_delay_seconds_ > 0) host().StopTimer(kCancelTimerId);
    // A request still running would otherwise post to a window that is gone.
    if (!engine_.IsIdle()) engine_.Cancel();
    engine_.SetNotificationWindow(nullptr);
}

}  // namespace kx
