// The commands that only move the browser between the service's pages or
// end the console.

#include "app/command_dispatcher.h"
#include "base/captions.h"

namespace kx {

namespace {

constexpr const char* kMissingGameName =
    "GAMENAME parameter not supplied for SHOWTOURLIST command.";
constexpr const char* kMissingClientId =
    "CLIENTID parameter not supplied for SHOWTOURLIST command.";
constexpr const char* kMissingTournamentId =
    "TOURNAMENTID parameter not supplied for TOURDETAIL command.";

}  // namespace

void CommandDispatcher::ReportMissing(const char* text) {
    console_.ShowMessage(text, kCommandErrorCaption);
}

void CommandDispatcher::Login() { console_.LoginPrompt(); }

void CommandDispatcher::Exit() { console_.EndConsole(0); }

void CommandDispatcher::ShowTourList() {
    std::string game_name;
    if (console_.params.Lookup("GAMENAME", game_name)) {
        std::string client_id;
        if (!console_.params.Lookup("CLIENTID", client_id)) {
            ReportMissing(kMissingClientId);
            return;
        }
        session_.SelectGame(game_name, client_id);
    } else if (session_.strClientID.empty() || session_.strGameName.empty()) {
        ReportMissing(kMissingGameName);
        return;
    }
    console_.NavigateTo(console_.PageUrl(ConsolePage::TourList), "");
}

void CommandDispatcher::SelectClient() {
    std::string game_name;
    std::string client_id;
    if (!console_.params.Lookup("GAMENAME", game_name)) {
        ReportMissing(kMissingGameName);
    } else if (!console_.params.Lookup("CLIENTID", client_id)) {
        ReportMissing(kMissingClientId);
    } else {
        session_.SelectGame(game_name, client_id);
    }
    // Runs even after a missing parameter, so the player still gets the list
    // of a game selected before.
    ShowTourList();
}

void CommandDispatcher::ShowGameList() {
    session_.ClearGame();
    if (!session_.user.bLoggedIn) {
        console_.LoginPrompt();
        return;
    }
    console_.NavigateTo(console_.PageUrl(ConsolePage::Main), "");
}

void CommandDispatcher::Refresh() { console_.Refresh(); }

void CommandDispatcher::LastPlay() {
    if (session_.nLastTournID == 0) {
        console_.Refresh();
        return;
    }
    console_.NavigateTo(console_.PageUrl(ConsolePage::Standings),
                        "TOURNID=" + std::to_string(session_.nLastTournID));
}

void CommandDispatcher::TourDetail() {
    std::string tournament_id;
    if (!console_.params.Lookup("TOURNAMENTID", tournament_id)) {
        ReportMissing(kMissingTournamentId);
        return;
    }
    // Sent exactly as the page wrote it.
    console_.NavigateTo(console_.PageUrl(ConsolePage::Standings), "TOURNID=" + tournament_id);
}

void CommandDispatcher::ShowVersions() {
    console_.NavigateTo(console_.PageUrl(ConsolePage::SoftwareVersions), "");
}

}  // namespace kx
