#include "platform/debug_output.h"

#include <atomic>
#include <cstdio>

namespace kx {

namespace {

void WriteToStandardError(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

std::atomic<DebugOutputSink> g_sink{&WriteToStandardError};

}  // namespace

void OutputDebugText(std::string_view text) { g_sink.load()(text); }

DebugOutputSink SetDebugOutputSink(DebugOutputSink sink) {
    return g_sink.exchange(sink != nullptr ? sink : &WriteToStandardError);
}

}  // namespace kx
