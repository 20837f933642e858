#include "app/console_dialog.h"

#include <algorithm>

#include "account/login_dialog.h"
#include "app/document_click_sink.h"
#include "app/page_commands.h"
#include "play/pending_offer.h"
#include "net/service_interface.h"
#include "net/version_report.h"
#include "resources/console_template.h"

namespace kx {

namespace {

constexpr std::string_view kConsoleErrorCaption = "Console Error";

}  // namespace

ConsoleDialog::ConsoleDialog(Ports& ports, ConsoleSession& session, TraceLog& trace,
                             PlayContext& play)
    : Dialog(ConsoleTemplate()),
      ports_(ports),
      session_(session),
      trace_(trace),
      play_(play),
      login_runner_([this](WindowId owner) {
          return RunLoginDialog(ports_, &session_.user, owner, trace_);
      }),
      dispatcher_(*this, session, ports, play, trace) {}

ConsoleDialog::~ConsoleDialog() = default;

void ConsoleDialog::OnInit() {
    window_ = host().Window();
    BuildVersionReport(*ports_.registry, versionReport);

    browser_ = host().GetBrowser(console_control::kBrowser);
    if (browser_ != nullptr) {
        browser_identity_ = browser_->Identity();
        browser_->PutRegisterAsDropTarget(DropTarget::Refused);
    }

    host().SetClientSize(kClientWidth, kClientHeight);
    FitBrowser();
    host().CenterOnOwner();

    LoginPrompt();

    // Only now, so that no page command runs before the login has settled.
    if (browser_ != nullptr) listening_ = !Failed(browser_->AdviseEvents(*this));
}

void ConsoleDialog::OnSize() {
    if (HasHost()) FitBrowser();
}

void ConsoleDialog::ShowConsoleWindow(Visibility visibility) {
    if (HasHost()) host().ShowWindow(visibility);
}

void ConsoleDialog::CenterConsoleWindow() {
    if (HasHost()) host().CenterOnOwner();
}

void ConsoleDialog::FitBrowser() {
    const PixelRect client = host().GetClientRect();
    host().MoveItem(console_control::kBrowser, {0, 0, client.width(), client.height()});
}

void ConsoleDialog::OnCommand(int id, int) {
    // Enter must not close the console; only Escape and the close box do.
    if (id == kIdCancel) EndConsole(2);
}

void ConsoleDialog::OnClose() {
    if (listening_) {
        browser_->UnadviseEvents();
        listening_ = false;
    }
    if (document_ && click_sink_) {
        ReleaseDocument();
        click_sink_.reset();
    }
    browser_ = nullptr;
    window_ = kNoWindow;
    trace_.Close();
}

void ConsoleDialog::ReleaseDocument() {
    click_sink_->Detach();
    document_.reset();
}

void ConsoleDialog::BeforeNavigate2(BrowserIdentity frame, std::u16string_view) {
    if (browser_ != nullptr && frame == browser_identity_ && document_ && click_sink_) {
        ReleaseDocument();
    }
}

void ConsoleDialog::DocumentComplete(BrowserIdentity frame, std::u16string_view) {
    if (browser_ != nullptr && frame == browser_identity_) {
        if (!click_sink_) {
            click_sink_ =
                std::make_unique<DocumentClickSink>([this] { return OnClickHTMLDocument(); });
        }
        std::shared_ptr<Document> document;
        if (!Failed(browser_->GetDocument(document)) && document) {
            if (document_) ReleaseDocument();
            document_ = document;
            if (!Failed(document->QueryHtmlDocument()) &&
                !Failed(click_sink_->Attach(document))) {
                DoPageLoad();
            }
        }
        // Asked over the console's first page, so the player sees where the
        // answer goes.
        if (offer_due_) {
            offer_due_ = false;
            pending_offered_ = OfferPendingScore(*this, PlayParts{ports_, session_, play_, trace_});
        }
    }
    trace_.Write("Navigate Complete");
}

bool ConsoleDialog::OnClickHTMLDocument() {
    // Held here: a command's modal loop may release the console's own reference.
    const std::shared_ptr<Document> document = document_;
    if (!document || !HasHost()) return false;
    const std::optional<std::string> word =
        ReadPageCommand(*document, PageCommandSource::Click, ServiceHost(*ports_.registry),
                        params, host());
    return word && DispatchCommand(*word);
}

void ConsoleDialog::DoPageLoad() {
    const std::shared_ptr<Document> document = document_;
    if (!document || !HasHost()) return;
    const std::optional<std::string> word =
        ReadPageCommand(*document, PageCommandSource::PageLoad, ServiceHost(*ports_.registry),
                        params, host());
    if (word) DispatchCommand(*word);
}

std::string ConsoleDialog::PageUrl(ConsolePage page) const {
    return ConsolePageUrl(*ports_.registry, page);
}

void ConsoleDialog::NavigateTo(const std::string& url, const std::string& extra) {
    trace_.Write("Nav to " + url);
    // Copies first: the caller may pass lastUrl itself.
    std::string target_url = url;
    std::string form_data = BuildNavigationFormData(session_, versionReport, extra);
    lastUrl = target_url;
    lastFormData = form_data;
    PostForm(target_url, form_data, NavigationTarget(*ports_.registry, target_url));
}

void ConsoleDialog::Refresh() {
    trace_.Write("Refresh");
    PostForm(lastUrl, lastFormData, RefreshTarget(*ports_.registry, lastUrl));
}

void ConsoleDialog::PostForm(const std::string& url, const std::string& form_data,
                             std::optional<std::string_view> target_frame) {
    if (browser_ == nullptr) return;
    const std::unique_ptr<PostData> post_data = browser_->CreatePostData(form_data.size());
    if (!post_data) {
        ShowMessage("Out of memory", kConsoleErrorCaption);
        return;
    }
    std::span<std::uint8_t> bytes;
    const HResult access = post_data->AccessData(bytes);
    if (!Failed(access) && bytes.size() < form_data.size()) post_data->UnaccessData();
    if (Failed(access) || bytes.size() < form_data.size()) {
        ShowMessage("Safe Array access error!", kConsoleErrorCaption);
        return;
    }
    std::transform(form_data.begin(), form_data.end(), bytes.begin(),
                   [](char c) { return static_cast<std::uint8_t>(c); });
    post_data->UnaccessData();
    browser_->Navigate2(url, kConsoleNavigationFlags, target_frame, *post_data,
                        kFormContentTypeHeader);
}

void ConsoleDialog::LoginPrompt() {
    if (session_.user.bLoggedIn) return;
    const int result = login_runner_(ports_.windows->ActiveWindow());
    if (result == 2) {
        EndConsole(0);
    } else if (result == 1) {
        NavigateTo(PageUrl(ConsolePage::Main), "");
        offer_due_ = !pending_offered_;
    }
}

void ConsoleDialog::EndConsole(int result) {
    if (HasHost()) host().EndDialog(result);
}

MessageBoxResult ConsoleDialog::ShowMessage(std::string_view text, std::string_view caption,
                                            MessageBoxButtons buttons) {
    if (HasHost()) return host().ShowMessageBox(text, caption, buttons);
    return ports_.windows->ShowMessageBox(kNoWindow, text, caption, buttons);
}

}  // namespace kx
