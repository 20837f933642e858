#pragma once

// Linux backend: the single-instance test on the session bus.
//
// Implements:
//  - kx::SingleInstance: the console that owns the bus name is the window
//    found by the console's title (never the console asking), and bringing
//    it forward calls its Window interface's Activate, waiting two seconds
//    at most. It connects on first use, before the services are initialised.
//    A console that finds no owner owns the name from then on, so of two
//    started at the same moment exactly one finds the other.

#include <string>
#include <string_view>

#include "platform/linux/bus_session.h"
#include "platform/single_instance.h"

namespace kx {

class BusSingleInstance final : public SingleInstance {
public:
    // `session` must outlive this object.
    explicit BusSingleInstance(BusSession& session) : session_(session) {}

    WindowId FindWindowByTitle(std::string_view title) override;
    void SetForegroundWindow(WindowId window) override;

private:
    BusSession& session_;
    // The unique name of the other console last found.
    std::string other_console_;
    WindowId other_console_window_ = kNoWindow;
};

}  // namespace kx
