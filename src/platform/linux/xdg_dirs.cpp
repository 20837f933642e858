#include "platform/linux/xdg_dirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

#include "base/trace_log.h"

namespace kx {

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

std::string XdgBaseDirectory(XdgBase base) {
    struct Convention {
        const char* variable;
        const char* fallback;  // under the home directory
    };
    const Convention convention = base == XdgBase::Config  ? Convention{"XDG_CONFIG_HOME", "/.config"}
                                  : base == XdgBase::State ? Convention{"XDG_STATE_HOME", "/.local/state"}
                                                           : Convention{"XDG_DATA_HOME", "/.local/share"};
    const char* value = std::getenv(convention.variable);
    if (value != nullptr && value[0] == '/') return value;
    // No home: callers then get a path where writing fails with a clear error,
    // rather than one in a directory that other users could share.
    return HomeDirectory() + convention.fallback;
}

TraceFilePlaces TraceFileLocations() {
    TraceFilePlaces places;
    std::error_code error;
    const std::filesystem::path current = std::filesystem::current_path(error);
    if (!error) places.primary = current / kTraceFileName;

    const std::filesystem::path state =
        std::filesystem::path(XdgBaseDirectory(XdgBase::State)) / "kestrix";
    std::filesystem::create_directories(state, error);
    std::filesystem::permissions(state, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, error);
    places.fallback = state / kTraceFileName;
    return places;
}

}  // namespace kx
