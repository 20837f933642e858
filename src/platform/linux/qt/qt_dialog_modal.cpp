#include "platform/linux/qt/qt_dialog_modal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QIcon>
#include <QMessageBox>

#include "platform/linux/qt/qt_text.h"

namespace kx::qt_dialog {

namespace {

// Windows shows CR LF, and a lone CR, as a line break.
QString LineBreaks(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// Takes Escape and the close box away from a box that has no answer for them.
class NoEscapeAnswer final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            return true;
        }
        if (event->type() == QEvent::Close && event->spontaneous()) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

OwnerDisabled::OwnerDisabled(QWidget* owner) : owner_(owner) {
    if (owner == nullptr || !owner->isEnabled()) return;
    focus_ = owner->focusWidget();
    owner->setEnabled(false);
    disabled_ = true;
}

OwnerDisabled::~OwnerDisabled() { Restore(); }

void OwnerDisabled::Restore() {
    if (!disabled_) return;
    disabled_ = false;
    if (owner_.isNull()) return;
    owner_->setEnabled(true);
    if (!focus_.isNull() && focus_->isEnabled() && focus_->window() == owner_) {
        focus_->setFocus(Qt::OtherFocusReason);
    }
    // The owner takes the activation back unless another program or window
    // has it by now.
    const QWidget* active = QApplication::activeWindow();
    if (owner_->isVisible() && !owner_->isMinimized() &&
        (active == nullptr || !active->isVisible() || active == owner_)) {
        owner_->activateWindow();
    }
}

MessageBoxResult RunMessageBox(QWidget* owner, std::string_view text, std::string_view caption,
                               MessageBoxButtons buttons) {
    QMessageBox box(owner);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(AnsiToQString(caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(LineBreaks(AnsiToQString(text)));

    NoEscapeAnswer no_escape;
    if (buttons == MessageBoxButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        // No close box either (a window manager that honours the hint).
        box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        box.installEventFilter(&no_escape);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    // Some styles put icons on standard buttons; the console's boxes have plain words.
    for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());
    box.setWindowModality(owner != nullptr ? Qt::WindowModal : Qt::ApplicationModal);

    OwnerDisabled disabled(owner);
    // A child window shares its parent's disabled state until told otherwise.
    box.setEnabled(true);
    box.exec();
    const QAbstractButton* clicked = box.clickedButton();
    box.hide();
    disabled.Restore();

    if (buttons == MessageBoxButtons::YesNo) {
        return clicked != nullptr && clicked == box.button(QMessageBox::Yes) ? MessageBoxResult::Yes
                                                                            : MessageBoxResult::No;
    }
    return MessageBoxResult::Ok;
}

}  // namespace kx::qt_dialog
