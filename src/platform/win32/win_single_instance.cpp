#include "platform/win32/win_single_instance.h"

#include <windows.h>

#include <string>

namespace kx {

WindowId WinSingleInstance::FindWindowByTitle(std::string_view title) {
    const std::string text(title);
    return reinterpret_cast<WindowId>(FindWindowA(nullptr, text.c_str()));
}

void WinSingleInstance::SetForegroundWindow(WindowId window) {
    if (window == kNoWindow) return;
    HWND other = reinterpret_cast<HWND>(window);
    // A minimised console is shown again as well as brought forward.
    if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
    ::SetForegroundWindow(other);
}

}  // namespace kx
