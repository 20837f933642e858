#pragma once

// A manual-reset event: once set it stays set, releasing every waiter, until
// it is reset. The request engine hands over between its threads with three.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace kx {

enum class InitialState { NotSignalled, Signalled };

class ManualResetEvent {
public:
    explicit ManualResetEvent(InitialState initial);
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;
    ~ManualResetEvent() = default;

    void Set();
    void Reset();
    bool IsSet() const;

    // Waits until the event is set or `timeout` has passed; true if it is set.
    bool Wait(std::chrono::milliseconds timeout) const;

private:
    friend class EitherEventWaiter;
    struct Waiter;

    void Attach(Waiter* waiter);
    void Detach(Waiter* waiter);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    // Changed under the lock, so no waiter misses it; read without it, as the
    // request engine asks after every chunk of a download.
    std::atomic<bool> set_;
    // Waiters on this event and another one, woken by Set as well.
    std::vector<Waiter*> waiters_;
};

enum class SignalledEvent { First, Second };

// Waits without a time-out until either event is set. When both are set the
// first wins, so a cancel passed first is never overtaken by a completion.
SignalledEvent WaitForEither(ManualResetEvent& first, ManualResetEvent& second);

}  // namespace kx
