#pragma once

// Paths as the Windows tests handle them: the build's Linux paths as Wine
// sees them, files beside the test program, and case-free comparison.

#include <windows.h>

#include <algorithm>
#include <string>

namespace kx::test {

// Wine's Z: drive is the host's root.
inline std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

inline std::string Lower(std::string text) {
    if (!text.empty()) CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// A file that the build puts beside the running test program.
inline std::string BesideTheTests(const char* file) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string own(path);
    return own.substr(0, own.find_last_of('\\') + 1) + file;
}

}  // namespace kx::test
