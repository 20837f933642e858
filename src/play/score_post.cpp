#include "play/score_post.h"

#include <cstdint>

#include "base/form_encoding.h"
#include "base/leading_integer.h"
#include "base/registry_paths.h"
#include "net/reply.h"
#include "net/service_interface.h"
#include "net/upload.h"
#include "platform/game_server.h"
#include "play/play_messages.h"
#include "play/rank_feedback.h"

namespace kx {

namespace {

constexpr int kScoreCancelDelaySeconds = 15;
constexpr std::string_view kScoreTitle = "Sending score to tournament server...";

std::string CommandUrl(Registry& registry) {
    return "https://" + ServiceHost(registry) + std::string(kCommandPath);
}

void GiveRankFeedback(ConsoleWindow& console, const PlayParts& parts, const KeyValueStore& reply,
                      const std::string& rank_text, const std::string& verify_path,
                      const RankPage& rank_page) {
    Ports& ports = parts.ports;
    const KXUserInfo& user = parts.session.user;
    parts.trace.Write("SSRR");
    const auto rank = static_cast<std::uint32_t>(LeadingInteger(rank_text));
    if (user.bPlaySounds != 0) {
        ports.sound->PlayAsync(ports.files->CurrentDirectory() + std::string(RankSoundFile(rank)));
    }
    if (rank == 1 && user.bMonitor != 0 && ports.files->CanOpen(verify_path)) {
        UploadFile(*ports.inet, ServiceHost(*ports.registry),
                   GameLogPath(parts.session.nLastPlayID, FieldText(user.szUserName)),
                   verify_path);
    }
    parts.trace.Write("Refresh Tournament List");
    std::string extra = rank_page.extra;
    if (!extra.empty()) extra += '&';
    console.NavigateTo(console.PageUrl(rank_page.page),
                       extra + RankPageFormData(rank, rank_text, reply));
}

}  // namespace

std::string EndGameForm(const PendingScore& score, std::string_view password) {
    std::string form = CommandBody("ENDGAME")
                           .Add("USERNAME", score.userName)
                           .Add("PASSWORD", password)
                           .Add("GAMENAME", score.gameName)
                           .Add("TOURNID", score.tournamentIdText)
                           .Add("PLAYID", score.playIdText)
                           .Add("GCS", score.checksum)
                           .Text();
    form += "&SCORE=" + Decimal(score.score);
    if (!score.gameData.Values().empty()) form += "&" + score.gameData.Serialize();
    return form;
}

PostOutcome PostScore(ConsoleWindow& console, const PlayParts& parts, ServerWaitDialog& wait,
                      const std::string& form) {
    Ports& ports = parts.ports;
    for (;;) {
        parts.trace.Write("Sending Score");
        std::string question;
        if (!wait.Prepare(CommandUrl(*ports.registry), form, kScoreTitle,
                          kScoreCancelDelaySeconds)) {
            question = SendError(wait.Error()) + " \nTry posting score again?";
        } else if (wait.RunModal(*ports.windows, console.Window()) ==
                   ServerWaitDialog::kCancelled) {
            return PostOutcome::Cancelled;
        } else if (wait.Error() != 0) {
            parts.trace.Write("Error Sending Score");
            question = SendError(wait.Error());
        } else if (!IsSuccessStatus(wait.StatusCode())) {
            parts.trace.Write("Error Sending Score- Comm Error");
            question = "There was an error communicating with the tournament server. (" +
                       Decimal(wait.StatusCode()) + ") \nTry posting score again?";
        } else if (!ReplyHas(wait.Response(), "ERRORCODE")) {
            parts.trace.Write("Unexpected Response sending Score");
            question = std::string(kUnexpectedReply) + " ";
        } else {
            return PostOutcome::Answered;
        }
        if (console.ShowMessage(question, kErrorCaption, MessageBoxButtons::YesNo) ==
            MessageBoxResult::Yes) {
            continue;
        }
        if (console.ShowMessage("You have chosen to cancel posting your score. Your score for "
                                "this tournament will NOT be posted. Are you sure you want to "
                                "cancel?",
                                "Confirm Cancelation",
                                MessageBoxButtons::YesNo) == MessageBoxResult::Yes) {
            return PostOutcome::GivenUp;
        }
    }
}

bool JudgeScoreReply(ConsoleWindow& console, const PlayParts& parts, const KeyValueStore& reply,
                     ScoredPlay scored, const RankPage& rank_page) {
    std::string code;
    reply.Lookup("ERRORCODE", code);
    if (code != "0") {
        std::string text;
        if (ReplyHas(reply, "ERRORTEXT", &text)) {
            console.ShowMessage(text, kRefusalCaption);
        } else {
            console.ShowMessage(kUnexpectedReply, kServerErrorCaption);
            parts.trace.Write("Unexpected Response sending Score 2");
        }
        return false;
    }
    parts.session.nLastPlayID = scored.playId;
    parts.session.nLastTournID = scored.tournamentId;
    console.lastPlayTime = parts.ports.clock->TickCount();

    const std::string verify_path =
        parts.ports.files->TempDirectory() + std::string(kVerifyFileName);
    std::string rank_text;
    if (ReplyHas(reply, "RANK", &rank_text)) {
        GiveRankFeedback(console, parts, reply, rank_text, verify_path, rank_page);
    }
    parts.ports.files->Delete(verify_path);
    parts.trace.Write("Refresh Console Window");
    console.CenterConsoleWindow();
    return true;
}

}  // namespace kx
