#include "platform/linux/linux_process_entry.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <thread>

namespace kx {

std::string JoinCommandLine(const std::string& nul_separated_arguments) {
    std::string line;
    std::size_t at = 0;
    while (at < nul_separated_arguments.size()) {
        std::size_t end = nul_separated_arguments.find('\0', at);
        if (end == std::string::npos) end = nul_separated_arguments.size();
        const std::string argument = nul_separated_arguments.substr(at, end - at);
        if (!line.empty()) line += ' ';
        const bool quote = argument.empty() || argument.find_first_of(" \t") != std::string::npos;
        line += quote ? "\"" + argument + "\"" : argument;
        at = end + 1;
    }
    return line;
}

std::string LinuxProcessEntry::CommandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string arguments((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
    return JoinCommandLine(arguments);
}

std::string LinuxProcessEntry::ModuleFileName() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

// Linux file systems have no 8.3 names.
std::string LinuxProcessEntry::ShortPathName(std::string_view) { return {}; }

// Qt's widgets need no class registration.
void LinuxProcessEntry::InitCommonControls(CommonControlClasses) {}

void LinuxProcessEntry::Sleep(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace kx
