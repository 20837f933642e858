#pragma once

// The notifier port: posts a message to a window's owner on the UI thread,
// the stand-in for PostMessage to a window handle. Posting never waits for
// the UI thread, so worker and callback threads may call it at any time.

#include <cstdint>

namespace kx {

class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) = 0;
};

}  // namespace kx
