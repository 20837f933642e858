#pragma once

// One tournament play, from the player's click to the posted score: the
// service grants a play id, the game client runs while the console hides and
// serves its calls, the score goes back with its checksum, and the rank is
// answered with a sound, a game log upload for a monitored first place and
// the reloaded tournament list.

#include "account/console_session.h"
#include "base/console_window.h"
#include "base/ports.h"
#include "base/trace_log.h"
#include "play/play_context.h"

namespace kx {

// What a play works with besides the console window. Every port of `ports`
// must be set, and everything must outlive the console window.
struct PlayParts {
    Ports& ports;
    ConsoleSession& session;
    PlayContext& play;
    TraceLog& trace;
};

// The PLAYTOURNAMENT command on the console's current parameters. Returns
// only when the play is over; every outcome has been shown to the player.
void PlayTournament(ConsoleWindow& console, const PlayParts& parts);

}  // namespace kx
