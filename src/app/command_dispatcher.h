#pragma once

// Maps the fourteen command words of the pages to their handlers. The
// navigation commands are handled here; the tip, install, upgrade and play
// commands go to hooks that their own parts of the console fill in.

#include <functional>
#include <string>

#include "app/console_session.h"

namespace kx {

class ConsoleDialog;

enum class InstallKind { Install, Upgrade };

struct CommandHooks {
    std::function<void(ConsoleDialog&)> tip;
    std::function<void(ConsoleDialog&, InstallKind)> install;
    std::function<void(ConsoleDialog&)> play_tournament;
};

class CommandDispatcher {
public:
    CommandDispatcher(ConsoleDialog& console, ConsoleSession& session)
        : console_(console), session_(session) {}

    // True when `word` is, byte for byte, one of the command words, whatever
    // its handler did; an unknown word is not reported.
    bool DispatchCommand(const std::string& word);

    CommandHooks hooks;

private:
    void Login();
    void Tip();
    void Exit();
    void Install();
    void Upgrade();
    void ShowTourList();
    void SelectClient();
    void ShowGameList();
    void PlayTournament();
    void Refresh();
    void LastPlay();
    void TourDetail();
    void ShowVersions();

    void ReportMissing(const char* text);

    ConsoleDialog& console_;
    ConsoleSession& session_;
};

}  // namespace kx
