#pragma once

// The single-instance port: finding the console that already runs, by the
// title of its window, and bringing it to the player. Linux answers for the
// owner of the console's bus name.

#include <string_view>

#include "platform/dialog_host.h"

namespace kx {

class SingleInstance {
public:
    virtual ~SingleInstance() = default;

    // FindWindowA(nullptr, title): a top-level window whose title is exactly
    // `title`, or kNoWindow.
    virtual WindowId FindWindowByTitle(std::string_view title) = 0;

    // SetForegroundWindow.
    virtual void SetForegroundWindow(WindowId window) = 0;
};

}  // namespace kx
