#include "base/trace_log.h"

#include <cinttypes>
#include <cstdio>

namespace kx {

void TraceLog::Open(Clock& clock, const std::filesystem::path& primary,
                    const std::filesystem::path& fallback) {
    Close();
    clock_ = &clock;
    previous_ = 0;
    for (const auto& candidate : {primary, fallback}) {
        if (candidate.empty()) continue;
        file_.clear();
        file_.open(candidate, std::ios::out | std::ios::trunc | std::ios::binary);
        if (file_.is_open()) {
            path_ = candidate;
            return;
        }
    }
    path_.clear();
}

void TraceLog::Write(std::string_view text, std::int64_t first, std::int64_t second) {
    if (clock_ == nullptr || !IsOpen()) return;

    const std::uint64_t now = clock_->TickCount64();
    // The first line shows the time since system start.
    const std::uint64_t elapsed = previous_ > 0 && now >= previous_ ? now - previous_ : now;
    previous_ = now;

    char numbers[64];
    std::snprintf(numbers, sizeof numbers, ",%" PRId64 ":%" PRId64 "\n", first, second);
    file_ << FormatSeconds(elapsed) << ',' << text << numbers;
    file_.flush();
}

void TraceLog::Close() {
    if (file_.is_open()) file_.close();
    file_.clear();
}

std::string TraceLog::FormatSeconds(std::uint64_t milliseconds) {
    const std::uint64_t hundredths = (milliseconds + 5) / 10;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%" PRIu64 ".%02" PRIu64, hundredths / 100,
                  hundredths % 100);
    return stamp;
}

TraceLog& TheTraceLog() {
    static TraceLog log;
    return log;
}

}  // namespace kx
