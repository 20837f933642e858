#pragma once

// The console's trace file: one line per noteworthy step, each with the
// seconds since the line before, so support staff can see what the console
// did and how long each step took. Always on; its failures are never shown.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace kx {

class TraceLog {
public:
    TraceLog() = default;
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    // Opens `primary` with truncation, so each run starts a fresh file; when
    // that cannot be opened, `fallback` (if given) in the same way. When both
    // fail the log stays closed and later lines are lost without a report.
    void Open(Clock& clock, const std::filesystem::path& primary,
              const std::filesystem::path& fallback = {});

    // Appends "seconds,text,first:second" and flushes, so the line is on disk
    // when this returns.
    void Write(std::string_view text, std::int64_t first = 0, std::int64_t second = 0);

    void Close();

    bool IsOpen() const { return file_.is_open() && file_.good(); }
    const std::filesystem::path& Path() const { return path_; }

    // "%.2f" of the milliseconds as seconds, rounded half up, computed in
    // integers so that no precision is lost after days of uptime.
    static std::string FormatSeconds(std::uint64_t milliseconds);

private:
    Clock* clock_ = nullptr;
    std::ofstream file_;
    std::filesystem::path path_;
    std::uint64_t previous_ = 0;
};

// The process-wide trace log.
TraceLog& TheTraceLog();

// The trace file's name in the current directory.
inline constexpr std::string_view kTraceFileName = "debug.txt";

}  // namespace kx
