#pragma once

// Windows backend: the single-instance check.
//
// Implements:
//  - kx::SingleInstance: FindWindowA by the exact title, any class, and
//    SetForegroundWindow on what it found, restored first (ShowWindow with
//    SW_RESTORE) when it is minimised.
//
// Missing: two consoles started at the very same moment can both find no
// window, since the window comes only after the login; the second then
// runs without its class object, which the first registered.

#include "platform/single_instance.h"

namespace kx {

class WinSingleInstance final : public SingleInstance {
public:
    WindowId FindWindowByTitle(std::string_view title) override;
    void SetForegroundWindow(WindowId window) override;
};

}  // namespace kx
