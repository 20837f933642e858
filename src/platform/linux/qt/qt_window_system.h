#pragma once

// Linux Qt front: dialogs and message boxes.
//
// Implements:
//  - kx::WindowSystem: a dialog template run modally as a QDialog whose
//    controls are placed from dialog units with the template's font metrics,
//    its owner disabled meanwhile (qt_dialog_host.h); GetActiveWindow; owned
//    message boxes (qt_dialog_modal.h);
//  - kx::DialogHost for each running dialog (item texts with a capacity,
//    checks, lists, progress bars, timers, centring, EndDialog);
//  - kx::Notifier per dialog as queued events, delivered on the UI thread
//    and never once the dialog has ended.
// Texts cross into Qt as Windows-1252 (qt_text.h).
//
// A WindowId is the address of the dialog's QWidget, valid while the dialog
// runs. ActiveWindow answers the active window when it is one of these
// dialogs or is owned by one (a message box); with no active window at all,
// as under an X server without a window manager, the topmost running dialog
// that is shown. A Yes/No message box has no Escape or close-box answer, as
// on Windows; Qt would answer No.
//
// Missing: dialog-unit rounding of the exact Windows font (the template's
// font is matched by a metric-compatible sans font, see qt_dialog_metrics.h).

#include <functional>
#include <memory>

#include "platform/browser.h"
#include "platform/dialog_host.h"

class QWidget;

namespace kx {

// A browser control as the dialog hosts it: the port the core uses and the
// widget the dialog places at the control's rectangle.
struct BrowserControl {
    std::unique_ptr<Browser> browser;
    QWidget* widget = nullptr;  // owned by its Qt parent
};
using BrowserFactory = std::function<BrowserControl(QWidget* parent)>;

class QtWindowSystem final : public WindowSystem {
public:
    // `browsers` makes the controls of kind WebBrowser; without it they stay empty.
    explicit QtWindowSystem(BrowserFactory browsers = {});
    ~QtWindowSystem() override;
    QtWindowSystem(const QtWindowSystem&) = delete;
    QtWindowSystem& operator=(const QtWindowSystem&) = delete;

    int RunModal(const DialogTemplate& dialog, DialogHandler& handler, WindowId owner) override;
    WindowId ActiveWindow() override;
    MessageBoxResult ShowMessageBox(WindowId owner, std::string_view text,
                                    std::string_view caption, MessageBoxButtons buttons) override;

    // The QWidget of a window of this system, or null.
    static QWidget* WidgetOf(WindowId window);

private:
    BrowserFactory browsers_;
};

}  // namespace kx
