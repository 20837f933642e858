#include "platform/linux/qt/qt_event_wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>

namespace kx {

void WaitServingQtEvents(int process_fd) {
    // The notifier only has to wake the loop; the caller reaps the process.
    QSocketNotifier notifier(process_fd, QSocketNotifier::Read);
    notifier.setEnabled(true);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace kx
