#pragma once

// Posting a score until the service answers for it, and what the player is
// told once it has: a live play and a score kept from a killed console go
// through the same requests, questions and feedback.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/console_page.h"
#include "base/console_window.h"
#include "base/key_value_store.h"
#include "play/pending_score.h"
#include "play/play_tournament.h"
#include "play/server_wait_dialog.h"

namespace kx {

// The ENDGAME body for `score`: the fixed fields, the score as a signed
// number, then the game's items.
std::string EndGameForm(const PendingScore& score, std::string_view password);

// Cancelled leaves the score's fate open: the service may have it already.
enum class PostOutcome { Answered, Cancelled, GivenUp };

// Posts `form` with `wait` until the service answers with an ERRORCODE or the
// player gives the score up; failures ask whether to try again.
PostOutcome PostScore(ConsoleWindow& console, const PlayParts& parts, ServerWaitDialog& wait,
                      const std::string& form);

// Where the rank is shown: the page and what its form data starts with.
struct RankPage {
    ConsolePage page = ConsolePage::TourList;
    std::string extra;
};

// The play the service answered for, as the session remembers it.
struct ScoredPlay {
    std::int32_t playId = 0;
    std::int32_t tournamentId = 0;
};

// Judges the reply of an Answered post. A refusal is shown and answers
// false. An acceptance becomes the session's last play, sounds the rank,
// uploads a monitored first place's game log, shows `rank_page` with the
// rank and answers true.
bool JudgeScoreReply(ConsoleWindow& console, const PlayParts& parts, const KeyValueStore& reply,
                     ScoredPlay scored, const RankPage& rank_page);

}  // namespace kx
