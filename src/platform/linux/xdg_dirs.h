#pragma once

// Linux backend: where per-user files live.
//
// Implements:
//  - the XDG base directories for configuration, state and data, with the
//    fallbacks the base-directory convention gives;
//  - the trace file's places: the current directory, else the state directory.

#include <filesystem>
#include <string>

namespace kx {

enum class XdgBase { Config, State, Data };

// $XDG_CONFIG_HOME or ~/.config; $XDG_STATE_HOME or ~/.local/state;
// $XDG_DATA_HOME or ~/.local/share. Relative values are ignored. Without a
// home directory the fallback hangs off the root, where writing fails.
std::string XdgBaseDirectory(XdgBase base);

// The user's home directory from $HOME or the password database; empty if none.
std::string HomeDirectory();

struct TraceFilePlaces {
    std::filesystem::path primary;   // debug.txt in the current directory
    std::filesystem::path fallback;  // in the state directory, which this creates
};

TraceFilePlaces TraceFileLocations();

}  // namespace kx
