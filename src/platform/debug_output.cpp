#include "platform/debug_output.h"

#include <atomic>

namespace kx {

namespace {

// The traces carry request bodies; a player's session log must not.
void Discard(std::string_view /*text*/) {}

std::atomic<DebugOutputSink> g_sink{&Discard};

}  // namespace

void OutputDebugText(std::string_view text) { g_sink.load()(text); }

DebugOutputSink SetDebugOutputSink(DebugOutputSink sink) {
    return g_sink.exchange(sink != nullptr ? sink : &Discard);
}

}  // namespace kx
