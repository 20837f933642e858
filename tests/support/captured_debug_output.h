#pragma once

// Captures the debugger output for as long as it lives, one piece per call,
// from any thread. One capture at a time.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/debug_output.h"

namespace kx::test {

class CapturedDebugOutput {
public:
    CapturedDebugOutput();
    CapturedDebugOutput(const CapturedDebugOutput&) = delete;
    CapturedDebugOutput& operator=(const CapturedDebugOutput&) = delete;
    ~CapturedDebugOutput();

    std::vector<std::string> Pieces() const;
    std::size_t CountOf(std::string_view piece) const;

private:
    DebugOutputSink previous_;
};

}  // namespace kx::test
