#pragma once

// Linux Qt front: what every modal window does to its owner, and the
// message box.
//
// Implements:
// - `OwnerDisabled` disables an owner for the time of a modal window, as
//   DialogBox and MessageBox do, and gives the owner back its enabled state
//   and its focused control afterwards (Qt moves focus out of a disabled
//   window; Windows keeps it).
// - `RunMessageBox` shows a QMessageBox with the exact text and caption,
//   owned by `owner` (parented and modal to it) or application-modal without
//   one. A Yes/No box has no Escape or close-box answer, as on Windows where
//   that box disables both: Qt would otherwise answer No.

#include <string_view>

#include <QPointer>
#include <QWidget>

#include "platform/dialog_host.h"

namespace kx::qt_dialog {

class OwnerDisabled {
public:
    // `owner` may be null; an owner already disabled is left as it is.
    explicit OwnerDisabled(QWidget* owner);
    ~OwnerDisabled();
    OwnerDisabled(const OwnerDisabled&) = delete;
    OwnerDisabled& operator=(const OwnerDisabled&) = delete;

    // Re-enables the owner, once, and gives it its focus and activation back
    // when it is visible.
    void Restore();

private:
    QPointer<QWidget> owner_;
    QPointer<QWidget> focus_;
    bool disabled_ = false;
};

MessageBoxResult RunMessageBox(QWidget* owner, std::string_view text, std::string_view caption,
                               MessageBoxButtons buttons);

}  // namespace kx::qt_dialog
