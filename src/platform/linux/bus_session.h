#pragma once

// Linux backend: the console's one session-bus connection, opened on first
// use and shared by the game services host and the single-instance check, so
// the check knows the console's own name when it owns the bus name.
// the check knows the console's own name when it owns the bus name.
//
// Implements:
//  - BusSession: a lazily opened session-bus connection, closed on request.

#include <memory>

#include "platform/linux/bus_connection.h"

namespace kx {

class BusSession {
public:
    BusSession() = default;
    BusSession(const BusSession&) = delete;
    BusSession& operator=(const BusSession&) = delete;

    // The connection, opened now if it is not yet; null when the session bus
    // cannot be reached.
    BusConnection* Connect() {
        if (!connection_) {
            int error = 0;
            connection_ = BusConnection::OpenSession(&error);
        }
        return connection_.get();
    }
    // The connection if it is open, else null; never opens one.
    BusConnection* Connection() const { return connection_.get(); }
    // Closing drops every name and object exported on the connection.
    void Close() { connection_.reset(); }

private:
    std::unique_ptr<BusConnection> connection_;
};

}  // namespace kx
