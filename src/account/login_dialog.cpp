#include "account/login_dialog.h"

#include <chrono>
#include <optional>
#include <string>

#include "account/registration_dialog.h"
#include "base/trace_log.h"
#include "base/form_encoding.h"
#include "net/reply.h"
#include "net/service_interface.h"
#include "resources/login_template.h"

namespace kx {

namespace {

using namespace login_control;

constexpr std::size_t kFieldCapacity = kUserTextSize;
constexpr auto kWorkerEndWait = std::chrono::seconds(5);
constexpr std::string_view kGuestUserName = "guest";
constexpr std::string_view kGuestPassword = "tansy";

constexpr std::string_view kSetupCaption = "Login Error";
constexpr std::string_view kReplyCaption = "Log in error";
constexpr std::string_view kUnexpectedReply =
    "An unexpected response was received from the tournament server.";

std::string Decimal(std::uint32_t number) {
    // Shown as the platform's signed "%d" would show it.
    return std::to_string(static_cast<std::int32_t>(number));
}

std::optional<std::string_view> ProgressText(std::uint32_t status) {
    switch (status) {
    case kInternetStatusConnectingToServer: return "Connecting to server...";
    case kInternetStatusConnectedToServer: return "Connected to server...";
    case kInternetStatusSendingRequest: return "Sending data request...";
    case kInternetStatusRequestSent: return "Request Sent to Server...";
    case kInternetStatusReceivingResponse: return "Receiving Response...";
    case kInternetStatusResponseReceived: return "Response Received";
    case kInternetStatusCtlResponseReceived: return "Receiving Response...";
    case kInternetStatusPrefetch: return "Receiving Response...";
    case kInternetStatusClosingConnection: return "Disconnecting...";
    case kInternetStatusConnectionClosed: return "Disconnected.";
    case kInternetStatusHandleCreated: return "Receiving Response...";
    case kInternetStatusRedirect: return "Receiving Response...";
    case kInternetStatusIntermediateResponse: return "Receiving Response...";
    case kInternetStatusStateChange: return "Waiting for Server...";
    default: return std::nullopt;
    }
}

// The record's fields hold 49 characters; a longer value would be corrupted
// by cutting it, so such a reply is not taken at all.
bool FitsField(const std::string& value) { return value.size() < kUserTextSize; }

}  // namespace

LoginDialog::LoginDialog(Ports& ports, KXUserInfo* user_info, TraceLog& trace)
    : Dialog(LoginTemplate()),
      ports_(ports),
      user_info_(user_info),
      trace_(trace),
      engine_(*ports.inet) {}

void LoginDialog::OnInit() {
    trace_.Write("Init Login Dialog");
    if (user_info_ == nullptr) {
        ShowMessage("KXUserInfo not passed to login initialization.", kSetupCaption);
        host().EndDialog(kCancelled);
        return;
    }
    if (!engine_.OpenSession(InternetAccess::Preconfigured)) {
        ShowMessage("Unable to initialize internet connection. Error: " + Decimal(engine_.Error()),
                    kSetupCaption);
        host().EndDialog(kCancelled);
        return;
    }
    trace_.Write("INET Initialized");

    user_info_->LoadCredentials(*ports_.registry);
    host().SetItemText(kUserName, FieldText(user_info_->szUserName));
    if (user_info_->bSavePassword != 0) {
        host().SetItemText(kPassword, FieldText(user_info_->szPassword));
        host().SetCheck(kRememberPassword, CheckState::Checked);
    } else {
        host().SetItemText(kPassword, "");
        host().SetCheck(kRememberPassword, CheckState::Unchecked);
    }
    user_info_->LoadSoundOption(*ports_.registry);
    host().SetCheck(kPlaySounds,
                    user_info_->bPlaySounds != 0 ? CheckState::Checked : CheckState::Unchecked);

    trace_.Write("Set Window Focus");
    engine_.SetNotificationWindow(host().Poster());
    host().CenterOnOwner();
    host().BringToForeground();
    // The dialog hands its focus on to its first tab stop.
    host().FocusItem(kUserName);
}

void LoginDialog::OnCommand(int id, int notification) {
    if (notification != kBnClicked) return;
    switch (id) {
    case kIdOk: OnEnter(); break;
    case kIdCancel: OnCancel(); break;
    case kRegister: OnRegister(); break;
    case kGuestLogin: OnGuestLogin(); break;
    default: break;
    }
}

void LoginDialog::OnEnter() {
    trace_.Write("Click Login");
    const std::string user_name = host().GetItemText(kUserName, kFieldCapacity);
    const std::string password = host().GetItemText(kPassword, kFieldCapacity);
    if (user_name.empty()) {
        ShowMessage("Username cannot be blank.", kReplyCaption);
        return;
    }
    if (password.empty()) {
        ShowMessage("Password cannot be blank.", kReplyCaption);
        return;
    }

    CommandBody body("LOGIN");
    body.Add("USERNAME", user_name).Add("PASSWORD", password);
    trace_.Write("Sending Login Information");

    const std::string url = "https://" + ServiceHost(*ports_.registry) + std::string(kCommandPath);
    if (!engine_.StartPost(url, body.Text())) {
        ShowMessage("An error occurred sending request. (" + Decimal(engine_.Error()) + ")",
                    kSetupCaption);
        return;
    }
    SetInputsEnabled(Enablement::Disabled);
}

void LoginDialog::OnGuestLogin() {
    trace_.Write("Guest Login");
    host().SetItemText(kUserName, kGuestUserName);
    host().SetItemText(kPassword, kGuestPassword);
    OnEnter();
}

void LoginDialog::OnRegister() {
    trace_.Write("Click Register");
    RegistrationDialog registration(ports_);
    if (registration.RunModal(*ports_.windows, ports_.windows->ActiveWindow()) !=
        RegistrationDialog::kAccountCreated) {
        return;
    }
    // The registration writes the console-wide record, whichever record this dialog fills.
    const KXUserInfo& created = TheUserInfo();
    host().SetItemText(kUserName, FieldText(created.szUserName));
    host().SetItemText(kPassword, FieldText(created.szPassword));
}

void LoginDialog::OnCancel() {
    // Whatever the request still brings must not reach a dialog that has ended.
    engine_.Cancel();
    host().EndDialog(kCancelled);
}

void LoginDialog::OnInetStatus(std::uint32_t status) {
    if (const auto text = ProgressText(status)) host().SetItemText(kStatusLine, *text);
}

void LoginDialog::OnInetDone() {
    // The worker ends just after its completion message; until then the
    // engine would refuse the player's next try.
    engine_.WaitUntilIdle(kWorkerEndWait);
    const std::uint32_t status = engine_.StatusCode();
    trace_.Write("Login Command Complete", status, 0);

    // Every failure leaves the dialog ready for another try.
    const ReplyVerdict verdict = JudgeReply(engine_.Error(), status, engine_.ResponseBody(), response_);
    switch (verdict.outcome) {
    case ReplyOutcome::TransferFailure:
        ShowMessage("An error occurred sending request. (" + Decimal(engine_.Error()) + ")",
                    kSetupCaption);
        break;
    case ReplyOutcome::TransportFailure:
        ShowMessage("Error communicating with tournament server.\nPlease connect to the internet "
                    "and try again: (" +
                        Decimal(status) + ")",
                    kReplyCaption);
        break;
    case ReplyOutcome::UnexpectedReply:
        ShowMessage(kUnexpectedReply, kReplyCaption);
        break;
    case ReplyOutcome::Refused:
        ShowMessage(verdict.has_error_text ? std::string_view(verdict.error_text)
                                           : "An unknown error occured while loging in.",
                    kReplyCaption);
        break;
    case ReplyOutcome::Accepted:
        AcceptLogin();
        return;
    }
    SetInputsEnabled(Enablement::Enabled);
}

void LoginDialog::AcceptLogin() {
    std::string user_id;
    std::string session_id;
    const bool has_user_id = response_.Lookup("USERID", user_id);
    const bool has_session_id = response_.Lookup("SESSIONID", session_id);
    if (!has_user_id || !FitsField(user_id) || !FitsField(session_id)) {
        ShowMessage(kUnexpectedReply, kReplyCaption);
        SetInputsEnabled(Enablement::Enabled);
        return;
    }

    std::string monitor;
    KXUserInfo& info = *user_info_;
    info.bLoggedIn = 1;
    CopyToField(info.szUserID, user_id);
    CopyToField(info.szUserName, host().GetItemText(kUserName, kFieldCapacity));
    CopyToField(info.szPassword, host().GetItemText(kPassword, kFieldCapacity));
    if (has_session_id) CopyToField(info.szSessionID, session_id);
    info.bMonitor = response_.Lookup("MONITOR", monitor) ? 1 : 0;
    info.bSavePassword = host().GetCheck(kRememberPassword) == CheckState::Checked ? 1 : 0;
    info.bPlaySounds = host().GetCheck(kPlaySounds) == CheckState::Checked ? 1 : 0;

    info.SaveCredentials(*ports_.registry);
    info.SaveSoundOption(*ports_.registry);
    host().EndDialog(kLoggedIn);
}

void LoginDialog::OnClose() {
    // The window goes however the dialog ends; the engine's worker must not
    // post to it afterwards.
    engine_.Cancel();
    engine_.SetNotificationWindow(nullptr);
}

void LoginDialog::SetInputsEnabled(Enablement enablement) {
    for (const int id : {kUserName, kPassword, kRememberPassword, kIdOk, kRegister, kGuestLogin,
                         kPlaySounds}) {
        host().EnableItem(id, enablement);
    }
}

void LoginDialog::ShowMessage(std::string_view text, std::string_view caption) {
    host().ShowMessageBox(text, caption, MessageBoxButtons::Ok);
}

int RunLoginDialog(Ports& ports, KXUserInfo* user_info, WindowId owner, TraceLog& trace) {
    LoginDialog dialog(ports, user_info, trace);
    return dialog.RunModal(*ports.windows, owner) == LoginDialog::kLoggedIn
               ? LoginDialog::kLoggedIn
               : LoginDialog::kCancelled;
}

}  // namespace kx
