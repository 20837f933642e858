#include "play/pending_offer.h"

#include <string>

#include "base/form_encoding.h"
#include "base/leading_integer.h"
#include "play/pending_score.h"
#include "play/play_messages.h"
#include "play/score_post.h"

namespace kx {

namespace {

std::string OfferText(const PendingScore& score) {
    return "A score from your last game was not posted: " + Decimal(score.score) + " in " +
           score.gameName + ", tournament " + score.tournamentIdText + ". Post it now?";
}

std::string UnreadableText(const std::string& aside_name) {
    return "A score from your last game could not be read and cannot be posted. It has been "
           "kept as \"" + aside_name + "\" in the console's state folder.";
}

}  // namespace

bool OfferPendingScore(ConsoleWindow& console, const PlayParts& parts) {
    PendingScoreKeeper keeper(parts.ports.states, parts.trace);
    const PendingLoad load = keeper.Load();
    if (load.state == PendingState::Unreadable) {
        console.ShowMessage(UnreadableText(load.asideName), kRefusalCaption);
        return true;
    }
    if (load.state != PendingState::Found) return false;
    const PendingScore& score = load.record;
    const KXUserInfo& user = parts.session.user;
    // Only its own player can post it: the checksum is theirs alone.
    if (score.userName != FieldText(user.szUserName)) return false;
    parts.trace.Write("Pending Score Offered");
    if (console.ShowMessage(OfferText(score), kRefusalCaption, MessageBoxButtons::YesNo) !=
        MessageBoxResult::Yes) {
        return true;
    }
    ServerWaitDialog wait(*parts.ports.inet);
    switch (PostScore(console, parts, wait, EndGameForm(score, FieldText(user.szPassword)))) {
        case PostOutcome::Cancelled:
            return true;
        case PostOutcome::GivenUp:
            keeper.Drop();
            return true;
        case PostOutcome::Answered: {
            keeper.Drop();
            // The tournament list needs the game the pages selected, which a
            // new start does not know; the tournament's standings do not.
            const RankPage standings{ConsolePage::Standings,
                                     "TOURNID=" + FormEncode(score.tournamentIdText)};
            const ScoredPlay scored{LeadingInteger(score.playIdText),
                                    LeadingInteger(score.tournamentIdText)};
            JudgeScoreReply(console, parts, wait.Response(), scored, standings);
            return true;
        }
    }
    return true;
}

}  // namespace kx
