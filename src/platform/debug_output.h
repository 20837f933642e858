#pragma once

// The debugger output (OutputDebugStringA): low-level traces that only a
// developer watching the process sees. As on Windows with no debugger
// attached, it reaches nothing unless a backend or a test installs a sink.
// Safe to call from any thread.

#include <string_view>

namespace kx {

using DebugOutputSink = void (*)(std::string_view text);

void OutputDebugText(std::string_view text);

// Installs `sink` (nullptr restores the sink that drops everything) and
// returns the previous one.
DebugOutputSink SetDebugOutputSink(DebugOutputSink sink);

}  // namespace kx
