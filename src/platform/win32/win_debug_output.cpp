#include "platform/win32/win_debug_output.h"

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/debug_output.h"

namespace kx {

namespace {

void ToDebugger(std::string_view text) {
    // Nobody listening is the usual case; the copy is not worth making then.
    if (!IsDebuggerPresent()) return;
    const std::string line(text);
    OutputDebugStringA(line.c_str());
}

}  // namespace

void InstallWinDebugOutput() { SetDebugOutputSink(&ToDebugger); }

}  // namespace kx
