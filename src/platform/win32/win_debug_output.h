#pragma once

// Windows backend: the debugger output.
//
// Implements:
//  - the debugger output's sink over OutputDebugStringA: a debugger attached
//    to the console sees it, and nothing else does.

namespace kx {

// Installs the sink; once, before threads run.
void InstallWinDebugOutput();

}  // namespace kx
