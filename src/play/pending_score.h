#pragma once

// A score the game has handed over but the service has not yet answered for,
// kept on disk so that it outlives a killed console or a lost machine. It
// holds what a later ENDGAME needs besides the player's password, which is
// never written: the password comes from the next login.
//
// The record is plain text, one field a line, with a version line first and
// a digest of everything before it last, so a torn or foreign file is told
// apart from a record and can be set aside instead of trusted or lost.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/key_value_store.h"
#include "base/trace_log.h"
#include "platform/state_store.h"
#include "play/play_context.h"

namespace kx {

struct PendingScore {
    std::string userName;
    std::string gameName;
    std::string tournamentIdText;
    std::string playIdText;
    std::string checksum;
    std::uint32_t score = 0;
    KeyValueStore gameData;
};

bool operator==(const PendingScore& a, const PendingScore& b);

inline constexpr std::string_view kPendingScoreName = "pending-score";

std::string FormatPendingScore(const PendingScore& record);

enum class PendingParse { Ok, UnknownVersion, Torn };

// Never trusts the text: every field is bounded and checked, and `record` is
// written only when the whole text is a record of a known version.
PendingParse ParsePendingScore(std::string_view text, PendingScore* record);

enum class PendingState {
    None,        // no record waits
    Found,       // `record` holds it
    Unreadable,  // torn or of an unknown version; set aside under `asideName`
    Failed,      // the store could not be read, or an unreadable record not set aside
};

struct PendingLoad {
    PendingState state = PendingState::None;
    PendingScore record;
    std::string asideName;
};

// Keeps the pending score of one play: told the play's identity once the
// service has granted it, it writes the record when the game's score is
// accepted and whenever the items change after that, and removes it where
// the play ends the attempt. Only its failures reach the trace log, so a
// normal play traces as it always did; the score then still lives in memory
// and the play goes on as before.
class PendingScoreKeeper {
public:
    // Without a store nothing is kept and nothing is found.
    PendingScoreKeeper(StateStore* store, TraceLog& trace) : store_(store), trace_(trace) {}
    PendingScoreKeeper(const PendingScoreKeeper&) = delete;
    PendingScoreKeeper& operator=(const PendingScoreKeeper&) = delete;

    // The play whose score is kept from now on: everything but the score and
    // the items, which Keep takes from the play as they stand.
    void Arm(PendingScore identity);
    bool IsArmed() const { return armed_; }

    // Writes the record with the play's score and items. Before the first
    // write of a play, a record left by an earlier one is set aside, never
    // overwritten. Answers whether the record is on disk.
    bool Keep(const PlayContext& play);

    // The attempt is over: the service answered or the player gave the score
    // up. Removes the record and disarms.
    void Drop();

    // The record that waits, if any. An unreadable one is reported to the
    // trace log and renamed aside, so it is neither trusted nor deleted. A
    // record found is this keeper's from then on: Drop removes it.
    PendingLoad Load();

private:
    // A free name "<name>.<reason>-N"; false when none is left.
    bool SetAside(std::string_view reason, std::string* aside_name);

    StateStore* store_;
    TraceLog& trace_;
    PendingScore identity_;
    bool armed_ = false;
    bool written_ = false;
};

}  // namespace kx
