#include "app/console_commands.h"

#include "app/tip_command.h"
#include "net/install_command.h"
#include "play/play_tournament.h"

namespace kx {

void InstallConsoleCommands(ConsoleDialog& console, Ports& ports, ConsoleSession& session,
                            PlayContext& play, TraceLog& trace) {
    console.Hooks().tip = [&ports](ConsoleDialog& target) { RunTipCommand(target, ports); };
    console.Hooks().install = [&ports](ConsoleDialog& target, InstallKind kind) {
        RunInstallCommand(target, kind, ports);
    };
    InstallPlayCommand(console, PlayParts{ports, session, play, trace});
}

}  // namespace kx
