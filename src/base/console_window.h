#pragma once

// The console window as the page commands that live outside it see it: the
// tip, install and play commands read the current command's parameters, show
// boxes over the window, move its browser and hide it while a game runs.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/console_page.h"
#include "base/key_value_store.h"
#include "platform/dialog_host.h"

namespace kx {

class ConsoleWindow {
public:
    // The owner of the console's message boxes; kNoWindow when not running.
    virtual WindowId Window() const = 0;

    // A box owned by the console window, with an OK button unless asked.
    virtual MessageBoxResult ShowMessage(std::string_view text, std::string_view caption,
                                         MessageBoxButtons buttons = MessageBoxButtons::Ok) = 0;

    // Posts the session's form data, then `extra`, to `url`.
    virtual void NavigateTo(const std::string& url, const std::string& extra) = 0;
    // Reloads the last page with the form data it was posted with.
    virtual void Refresh() = 0;
    virtual std::string PageUrl(ConsolePage page) const = 0;

    // Shows the login dialog unless somebody is logged in.
    virtual void LoginPrompt() = 0;
    // Ends the window's modal run with `result`.
    virtual void EndConsole(int result) = 0;

    // Nothing happens while the window does not exist.
    virtual void ShowConsoleWindow(Visibility visibility) = 0;
    virtual void CenterConsoleWindow() = 0;

    // The parameters of the current page command.
    KeyValueStore params;
    // The version report every navigation posts; rebuilt after an install.
    std::string versionReport;
    std::string lastUrl;
    std::string lastFormData;
    // When the last play was attempted; kept for the play session.
    std::uint32_t lastPlayTime = 0;

protected:
    ConsoleWindow() = default;
    ~ConsoleWindow() = default;
};

}  // namespace kx
