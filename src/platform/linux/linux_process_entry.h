#pragma once

// Linux backend: what the entry function reads of its own process.
//
// Implements:
//  - kx::ProcessEntry: the command line rebuilt from /proc/self/cmdline (an
//    argument with a blank is quoted, as a Windows command line would hold
//    it), the executable's path from /proc/self/exe, no short path names,
//    common controls that need no set-up, and a plain sleep.

#include "platform/process_entry.h"

namespace kx {

class LinuxProcessEntry final : public ProcessEntry {
public:
    std::string CommandLine() override;
    std::string ModuleFileName() override;
    std::string ShortPathName(std::string_view path) override;
    void InitCommonControls(CommonControlClasses classes) override;
    void Sleep(std::uint32_t milliseconds) override;
};

// Joins arguments into one command line; the first is the program.
std::string JoinCommandLine(const std::string& nul_separated_arguments);

}  // namespace kx
