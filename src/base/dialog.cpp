#include "base/dialog.h"

#include "base/dialog_messages.h"

namespace kx {

int Dialog::RunModal(WindowSystem& windows, WindowId owner) {
    return windows.RunModal(template_, *this, owner);
}

void Dialog::OnInitDialog(DialogHost& host) {
    host_ = &host;
    OnInit();
}

void Dialog::OnCommand(int, int) {}

void Dialog::OnTimer(unsigned) {}

void Dialog::OnPosted(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    if (host_ == nullptr) return;
    switch (message) {
    case WM_INET_STATUS:
        OnInetStatus(static_cast<std::uint32_t>(wparam));
        break;
    case WM_INET_DONE:
        OnInetDone();
        break;
    case WM_INET_DATA:
        OnInetData(static_cast<std::uint32_t>(wparam), static_cast<std::uint32_t>(lparam));
        break;
    default:
        break;
    }
}

void Dialog::OnDestroy() {
    if (host_ == nullptr) return;
    OnClose();
    host_ = nullptr;
}

void Dialog::OnInetStatus(std::uint32_t) {}
void Dialog::OnInetDone() {}
void Dialog::OnInetData(std::uint32_t, std::uint32_t) {}
void Dialog::OnClose() {}

}  // namespace kx
