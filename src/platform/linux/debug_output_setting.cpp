#include "platform/linux/debug_output_setting.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/debug_output.h"

namespace kx {

namespace {

std::atomic<int> g_fd{-1};

// One write per piece, so pieces from two threads never interleave inside.
void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

void WriteToStandardError(std::string_view text) { WriteAll(STDERR_FILENO, text); }

void WriteToFile(std::string_view text) {
    const int fd = g_fd.load();
    if (fd >= 0) WriteAll(fd, text);
}

void CloseFile() {
    const int old = g_fd.exchange(-1);
    if (old >= 0) ::close(old);
}

}  // namespace

bool InstallDebugOutput(std::string_view setting) {
    SetDebugOutputSink(nullptr);
    CloseFile();
    if (setting.empty()) return true;
    if (setting == "stderr") {
        SetDebugOutputSink(&WriteToStandardError);
        return true;
    }
    const std::string path(setting);
    if (path.find('\0') != std::string::npos) return false;
    // Close-on-exec: a game started later must not hold the console's trace.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) return false;
    g_fd.store(fd);
    SetDebugOutputSink(&WriteToFile);
    return true;
}

bool InstallDebugOutputFromEnvironment() {
    const char* setting = std::getenv(kDebugOutputVariable);
    return InstallDebugOutput(setting != nullptr ? setting : "");
}

}  // namespace kx
