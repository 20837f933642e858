#pragma once

// The console window: a fixed-size frame around the browser that shows the
// service's pages. It asks for the login before it is first shown, posts the
// session with every navigation and takes commands from the pages.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/command_dispatcher.h"
#include "app/console_pages.h"
#include "account/console_session.h"
#include "base/console_window.h"
#include "base/dialog.h"
#include "base/ports.h"
#include "base/trace_log.h"
#include "play/play_context.h"
#include "platform/browser.h"

namespace kx {

class DocumentClickSink;

class ConsoleDialog final : public Dialog, public ConsoleWindow, private BrowserEvents {
public:
    static constexpr int kClientWidth = 800;
    static constexpr int kClientHeight = 545;

    // Runs the login dialog over `owner` and answers 1 (logged in) or 2
    // (cancelled).
    using LoginRunner = std::function<int(WindowId owner)>;

    // Needs the registry and window ports, and the internet port for the
    // login dialog.
    ConsoleDialog(Ports& ports, ConsoleSession& session, TraceLog& trace = TheTraceLog(),
                  PlayContext& play = ThePlayContext());
    ~ConsoleDialog() override;
    ConsoleDialog(const ConsoleDialog&) = delete;
    ConsoleDialog& operator=(const ConsoleDialog&) = delete;

    // Replaces the login dialog, as tests and other front ends need.
    void SetLoginRunner(LoginRunner runner) { login_runner_ = std::move(runner); }
    // The owner of the console's message boxes; kNoWindow when not running.
    WindowId Window() const override { return window_; }

    // Posts the session's form data, then `extra`, to `url`: the whole window
    // for the four whole-window pages, the frame "maintable" otherwise.
    void NavigateTo(const std::string& url, const std::string& extra) override;
    // Reloads lastUrl with lastFormData, the session not consulted again.
    void Refresh() override;
    // Shows the login dialog unless somebody is logged in; a cancelled
    // login ends the console. Once the page after a login has loaded, a
    // score the service never answered for is offered to its player.
    void LoginPrompt() override;
    // Ends the window's modal run with `result`.
    void EndConsole(int result) override;

    bool DispatchCommand(const std::string& word) { return dispatcher_.DispatchCommand(word); }
    // The click of the current document; the result goes back to the browser.
    bool OnClickHTMLDocument();
    // The on-load command of a top-level page that has just loaded.
    void DoPageLoad();

    // A box owned by the console window, with an OK button unless asked.
    MessageBoxResult ShowMessage(std::string_view text, std::string_view caption,
                                 MessageBoxButtons buttons = MessageBoxButtons::Ok) override;

    std::string PageUrl(ConsolePage page) const override;

    // The window's size changed: the browser fills the client area again.
    void OnSize();

    // The console's own window, hidden while a game client runs; nothing
    // happens while the window does not exist.
    void ShowConsoleWindow(Visibility visibility) override;
    void CenterConsoleWindow() override;

    void OnCommand(int id, int notification) override;

    // BrowserEvents.
    void BeforeNavigate2(BrowserIdentity frame, std::u16string_view url) override;
    void DocumentComplete(BrowserIdentity frame, std::u16string_view url) override;

private:
    void OnInit() override;
    void OnClose() override;

    void FitBrowser();
    void ReleaseDocument();
    void PostForm(const std::string& url, const std::string& form_data,
                  std::optional<std::string_view> target_frame);

    Ports& ports_;
    ConsoleSession& session_;
    TraceLog& trace_;
    PlayContext& play_;
    LoginRunner login_runner_;
    CommandDispatcher dispatcher_;

    WindowId window_ = kNoWindow;
    Browser* browser_ = nullptr;
    BrowserIdentity browser_identity_ = 0;
    bool listening_ = false;
    // A score left by a killed console is offered to its player once a run,
    // when the first page after the login has loaded.
    bool pending_offered_ = false;
    bool offer_due_ = false;
    std::shared_ptr<Document> document_;
    std::unique_ptr<DocumentClickSink> click_sink_;
};

}  // namespace kx
