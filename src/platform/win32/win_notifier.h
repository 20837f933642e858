#pragma once

// Windows backend: the notifier.
//
// Implements:
//  - kx::Notifier as PostMessageA to the owner window: any thread may post,
//    the window's thread handles the message in its queue.
//  - A message that cannot be posted (the window is gone, its queue full)
//    is dropped and counted, never waited for.
//
// Missing: nothing the port asks for.

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "platform/notifier.h"

namespace kx {

class WinNotifier final : public Notifier {
public:
    explicit WinNotifier(HWND owner) : owner_(owner) {}

    void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;

    std::uint64_t DroppedMessages() const { return dropped_.load(); }

private:
    const HWND owner_;
    std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace kx
