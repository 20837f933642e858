#pragma once

// Windows backend: what the entry function reads of its own process.
//
// Implements:
//  - kx::ProcessEntry over GetCommandLineA, GetModuleFileNameA (a buffer
//    grown until the whole path fits, never a path cut short),
//    GetShortPathNameA (empty where the volume keeps no short names),
//    InitCommonControlsEx and Sleep.

#include "platform/process_entry.h"

namespace kx {

class WinProcessEntry final : public ProcessEntry {
public:
    std::string CommandLine() override;
    std::string ModuleFileName() override;
    std::string ShortPathName(std::string_view path) override;
    void InitCommonControls(CommonControlClasses classes) override;
    void Sleep(std::uint32_t milliseconds) override;
};

}  // namespace kx
