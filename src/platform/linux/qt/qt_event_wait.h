#pragma once

// Linux Qt front: waiting for a child process while the UI keeps serving,
// and waiting for one while the UI only paints.
//
// Implements:
//  - the UI wait of PosixProcesses on Qt's event loop: sleeps until the
//    process descriptor becomes readable or anything else arrives for the
//    UI thread (input, timers, posted events, bus calls), serves it, and
//    returns, so a game's calls are answered at once and an idle wait burns
//    no processor time;
//  - the modal wait of PosixProcesses: the same sleep, but while it runs the
//    input is held: keys, mouse, wheel, touch, drops and the window
//    manager's close requests are thrown away, dialogs take no command and
//    no timer, and the browser's page events wait (its clicks are dropped)
//    until the wait is over. Painting, posted events and bus calls go on, so
//    the windows stay drawn.

#include <functional>

class QObject;

namespace kx {

void WaitServingQtEvents(int process_fd);

void WaitPaintingQtEvents(int process_fd, const std::function<bool()>& ended);

// Whether a painting wait runs; the UI thread's dialogs and browsers ask.
bool QtInputHeld();

// Runs `work` on the UI thread once no painting wait runs any more, unless
// `context` has gone by then; queued at once when none runs.
void AfterQtInputHold(QObject* context, std::function<void()> work);

}  // namespace kx
