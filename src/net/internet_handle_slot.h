#pragma once

// Owns one internet handle that several threads touch: the status callback
// may deliver it, the worker uses and closes it, the owner closes it when the
// session is reopened. Exactly one of them closes it.

#include <atomic>

#include "platform/inet_api.h"

namespace kx {

class InternetHandleSlot {
public:
    explicit InternetHandleSlot(InetApi& inet) : inet_(inet) {}
    InternetHandleSlot(const InternetHandleSlot&) = delete;
    InternetHandleSlot& operator=(const InternetHandleSlot&) = delete;
    ~InternetHandleSlot() { Close(); }

    HInternet Get() const { return handle_.load(); }
    bool IsEmpty() const { return Get() == 0; }

    // Takes `handle`; a different one held before is closed, as nothing else would.
    void Adopt(HInternet handle) {
        const HInternet previous = handle_.exchange(handle);
        if (previous != 0 && previous != handle) inet_.InternetCloseHandle(previous);
    }

    // Takes `handle` only when the slot is empty; reports whether it did.
    bool AdoptIfEmpty(HInternet handle) {
        HInternet expected = 0;
        return handle_.compare_exchange_strong(expected, handle);
    }

    // Closes the handle held, if any, and reports whether that close succeeded.
    bool Close() {
        const HInternet handle = handle_.exchange(0);
        return handle == 0 || inet_.InternetCloseHandle(handle);
    }

private:
    InetApi& inet_;
    std::atomic<HInternet> handle_{0};
};

}  // namespace kx
