#include "app/command_dispatcher.h"

#include <string_view>

#include "app/tip_command.h"
#include "net/install_command.h"
#include "play/play_tournament.h"

namespace kx {

namespace {

struct CommandEntry {
    std::string_view word;
    void (CommandDispatcher::*handler)();
};

}  // namespace

bool CommandDispatcher::DispatchCommand(const std::string& word) {
    static constexpr CommandEntry kCommands[] = {
        {"LOGIN", &CommandDispatcher::Login},
        {"TIP", &CommandDispatcher::Tip},
        {"EXIT", &CommandDispatcher::Exit},
        {"INSTALL", &CommandDispatcher::Install},
        {"UPGRADE", &CommandDispatcher::Upgrade},
        {"LOGOUT", &CommandDispatcher::Exit},
        {"SHOWTOURLIST", &CommandDispatcher::ShowTourList},
        {"SELECTCLIENT", &CommandDispatcher::SelectClient},
        {"SHOWGAMELIST", &CommandDispatcher::ShowGameList},
        {"PLAYTOURNAMENT", &CommandDispatcher::PlayTournament},
        {"REFRESH", &CommandDispatcher::Refresh},
        {"LASTPLAY", &CommandDispatcher::LastPlay},
        {"TOURDETAIL", &CommandDispatcher::TourDetail},
        {"SHOWVERSIONS", &CommandDispatcher::ShowVersions},
    };
    for (const CommandEntry& entry : kCommands) {
        if (word == entry.word) {
            (this->*entry.handler)();
            return true;
        }
    }
    return false;
}

void CommandDispatcher::Tip() { RunTipCommand(console_, ports_); }

void CommandDispatcher::Install() { RunInstallCommand(console_, InstallKind::Install, ports_); }

void CommandDispatcher::Upgrade() { RunInstallCommand(console_, InstallKind::Upgrade, ports_); }

void CommandDispatcher::PlayTournament() {
    kx::PlayTournament(console_, PlayParts{ports_, session_, play_, trace_});
}

}  // namespace kx
