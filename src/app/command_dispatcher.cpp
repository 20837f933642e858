#include "app/command_dispatcher.h"

#include <string_view>

#include "app/console_dialog.h"

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

void CommandDispatcher::Tip() {
    if (hooks.tip) hooks.tip(console_);
}

void CommandDispatcher::Install() {
    if (hooks.install) hooks.install(console_, InstallKind::Install);
}

void CommandDispatcher::Upgrade() {
    if (hooks.install) hooks.install(console_, InstallKind::Upgrade);
}

void CommandDispatcher::PlayTournament() {
    if (hooks.play_tournament) hooks.play_tournament(console_);
}

}  // namespace kx
