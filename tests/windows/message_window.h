#pragma once

// A message-only window on the test's thread, the stand-in for a dialog:
// what is posted to it is collected by pumping its queue.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace kx::test {

struct PostedMessage {
    UINT message = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
};

class MessageWindow {
public:
    MessageWindow() {
        static const ATOM window_class = [] {
            WNDCLASSA description{};
            description.lpfnWndProc = &DefWindowProcA;
            description.hInstance = GetModuleHandleA(nullptr);
            description.lpszClassName = "KxTestMessageWindow";
            return RegisterClassA(&description);
        }();
        if (window_class != 0) {
            window_ = CreateWindowExA(0, "KxTestMessageWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
        }
    }
    ~MessageWindow() { Destroy(); }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND get() const { return window_; }

    void Destroy() {
        if (window_ != nullptr) DestroyWindow(window_);
        window_ = nullptr;
    }

    // Pumps until `done` holds for what has come, or the time is up.
    std::vector<PostedMessage> PumpUntil(const std::function<bool(const PostedMessage&)>& done,
                                         std::chrono::milliseconds timeout) {
        std::vector<PostedMessage> got;
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout.count());
        for (;;) {
            MSG msg;
            while (PeekMessageA(&msg, window_, 0, 0, PM_REMOVE)) {
                got.push_back({msg.message, msg.wParam, msg.lParam});
                if (done(got.back())) return got;
            }
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return got;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                      QS_POSTMESSAGE);
        }
    }

private:
    HWND window_ = nullptr;
};

}  // namespace kx::test
