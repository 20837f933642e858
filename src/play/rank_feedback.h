#pragma once

// What an accepted score's rank turns into: the sound the player hears and
// what the tournament list page is told. Ranks compare as unsigned numbers,
// so a negative rank counts as worse than every positive one.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/key_value_store.h"

namespace kx {

// Ranks below this get the rank itself on the list page; the others get
// their percentile instead, when the service sent one.
inline constexpr std::uint32_t kFirstPercentileRank = 26;

// The sound file's path below the working directory: "\media\..." for ranks
// 1 to 24, empty for every other rank (the bare directory then names no
// file, and the platform plays its default sound).
std::string_view RankSoundFile(std::uint32_t rank);

// "RANK=" and, for a rank below kFirstPercentileRank, the RANK text;
// otherwise the PERCENTILE text of `reply` when it has one. Neither is
// encoded: the page reads them as the service wrote them.
std::string RankPageFormData(std::uint32_t rank, const std::string& rank_text,
                             const KeyValueStore& reply);

// The remote path of a play's game log: kGameLogPathFormat with the play id
// and the user name, which is not encoded.
std::string GameLogPath(std::int32_t play_id, std::string_view user_name);

}  // namespace kx
