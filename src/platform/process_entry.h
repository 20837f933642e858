#pragma once

// The process-entry port: what the entry function reads of its own process
// and the two process-wide calls it makes besides COM.

#include <cstdint>
#include <string>
#include <string_view>

namespace kx {

// InitCommonControlsEx's class sets.
enum class CommonControlClasses : std::uint32_t { Progress = 0x20 };  // ICC_PROGRESS_CLASS

class ProcessEntry {
public:
    virtual ~ProcessEntry() = default;

    // GetCommandLineA: the whole command line, the program's own path included.
    virtual std::string CommandLine() = 0;

    // GetModuleFileNameA of the executable: its full, long path.
    virtual std::string ModuleFileName() = 0;

    // GetShortPathNameA: the path's short (8.3) form, or empty when the
    // system gives none.
    virtual std::string ShortPathName(std::string_view path) = 0;

    // InitCommonControlsEx: makes the control classes available to dialogs.
    virtual void InitCommonControls(CommonControlClasses classes) = 0;

    // Sleep: blocks the calling thread.
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace kx
