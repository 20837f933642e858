#pragma once

// Linux backend: a session-bus connection served by Qt's event loop.
//
// Implements:
//  - owners of the sd-bus handles (bus, slot, message, name tracker), each
//    released exactly once by its own unref call;
//  - BusConnection: a session-bus connection whose file descriptor and
//    timeout are watched by the UI thread's Qt loop, so incoming calls are
//    dispatched on that thread by whichever loop runs (the main loop, a modal
//    dialog's loop, the wait for a game) and an idle connection costs nothing.

#include <systemd/sd-bus.h>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>

#include "base/unique_any.h"

namespace kx {

// Queued replies are flushed before a connection closes, so a peer is
// answered even when the connection goes right after.
using BusPtr = UniqueAny<sd_bus*, &sd_bus_flush_close_unref>;
using BusSlot = UniqueAny<sd_bus_slot*, &sd_bus_slot_unref>;
using BusMessage = UniqueAny<sd_bus_message*, &sd_bus_message_unref>;
using BusTrack = UniqueAny<sd_bus_track*, &sd_bus_track_unref>;

// An sd_bus_error freed when it goes.
class BusError {
public:
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&error_); }

    sd_bus_error* get() { return &error_; }
    bool Is(const char* name) const { return sd_bus_error_has_name(&error_, name) != 0; }
    const char* Name() const { return error_.name != nullptr ? error_.name : ""; }

private:
    sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

class BusConnection {
public:
    // The session bus of this user; null when it cannot be reached (`*error`
    // then holds the negative errno). Needs a running QCoreApplication.
    static std::unique_ptr<BusConnection> OpenSession(int* error);

    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;
    // Never from inside one of its own handlers: the dispatch still runs on it.
    ~BusConnection();

    sd_bus* get() const { return bus_.get(); }

    // Work queued outside a dispatch (a message sent, or replies read while
    // a blocking call waited) is not announced by the descriptor: this
    // serves it on the next turn of the loop.
    void ServeSoon();

private:
    explicit BusConnection(BusPtr bus);

    void Serve();
    void Rearm();

    BusPtr bus_;
    std::unique_ptr<QSocketNotifier> readable_;
    std::unique_ptr<QSocketNotifier> writable_;
    QTimer timer_;
    bool serving_ = false;
};

}  // namespace kx
