#pragma once

// Linux Qt front: waiting for a child process while the UI keeps serving.
//
// Implements:
//  - the UI wait of PosixProcesses on Qt's event loop: sleeps until the
//    process descriptor becomes readable or anything else arrives for the
//    UI thread (input, timers, posted events, bus calls), serves it, and
//    returns, so a game's calls are answered at once and an idle wait burns
//    no processor time.

namespace kx {

void WaitServingQtEvents(int process_fd);

}  // namespace kx
