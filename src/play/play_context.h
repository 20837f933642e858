#pragma once

// The current play, shared by the play session that starts it and posts its
// score and the game services objects through which the game client reads
// and writes it. Everything runs on the user-interface thread: no lock.

#include <cstdint>
#include <string_view>

#include "base/key_value_store.h"

namespace kx {

class PendingScoreKeeper;

struct PlayContext {
    // The whole STARTTOUR reply of the current play; the game client's items.
    KeyValueStore startResponse;
    // Items the game client stores; sent with every later score.
    KeyValueStore gameData;
    std::uint32_t score = 0;
    std::int32_t scoreReceived = 0;
    // Game clients may initialise only while this is set.
    std::int32_t playActive = 0;
    std::int32_t tournamentId = 0;
    std::int32_t playId = 0;
    // Set by the play session while its game runs and its score waits for
    // the service, so that an accepted score is written to disk at once.
    PendingScoreKeeper* pendingScore = nullptr;

    // Clears the five numbers. startResponse is only ever replaced by the next
    // play, and gameData outlives every play, so neither is emptied.
    void ResetPlay();

    // A play the service has granted: the reply becomes the game client's items
    // and the ids are read from their texts by the leading-integer rule.
    void StartPlay(const KeyValueStore& response, std::string_view tournament_id_text,
                   std::string_view play_id_text);
};

// The process-wide play.
PlayContext& ThePlayContext();

}  // namespace kx
