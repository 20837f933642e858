#include "platform/linux/qt/qt_dialog_keys.h"

#include <utility>

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

#include "platform/dialog_host.h"
#include "platform/linux/qt/qt_dialog_controls.h"

namespace kx::qt_dialog {

namespace {

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

}  // namespace

bool IsDialogKey(const QKeyEvent& event) {
    if ((event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0) {
        return false;
    }
    return IsEnter(event.key()) || event.key() == Qt::Key_Escape;
}

DialogKeys::DialogKeys(QWidget& window, const Controls& controls, std::function<bool()> ended,
                       std::function<void(int id)> clicked)
    : window_(window),
      controls_(controls),
      ended_(std::move(ended)),
      clicked_(std::move(clicked)) {}

bool DialogKeys::eventFilter(QObject* watched, QEvent* event) {
    if (watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::KeyPress) {
            return HandleKey(widget, static_cast<QKeyEvent*>(event));
        }
        if (event->type() == QEvent::ShortcutOverride) {
            return HandlePageEscape(widget, static_cast<QKeyEvent*>(event));
        }
    }
    return QObject::eventFilter(watched, event);
}

void DialogKeys::DefaultCommand() {
    // The default id is IDOK; a disabled OK button takes no Enter.
    const Control* ok = controls_.Find(kIdOk);
    if (ok != nullptr && !ok->widget->isEnabledTo(&window_)) return;
    clicked_(kIdOk);
}

bool DialogKeys::HandlePageEscape(QWidget* target, QKeyEvent* event) {
    // Escape typed into a page: the web engine takes every Escape as handled
    // and never hands it back, so the dialog hears of it as the key is about
    // to go to the page (its shortcut override passing up through the
    // browser's widget), as IsDialogMessage would before the control.
    if (ended_() || !controls_.InBrowser(target) || !IsDialogKey(*event) ||
        event->key() != Qt::Key_Escape) {
        return false;
    }
    page_escape_sent_ = true;
    clicked_(kIdCancel);
    return true;
}

bool DialogKeys::HandleKey(QWidget* target, QKeyEvent* event) {
    if (ended_() || !IsDialogKey(*event)) return false;
    const int key = event->key();
    event->accept();

    // A key the dialog itself receives came from the focused control, or
    // was handed back by a web view.
    const bool page_key = controls_.InBrowser(target) ||
                          (target == &window_ && controls_.InBrowser(QApplication::focusWidget()));
    if (page_key) {
        // Enter stays the page's. Escape was sent on its way in, unless it
        // came without a shortcut override (no window has the focus).
        if (key == Qt::Key_Escape) {
            if (!page_escape_sent_) clicked_(kIdCancel);
            page_escape_sent_ = false;
        }
        return true;
    }
    if (key == Qt::Key_Escape) {
        clicked_(kIdCancel);
        return true;
    }
    // A focused push button is the default one for Enter.
    if (auto* button = qobject_cast<QPushButton*>(target);
        button != nullptr && button->window() == &window_) {
        if (button->isEnabled()) button->click();
        return true;
    }
    DefaultCommand();
    return true;
}

}  // namespace kx::qt_dialog
