#pragma once

// Windows backend: the rendering mode of the browser control.
//
// Implements:
//  - the per-user feature control that makes the control render pages in
//    its current standards mode instead of its old compatibility default:
//    HKEY_CURRENT_USER "Software\Microsoft\Internet Explorer\Main\FeatureControl
//    \FEATURE_BROWSER_EMULATION", one REG_DWORD named by the program's file
//    name. The control reads it once per process, when its first instance
//    is made, so the entry writes it before any dialog runs.
//
// Missing: the machine-wide key, which a standard user cannot write.

#include <cstdint>
#include <optional>
#include <string_view>

namespace kx {

// The console's program, as the feature control names it.
inline constexpr std::string_view kBrowserProgramFile = "velora.exe";
// Standards mode of the control's current engine, whatever a page declares.
inline constexpr std::uint32_t kBrowserEmulationStandards = 11001;

// Writes `mode` for `program_file`; the Win32 error code, 0 on success.
long WriteBrowserEmulation(std::string_view program_file = kBrowserProgramFile,
                           std::uint32_t mode = kBrowserEmulationStandards);

// The value written for `program_file`, or none when it is absent or not a
// REG_DWORD.
std::optional<std::uint32_t> ReadBrowserEmulation(std::string_view program_file =
                                                      kBrowserProgramFile);

}  // namespace kx
