#include "support/captured_debug_output.h"

#include <algorithm>
#include <mutex>

namespace kx::test {

namespace {

std::mutex g_mutex;
std::vector<std::string> g_pieces;

void Record(std::string_view text) {
    const std::lock_guard lock(g_mutex);
    g_pieces.emplace_back(text);
}

}  // namespace

CapturedDebugOutput::CapturedDebugOutput() {
    {
        const std::lock_guard lock(g_mutex);
        g_pieces.clear();
    }
    previous_ = SetDebugOutputSink(&Record);
}

CapturedDebugOutput::~CapturedDebugOutput() { SetDebugOutputSink(previous_); }

std::vector<std::string> CapturedDebugOutput::Pieces() const {
    const std::lock_guard lock(g_mutex);
    return g_pieces;
}

std::size_t CapturedDebugOutput::CountOf(std::string_view piece) const {
    const std::lock_guard lock(g_mutex);
    return static_cast<std::size_t>(std::count(g_pieces.begin(), g_pieces.end(), piece));
}

}  // namespace kx::test
