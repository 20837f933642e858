#pragma once

// The events of a trace file, without their times and numbers: each line is
// "seconds,text,first:second".

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kx::test {

inline std::vector<std::string> ReadTraceEvents(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<std::string> events;
    for (std::string line; std::getline(in, line);) {
        const auto first = line.find(',');
        const auto last = line.rfind(',');
        events.push_back(line.substr(first + 1, last - first - 1));
    }
    return events;
}

}  // namespace kx::test
