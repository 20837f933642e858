#include "play/rank_feedback.h"

#include "net/service_interface.h"

namespace kx {

std::string_view RankSoundFile(std::uint32_t rank) {
    if (rank == 1) return "\\media\\1stPlace.wav";
    if (rank >= 2 && rank <= 5) return "\\media\\fanfare.wav";
    if (rank >= 6 && rank <= 24) return "\\media\\clap.wav";
    return {};
}

std::string RankPageFormData(std::uint32_t rank, const std::string& rank_text,
                             const KeyValueStore& reply) {
    std::string shown = rank_text;
    if (rank >= kFirstPercentileRank) reply.Lookup("PERCENTILE", shown);
    return "RANK=" + shown;
}

std::string GameLogPath(std::int32_t play_id, std::string_view user_name) {
    std::string path(kGameLogPathFormat);
    // One source for the path's shape: the format's two fields are filled here.
    const std::string number = std::to_string(play_id);
    path.replace(path.find("%d"), 2, number);
    path.replace(path.find("%s"), 2, user_name);
    return path;
}

}  // namespace kx
