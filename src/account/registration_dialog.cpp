#include "account/registration_dialog.h"

#include <chrono>
#include <optional>

#include "account/registration_lists.h"
#include "account/user_info.h"
#include "base/form_encoding.h"
#include "net/reply.h"
#include "net/service_interface.h"
#include "platform/debug_output.h"
#include "resources/registration_template.h"

namespace kx {

namespace {

using namespace registration_control;

constexpr std::size_t kFieldCapacity = kUserTextSize;
constexpr auto kWorkerEndWait = std::chrono::seconds(5);

constexpr std::string_view kSetupCaption = "Registration Error";
constexpr std::string_view kFormCaption = "Registration error";
constexpr std::string_view kReplyCaption = "Log in error";

std::string Decimal(std::uint32_t number) {
    // Shown as the platform's signed "%d" would show it.
    return std::to_string(static_cast<std::int32_t>(number));
}

std::optional<std::string_view> ProgressText(std::uint32_t status) {
    switch (status) {
    case kInternetStatusConnectingToServer: return "Connecting to server...";
    case kInternetStatusConnectedToServer: return "Connected to server...";
    case kInternetStatusSendingRequest: return "Sending data request...";
    case kInternetStatusReceivingResponse:
    case kInternetStatusCtlResponseReceived:
    case kInternetStatusPrefetch:
    case kInternetStatusHandleCreated:
    case kInternetStatusRedirect:
    case kInternetStatusIntermediateResponse:
    case kInternetStatusStateChange: return "Receiving Response...";
    case kInternetStatusResponseReceived: return "";
    case kInternetStatusClosingConnection: return "Disconnecting...";
    case kInternetStatusConnectionClosed: return "Disconnected.";
    default: return std::nullopt;
    }
}

std::string RequestBody(const RegistrationForm& form) {
    CommandBody body("CREATEACCOUNT");
    body.Add("USERNAME", form.user_name)
        .Add("PASSWORD", form.password)
        .Add("EMAIL", form.email)
        .Add("FIRSTNAME", form.first_name)
        .Add("LASTNAME", form.last_name)
        .Add("CITY", form.city)
        .Add("STATE", form.state)
        .Add("ZIP", form.zip)
        .Add("ADDRESS", form.address)
        .Add("ADDRESS2", form.address2)
        .Add("COUNTRY", form.country)
        .Add("OTHERSTATE", form.other_state)
        .Add("ABOUT", form.about);
    return body.Text();
}

}  // namespace

RegistrationDialog::RegistrationDialog(Ports& ports)
    : Dialog(RegistrationTemplate()), ports_(ports), engine_(*ports.inet) {}

void RegistrationDialog::OnInit() {
    if (!engine_.OpenSession(InternetAccess::Preconfigured)) {
        ShowMessage("Unable to initialize internet connection. Error: " + Decimal(engine_.Error()),
                    kSetupCaption);
        host().EndDialog(kNoInternet);
        return;
    }
    for (const int id : {kUserName, kPassword, kConfirmPassword, kEmail, kAddress, kCity, kState,
                         kCountry, kZip, kHearAbout, kFirstName, kLastName}) {
        host().SetItemText(id, "");
    }
    FillLists();
    host().SetItemText(kAgreement, RegistrationAgreement());
    host().SetItemText(kStatusLine, "Please fill out this form");
    engine_.SetNotificationWindow(host().Poster());
    host().CenterOnOwner();
}

void RegistrationDialog::FillLists() {
    for (const std::string_view state : StateItems()) host().AddListItem(kState, state);
    for (const std::string_view country : CountryItems()) host().AddListItem(kCountry, country);
    host().SelectListItem(kCountry, kUnitedStatesItem);
    for (const std::string_view answer : HearAboutItems()) host().AddListItem(kHearAbout, answer);
}

void RegistrationDialog::OnCommand(int id, int notification) {
    if (notification != kBnClicked) return;
    switch (id) {
    case kIdOk: OnAgree(); break;
    case kIdCancel: OnCancel(); break;
    default: break;
    }
}

void RegistrationDialog::OnAgree() {
    const RegistrationForm form = ReadForm();
    new_user_name_ = form.user_name;
    new_password_ = form.password;
    if (const auto fault = CheckRegistrationForm(form)) {
        ShowMessage(fault->message, fault->caption);
        return;
    }

    const std::string body = RequestBody(form);
    const std::string url =
        "https://" + ServiceHost(*ports_.registry) + std::string(kCreateAccountCommandPath);
    OutputDebugText(url);
    OutputDebugText("?");
    // The debugger output may be a file; the password never goes there in clear.
    OutputDebugText(MaskPasswords(body));

    if (!engine_.StartPost(url, body)) {
        ShowMessage("An error occurred sending request. (" + Decimal(engine_.Error()) + ")",
                    kSetupCaption);
        return;
    }
    SetInputsEnabled(Enablement::Disabled);
}

RegistrationForm RegistrationDialog::ReadForm() {
    auto text = [this](int id) { return host().GetItemText(id, kFieldCapacity); };
    RegistrationForm form;
    form.user_name = text(kUserName);
    form.password = text(kPassword);
    form.confirm_password = text(kConfirmPassword);
    form.first_name = text(kFirstName);
    form.last_name = text(kLastName);
    form.address = text(kAddress);
    form.address2 = text(kAddress2);
    form.city = text(kCity);
    form.state = SelectedItemText(kState);
    form.other_state = text(kOtherState);
    form.zip = text(kZip);
    form.country = SelectedItemText(kCountry);
    form.about = SelectedItemText(kHearAbout);
    form.email = text(kEmail);
    return form;
}

std::string RegistrationDialog::SelectedItemText(int id) {
    const int selection = host().GetListSelection(id);
    if (selection == kNoListItem) return {};
    std::string item = host().GetListItemText(id, selection);
    // A list is read like any other field of the form.
    if (item.size() >= kFieldCapacity) item.resize(kFieldCapacity - 1);
    return item;
}

void RegistrationDialog::OnCancel() {
    // Whatever the request still brings must not reach a dialog that has ended.
    engine_.Cancel();
    host().EndDialog(kCancelled);
}

void RegistrationDialog::OnInetStatus(std::uint32_t status) {
    OutputDebugText("OnInetStateChanged \n");
    if (const auto text = ProgressText(status)) host().SetItemText(kStatusLine, *text);
}

void RegistrationDialog::OnInetDone() {
    // The worker ends just after its completion message; until then the
    // engine would refuse the player's next try.
    engine_.WaitUntilIdle(kWorkerEndWait);
    const std::uint32_t status = engine_.StatusCode();
    // Every failure leaves the form ready to be corrected and sent again.
    const ReplyVerdict verdict = JudgeReply(engine_.Error(), status, engine_.ResponseBody(), response_);
    switch (verdict.outcome) {
    case ReplyOutcome::TransferFailure:
        ShowMessage("An error occurred sending request. (" + Decimal(engine_.Error()) + ")",
                    kSetupCaption);
        break;
    case ReplyOutcome::TransportFailure:
        ShowMessage("Error communicating with tournament server.\nPlease try again: (" +
                        Decimal(status) + ")",
                    kFormCaption);
        break;
    case ReplyOutcome::UnexpectedReply:
        ShowMessage("An unexpected response was received from the tournament server.",
                    kReplyCaption);
        break;
    case ReplyOutcome::Refused:
        if (verdict.has_error_text) {
            ShowMessage(verdict.error_text, kFormCaption);
        } else {
            ShowMessage("An unknown error occured while sending registration information.",
                        kReplyCaption);
        }
        break;
    case ReplyOutcome::Accepted:
        AcceptAccount();
        return;
    }
    SetInputsEnabled(Enablement::Enabled);
}

void RegistrationDialog::AcceptAccount() {
    ShowMessage(
        "Congratulations!, You have successfully created a new account with $10 free game "
        "credits.\nYou can use this account to log in. Have Fun!",
        "Congratulations!");
    // Not logged in yet: the login dialog shows these for the player to send.
    KXUserInfo& info = TheUserInfo();
    CopyToField(info.szUserName, new_user_name_);
    CopyToField(info.szPassword, new_password_);
    info.bSavePassword = 1;
    info.SaveCredentials(*ports_.registry);
    host().EndDialog(kAccountCreated);
}

void RegistrationDialog::OnClose() {
    // The window goes however the dialog ends; the engine's worker must not
    // post to it afterwards.
    engine_.Cancel();
    engine_.SetNotificationWindow(nullptr);
}

void RegistrationDialog::SetInputsEnabled(Enablement enablement) {
    for (const int id : {kUserName, kPassword, kConfirmPassword, kEmail, kFirstName, kLastName,
                         kAddress, kAddress2, kCity, kState, kOtherState, kZip, kCountry,
                         kHearAbout, kIdOk}) {
        host().EnableItem(id, enablement);
    }
}

void RegistrationDialog::ShowMessage(std::string_view text, std::string_view caption) {
    host().ShowMessageBox(text, caption, MessageBoxButtons::Ok);
}

}  // namespace kx
