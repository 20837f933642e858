#pragma once

// Maps the fourteen command words of the pages to their handlers. The
// navigation commands are handled here; the tip, install, upgrade and play
// commands run in their own parts of the console.

#include <string>

#include "account/console_session.h"
#include "base/console_window.h"
#include "base/ports.h"
#include "base/trace_log.h"
#include "play/play_context.h"

namespace kx {

class CommandDispatcher {
public:
    // Everything must outlive the dispatcher; every port must be set before
    // the first command that uses it.
    CommandDispatcher(ConsoleWindow& console, ConsoleSession& session, Ports& ports,
                      PlayContext& play, TraceLog& trace)
        : console_(console), session_(session), ports_(ports), play_(play), trace_(trace) {}

    // True when `word` is, byte for byte, one of the command words, whatever
    // its handler did; an unknown word is not reported.
    bool DispatchCommand(const std::string& word);

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

    ConsoleWindow& console_;
    ConsoleSession& session_;
    Ports& ports_;
    PlayContext& play_;
    TraceLog& trace_;
};

}  // namespace kx
