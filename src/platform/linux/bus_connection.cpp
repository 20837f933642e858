#include "platform/linux/bus_connection.h"

#include <poll.h>
#include <time.h>

#include <cstdint>
#include <limits>
#include <utility>

namespace kx {

namespace {

std::uint64_t MonotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

}  // namespace

std::unique_ptr<BusConnection> BusConnection::OpenSession(int* error) {
    sd_bus* raw = nullptr;
    const int result = sd_bus_open_user(&raw);
    if (result < 0) {
        if (error != nullptr) *error = result;
        return nullptr;
    }
    return std::unique_ptr<BusConnection>(new BusConnection(BusPtr(raw)));
}

BusConnection::BusConnection(BusPtr bus) : bus_(std::move(bus)) {
    const int fd = sd_bus_get_fd(bus_.get());
    if (fd >= 0) {
        readable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        writable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        QObject::connect(readable_.get(), &QSocketNotifier::activated, [this] { Serve(); });
        QObject::connect(writable_.get(), &QSocketNotifier::activated, [this] { Serve(); });
    }
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Serve(); });
    // The connection's greeting is still on its way: serve whatever is due.
    ServeSoon();
}

BusConnection::~BusConnection() {
    // The notifiers go before the descriptor they watch.
    readable_.reset();
    writable_.reset();
    timer_.stop();
}

void BusConnection::ServeSoon() {
    if (serving_) return;
    timer_.start(0);
}

void BusConnection::Serve() {
    // A handler that runs a nested loop must not re-enter the dispatch; the
    // outer dispatch goes on once it returns.
    if (serving_) return;
    serving_ = true;
    if (readable_) readable_->setEnabled(false);
    if (writable_) writable_->setEnabled(false);
    for (;;) {
        const int result = sd_bus_process(bus_.get(), nullptr);
        if (result <= 0) break;
    }
    serving_ = false;
    Rearm();
}

void BusConnection::Rearm() {
    if (!readable_ || sd_bus_is_open(bus_.get()) <= 0) {
        if (readable_) readable_->setEnabled(false);
        if (writable_) writable_->setEnabled(false);
        timer_.stop();
        return;
    }
    const int events = sd_bus_get_events(bus_.get());
    readable_->setEnabled(events >= 0 && (events & POLLIN) != 0);
    writable_->setEnabled(events >= 0 && (events & POLLOUT) != 0);

    std::uint64_t deadline = 0;
    if (sd_bus_get_timeout(bus_.get(), &deadline) < 0 ||
        deadline == std::numeric_limits<std::uint64_t>::max()) {
        timer_.stop();
        return;
    }
    const std::uint64_t now = MonotonicMicroseconds();
    const std::uint64_t wait_us = deadline > now ? deadline - now : 0;
    // Rounded up, so the timer never fires before the deadline and spins.
    const std::uint64_t wait_ms = (wait_us + 999u) / 1000u;
    const std::uint64_t capped = wait_ms > static_cast<std::uint64_t>(std::numeric_limits<int>::max())
                                     ? static_cast<std::uint64_t>(std::numeric_limits<int>::max())
                                     : wait_ms;
    timer_.start(static_cast<int>(capped));
}

}  // namespace kx
