#include "platform/win32/win_notifier.h"

namespace kx {

void WinNotifier::Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    if (!PostMessageA(owner_, message, static_cast<WPARAM>(wparam), static_cast<LPARAM>(lparam))) {
        dropped_.fetch_add(1);
    }
}

}  // namespace kx
