#pragma once

// Linux Qt front: the dialog manager's keys.
//
// Implements:
//  - Enter sends kIdOk unless the OK button is disabled, or clicks the
//    focused push button; Escape sends kIdCancel; with Ctrl, Alt or Meta
//    neither is the dialog's. The dialog sees them before the control does,
//    as IsDialogMessage does, and also the keys no control took;
//  - keys typed into a web-browser control are the page's, except that an
//    Escape the page leaves alone reaches the dialog.
//
// Missing: WS_GROUP; Tab and the arrows are Qt's own, Tab following the
// controls' order in the template.

#include <functional>

#include <QObject>

class QKeyEvent;
class QWidget;

namespace kx::qt_dialog {

class Controls;

// Enter or Escape without Ctrl, Alt or Meta.
bool IsDialogKey(const QKeyEvent& event);

// Installed as the event filter of every control of one dialog.
class DialogKeys final : public QObject {
public:
    // `ended` tells whether the dialog has ended, after which no key is its;
    // `clicked` sends BN_CLICKED of an id. `window` and `controls` must
    // outlive this object.
    DialogKeys(QWidget& window, const Controls& controls, std::function<bool()> ended,
               std::function<void(int id)> clicked);

    // A key that reached `target`, a control or the window itself; true when
    // the dialog took it.
    bool HandleKey(QWidget* target, QKeyEvent* event);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool HandlePageEscape(QWidget* target, QKeyEvent* event);
    void DefaultCommand();

    QWidget& window_;
    const Controls& controls_;
    std::function<bool()> ended_;
    std::function<void(int id)> clicked_;
    bool page_escape_sent_ = false;
};

}  // namespace kx::qt_dialog
