#pragma once

// Linux backend: where the debugger output goes, chosen by the environment
// as a developer attaches a debugger on Windows.
//
// Implements:
//  - the debugger output's sink from KX_DEBUG_OUTPUT: unset or empty, the
//    output reaches nothing; "stderr", standard error; anything else is a
//    file path, appended to (created 0600).
//
// Missing: a choice after start; install once, before threads run.

#include <string_view>

namespace kx {

inline constexpr const char* kDebugOutputVariable = "KX_DEBUG_OUTPUT";

// Installs the sink `setting` names. False, and nothing installed beyond
// the silent default, when the file cannot be opened.
bool InstallDebugOutput(std::string_view setting);

// InstallDebugOutput with the environment's KX_DEBUG_OUTPUT.
bool InstallDebugOutputFromEnvironment();

}  // namespace kx
