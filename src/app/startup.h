#pragma once

// The process entry: one console at a time, the registration switches, and
// otherwise the console window served as a COM local server until it ends.

#include <filesystem>
#include <functional>
#include <string_view>

#include "base/trace_log.h"
#include "platform/clock.h"
#include "platform/com_server.h"
#include "platform/dialog_host.h"
#include "platform/dll_registration.h"
#include "platform/process_entry.h"
#include "platform/registry.h"
#include "platform/single_instance.h"
#include "platform/type_libraries.h"

namespace kx {

enum class ServerSwitch { None, RegServer, UnregServer };

// The first "-" or "/" whose whole rest of the line is "UnregServer" or
// "RegServer", compared without regard to case, decides; anything after the
// word, even a blank, makes it no switch.
ServerSwitch ScanSwitches(std::string_view command_line);

// What the entry function works with. Every pointer is set and outlives the call.
struct StartupParts {
    SingleInstance* single_instance = nullptr;
    ProcessEntry* process = nullptr;
    ComServer* com = nullptr;
    Registry* registry = nullptr;
    TypeLibraries* type_libraries = nullptr;
    DllRegistration* dlls = nullptr;
    WindowSystem* windows = nullptr;
    Clock* clock = nullptr;
    TraceLog* trace_log = nullptr;
    // Where the trace file goes, and where when that cannot be written (empty for nowhere).
    std::filesystem::path trace_file;
    std::filesystem::path trace_fallback;
};

// Creates the console window, runs it modally over `owner` and destroys it;
// returns only when the window has ended.
using RunConsoleWindow = std::function<void(WindowId owner)>;

// The entry function's work; returns the process's exit code.
int ConsoleMain(const StartupParts& parts, const RunConsoleWindow& run_console);

}  // namespace kx
