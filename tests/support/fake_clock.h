#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace kx::test {

// A clock that stands still until the test moves it.
class FakeClock final : public Clock {
public:
    explicit FakeClock(std::uint64_t now = 0) : now_(now) {}

    std::uint64_t TickCount64() override { return now_; }

    void Set(std::uint64_t now) { now_ = now; }
    void Advance(std::uint64_t milliseconds) { now_ += milliseconds; }

private:
    std::uint64_t now_;
};

}  // namespace kx::test
