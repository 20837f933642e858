#include "platform/win32/win_process_entry.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace kx {
namespace {

// Windows paths may be far longer than MAX_PATH; past this one is not ours.
constexpr DWORD kLongestPath = 32768;

}  // namespace

std::string WinProcessEntry::CommandLine() {
    const char* line = GetCommandLineA();
    return line == nullptr ? std::string() : std::string(line);
}

std::string WinProcessEntry::ModuleFileName() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(path.size());
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), size);
        if (length == 0) return {};
        // A path that filled the buffer may have been cut short.
        if (length < size) {
            path.resize(length);
            return path;
        }
        if (size >= kLongestPath) return {};
        path.resize(static_cast<std::size_t>(size) * 2);
    }
}

std::string WinProcessEntry::ShortPathName(std::string_view path) {
    const std::string long_path(path);
    if (long_path.find('\0') != std::string::npos) return {};
    std::string short_path(MAX_PATH, '\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length = GetShortPathNameA(long_path.c_str(), short_path.data(),
                                               static_cast<DWORD>(short_path.size()));
        if (length == 0) return {};
        if (length < short_path.size()) {
            short_path.resize(length);
            return short_path;
        }
        // Too small: the length asked for counts the terminating zero.
        if (length > kLongestPath) return {};
        short_path.resize(length);
    }
    return {};
}

void WinProcessEntry::InitCommonControls(CommonControlClasses classes) {
    INITCOMMONCONTROLSEX controls{sizeof controls, static_cast<DWORD>(classes)};
    InitCommonControlsEx(&controls);
}

void WinProcessEntry::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace kx
