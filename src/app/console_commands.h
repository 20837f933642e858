#pragma once

// Puts the console together: the commands that other subsystems handle
// (TIP, INSTALL, UPGRADE, PLAYTOURNAMENT) are given to the dispatcher here,
// so the dispatcher itself depends on none of them.

#include "app/console_dialog.h"
#include "app/console_session.h"
#include "app/ports.h"
#include "app/trace_log.h"
#include "play/play_context.h"

namespace kx {

// Every port must be set and outlive the console, as must the session, the
// play context and the trace log.
void InstallConsoleCommands(ConsoleDialog& console, Ports& ports, ConsoleSession& session,
                            PlayContext& play = ThePlayContext(), TraceLog& trace = TheTraceLog());

}  // namespace kx
