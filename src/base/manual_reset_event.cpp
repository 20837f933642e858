#include "base/manual_reset_event.h"

#include <algorithm>

namespace kx {

// Lock order: an event's mutex before a waiter's, never the other way round.
struct ManualResetEvent::Waiter {
    std::mutex mutex;
    std::condition_variable woken;
    bool signalled = false;
};

ManualResetEvent::ManualResetEvent(InitialState initial)
    : set_(initial == InitialState::Signalled) {}

void ManualResetEvent::Set() {
    const std::lock_guard lock(mutex_);
    set_ = true;
    changed_.notify_all();
    for (Waiter* waiter : waiters_) {
        const std::lock_guard waiter_lock(waiter->mutex);
        waiter->signalled = true;
        waiter->woken.notify_all();
    }
}

void ManualResetEvent::Reset() {
    const std::lock_guard lock(mutex_);
    set_ = false;
}

bool ManualResetEvent::IsSet() const { return set_.load(); }

bool ManualResetEvent::Wait(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return set_.load(); });
}

void ManualResetEvent::Attach(Waiter* waiter) {
    const std::lock_guard lock(mutex_);
    waiters_.push_back(waiter);
}

void ManualResetEvent::Detach(Waiter* waiter) {
    const std::lock_guard lock(mutex_);
    waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), waiter), waiters_.end());
}

// Registers one waiter with both events for the length of a wait, so that no
// Set can slip in unseen between testing the events and going to sleep.
class EitherEventWaiter {
public:
    EitherEventWaiter(ManualResetEvent& first, ManualResetEvent& second)
        : first_(first), second_(second) {
        first_.Attach(&waiter_);
        second_.Attach(&waiter_);
    }
    EitherEventWaiter(const EitherEventWaiter&) = delete;
    EitherEventWaiter& operator=(const EitherEventWaiter&) = delete;
    ~EitherEventWaiter() {
        first_.Detach(&waiter_);
        second_.Detach(&waiter_);
    }

    SignalledEvent Wait() {
        for (;;) {
            {
                const std::lock_guard lock(waiter_.mutex);
                waiter_.signalled = false;
            }
            if (first_.IsSet()) return SignalledEvent::First;
            if (second_.IsSet()) return SignalledEvent::Second;
            std::unique_lock lock(waiter_.mutex);
            waiter_.woken.wait(lock, [this] { return waiter_.signalled; });
        }
    }

private:
    ManualResetEvent& first_;
    ManualResetEvent& second_;
    ManualResetEvent::Waiter waiter_;
};

SignalledEvent WaitForEither(ManualResetEvent& first, ManualResetEvent& second) {
    EitherEventWaiter waiter(first, second);
    return waiter.Wait();
}

}  // namespace kx
