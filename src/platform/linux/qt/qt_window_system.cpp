#include "platform/linux/qt/qt_window_system.h"

#include <utility>

#include <QApplication>
#include <QThread>
#include <QWidget>

#include "platform/linux/qt/qt_dialog_host.h"
#include "platform/linux/qt/qt_dialog_modal.h"

namespace kx {

namespace {

// Dialogs need a QApplication and its thread.
bool OnUiThread() {
    const QCoreApplication* application = QCoreApplication::instance();
    return qobject_cast<const QApplication*>(application) != nullptr &&
           QThread::currentThread() == application->thread();
}

}  // namespace

QtWindowSystem::QtWindowSystem(BrowserFactory browsers) : browsers_(std::move(browsers)) {}

QtWindowSystem::~QtWindowSystem() = default;

int QtWindowSystem::RunModal(const DialogTemplate& dialog, DialogHandler& handler,
                             WindowId owner) {
    if (!OnUiThread()) return -1;
    QtDialogHost host(dialog, handler, WidgetOf(owner), browsers_);
    return host.Run();
}

WindowId QtWindowSystem::ActiveWindow() {
    if (!OnUiThread()) return kNoWindow;
    // The active window when it is a dialog of ours, or the dialog that owns
    // it (a message box, a list's popup).
    const QWidget* active = QApplication::activeWindow();
    for (const QWidget* window = active; window != nullptr; window = window->parentWidget()) {
        const WindowId id = reinterpret_cast<WindowId>(window);
        if (QtDialogHost::FromWindow(id) != nullptr) return id;
    }
    if (active != nullptr) return kNoWindow;
    // Nothing of this program is active, as under a bare X server with no
    // window manager to activate anything: the topmost running dialog that
    // is shown, so that message boxes are owned by the window in front.
    const auto& live = QtDialogHost::Live();
    for (auto it = live.rbegin(); it != live.rend(); ++it) {
        const QtDialogHost* host = *it;
        if (!host->HasEnded() && host->Widget()->isVisible()) return host->Window();
    }
    return kNoWindow;
}

MessageBoxResult QtWindowSystem::ShowMessageBox(WindowId owner, std::string_view text,
                                                std::string_view caption,
                                                MessageBoxButtons buttons) {
    if (!OnUiThread()) {
        return buttons == MessageBoxButtons::YesNo ? MessageBoxResult::No : MessageBoxResult::Ok;
    }
    return qt_dialog::RunMessageBox(WidgetOf(owner), text, caption, buttons);
}

QWidget* QtWindowSystem::WidgetOf(WindowId window) {
    const QtDialogHost* host = QtDialogHost::FromWindow(window);
    return host != nullptr ? host->Widget() : nullptr;
}

}  // namespace kx
