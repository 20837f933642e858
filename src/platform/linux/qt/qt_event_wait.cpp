#include "platform/linux/qt/qt_event_wait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>

#include <utility>
#include <vector>

namespace kx {

namespace {

struct Deferred {
    QPointer<QObject> context;
    std::function<void()> work;
};

int& HoldDepth() {
    static int depth = 0;
    return depth;
}

std::vector<Deferred>& DeferredWork() {
    static std::vector<Deferred> work;
    return work;
}

bool IsInput(const QEvent& event) {
    switch (event.type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::InputMethod:
            return true;
        // The window manager's close; a close the program makes itself is
        // not spontaneous and goes through.
        case QEvent::Close:
            return event.spontaneous();
        default:
            return false;
    }
}

// Throws the player's input away for as long as it lives: thrown away, not
// queued, so nothing pressed during the wait acts after it.
class InputHold final : public QObject {
public:
    InputHold() {
        ++HoldDepth();
        if (QCoreApplication* application = QCoreApplication::instance()) {
            application->installEventFilter(this);
        }
    }
    ~InputHold() override {
        if (QCoreApplication* application = QCoreApplication::instance()) {
            application->removeEventFilter(this);
        }
        if (--HoldDepth() > 0) return;
        std::vector<Deferred> work = std::move(DeferredWork());
        DeferredWork().clear();
        for (Deferred& item : work) {
            if (item.context) {
                QMetaObject::invokeMethod(item.context.data(), std::move(item.work),
                                          Qt::QueuedConnection);
            }
        }
    }
    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (IsInput(*event)) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

void WaitServingQtEvents(int process_fd) {
    // The notifier only has to wake the loop; the caller reaps the process.
    QSocketNotifier notifier(process_fd, QSocketNotifier::Read);
    notifier.setEnabled(true);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void WaitPaintingQtEvents(int process_fd, const std::function<bool()>& ended) {
    const InputHold hold;
    QSocketNotifier notifier(process_fd, QSocketNotifier::Read);
    notifier.setEnabled(true);
    while (!ended()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool QtInputHeld() { return HoldDepth() > 0; }

void AfterQtInputHold(QObject* context, std::function<void()> work) {
    if (context == nullptr) return;
    if (!QtInputHeld()) {
        QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
        return;
    }
    DeferredWork().push_back({context, std::move(work)});
}

}  // namespace kx
