#pragma once

// A score the service never answered for, offered again once its player has
// logged in: posted as the play would have posted it, with the password of
// the new login, or kept for a later start if the player says no.

#include "base/console_window.h"
#include "play/play_tournament.h"

namespace kx {

// Runs once the player is logged in. A record of another player is left as
// it is; an unreadable one has been set aside and the player is told.
// Answers whether the player was asked or told anything.
bool OfferPendingScore(ConsoleWindow& console, const PlayParts& parts);

}  // namespace kx
