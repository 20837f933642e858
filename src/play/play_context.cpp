#include "play/play_context.h"

#include "base/leading_integer.h"

namespace kx {

void PlayContext::ResetPlay() {
    score = 0;
    scoreReceived = 0;
    playActive = 0;
    tournamentId = 0;
    playId = 0;
}

void PlayContext::StartPlay(const KeyValueStore& response, std::string_view tournament_id_text,
                            std::string_view play_id_text) {
    ResetPlay();
    startResponse = response;
    playActive = 1;
    tournamentId = LeadingInteger(tournament_id_text);
    playId = LeadingInteger(play_id_text);
}

PlayContext& ThePlayContext() {
    static PlayContext context;
    return context;
}

}  // namespace kx
