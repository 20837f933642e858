#pragma once

// A notification window for tests: records every posted message, from any
// thread, and lets a test wait for one.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

#include "platform/notifier.h"

namespace kx::test {

struct PostedMessage {
    std::uint32_t message = 0;
    std::uintptr_t wparam = 0;
    std::intptr_t lparam = 0;

    bool operator==(const PostedMessage&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const PostedMessage& posted) {
        return out << "{0x" << std::hex << posted.message << std::dec << ", " << posted.wparam
                   << ", " << posted.lparam << "}";
    }
};

// A notifier the test itself keeps alive, handed out as the shared owner the
// engine takes; it must outlive every engine given it.
inline std::shared_ptr<Notifier> Unowned(Notifier& notifier) {
    return std::shared_ptr<Notifier>(std::shared_ptr<void>(), &notifier);
}

class RecordingNotifier final : public Notifier {
public:
    void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override {
        {
            const std::lock_guard lock(mutex_);
            messages_.push_back({message, wparam, lparam});
        }
        posted_.notify_all();
    }

    std::vector<PostedMessage> Messages() const {
        const std::lock_guard lock(mutex_);
        return messages_;
    }

    std::vector<PostedMessage> MessagesOf(std::uint32_t message) const {
        const std::lock_guard lock(mutex_);
        std::vector<PostedMessage> found;
        std::copy_if(messages_.begin(), messages_.end(), std::back_inserter(found),
                     [&](const PostedMessage& posted) { return posted.message == message; });
        return found;
    }

    std::size_t Count(std::uint32_t message) const { return MessagesOf(message).size(); }

    // Waits until `count` messages of this number have been posted.
    bool WaitFor(std::uint32_t message, std::chrono::milliseconds timeout,
                 std::size_t count = 1) const {
        std::unique_lock lock(mutex_);
        return posted_.wait_for(lock, timeout, [&] {
            return static_cast<std::size_t>(std::count_if(messages_.begin(), messages_.end(),
                                                          [&](const PostedMessage& posted) {
                                                              return posted.message == message;
                                                          })) >= count;
        });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable posted_;
    std::vector<PostedMessage> messages_;
};

}  // namespace kx::test
