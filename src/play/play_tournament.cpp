#include "play/play_tournament.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "base/captions.h"
#include "base/leading_integer.h"
#include "base/registry_paths.h"
#include "base/form_encoding.h"
#include "net/reply.h"
#include "net/service_interface.h"
#include "platform/game_server.h"
#include "play/md5.h"
#include "play/pending_score.h"
#include "play/play_messages.h"
#include "play/score_post.h"
#include "play/server_wait_dialog.h"

namespace kx {

namespace {

constexpr std::uint32_t kRepeatGuardMs = 3000;
constexpr std::uint32_t kExePathBufferSize = 260;
constexpr int kStartCancelDelaySeconds = 10;

constexpr std::string_view kRegistryError = "Unable to access registry";

// Either separator ends the folder: installers on Linux write "/" paths.
std::string DirectoryOf(const std::string& path) {
    const auto last = path.find_last_of("\\/");
    return last == std::string::npos ? std::string() : path.substr(0, last);
}

// Lets the game services reach the keeper for as long as the command runs.
class KeeperInPlay {
public:
    KeeperInPlay(PlayContext& play, PendingScoreKeeper& keeper)
        : play_(play), previous_(std::exchange(play.pendingScore, &keeper)) {}
    KeeperInPlay(const KeeperInPlay&) = delete;
    KeeperInPlay& operator=(const KeeperInPlay&) = delete;
    ~KeeperInPlay() { play_.pendingScore = previous_; }

private:
    PlayContext& play_;
    PendingScoreKeeper* previous_;
};

// One PLAYTOURNAMENT command; the texts it holds live as long as the command.
class PlaySession {
public:
    PlaySession(ConsoleWindow& console, const PlayParts& parts)
        : console_(console),
          parts_(parts),
          ports_(parts.ports),
          user_(parts.session.user),
          wait_(*parts.ports.inet),
          keeper_(parts.ports.states, parts.trace) {}

    void Run() {
        parts_.trace.Write("Play");
        if (!PassesEntryChecks()) return;
        PlayOnce();
        console_.lastPlayTime = ports_.clock->TickCount();
    }

private:
    bool PassesEntryChecks() {
        const std::uint32_t since_last = ports_.clock->TickCount() - console_.lastPlayTime;
        if (since_last < kRepeatGuardMs) return false;
        if (user_.bLoggedIn == 0) {
            console_.LoginPrompt();
            return false;
        }
        if (parts_.session.bGameSelected == 0) {
            console_.NavigateTo(console_.PageUrl(ConsolePage::Main), "");
            parts_.trace.Write("No Game Selected");
            return false;
        }
        if (!console_.params.Lookup("TOURNAMENTID", tournament_id_text_)) {
            console_.ShowMessage("TOURNAMENTID parameter not supplied for PLAYTOURNAMENT command.",
                                 kCommandErrorCaption);
            parts_.trace.Write("Tourn ID not supplied");
            return false;
        }
        return ReadExePath();
    }

    bool ReadExePath() {
        Registry& registry = *ports_.registry;
        UniqueRegKey key(registry);
        const std::string key_path =
            std::string(kClientsKey) + "\\" + parts_.session.strGameName;
        if (registry.OpenKey(kHKeyLocalMachine, key_path, RegAccess::Read, key.put()) !=
            kErrorSuccess) {
            console_.ShowMessage(kRegistryError, kCommandErrorCaption);
            parts_.trace.Write("Registry Error");
            return false;
        }
        std::array<std::uint8_t, kExePathBufferSize> buffer{};
        std::uint32_t size = kExePathBufferSize;
        const long read = registry.QueryValue(key.get(), "EXEPATH", nullptr, buffer.data(), &size);
        key.reset();
        if (read != kErrorSuccess) {
            console_.ShowMessage(kRegistryError, kCommandErrorCaption);
            parts_.trace.Write("Registry Error 2");
            return false;
        }
        // A value stored without its terminator still ends at the buffer's end.
        exe_path_.assign(buffer.begin(), std::find(buffer.begin(), buffer.end(), 0));
        game_directory_ = DirectoryOf(exe_path_);
        return true;
    }

    std::string CommandUrl() const {
        return "https://" + ServiceHost(*ports_.registry) + std::string(kCommandPath);
    }

    MessageBoxResult Show(std::string_view text, std::string_view caption,
                          MessageBoxButtons buttons = MessageBoxButtons::Ok) {
        return console_.ShowMessage(text, caption, buttons);
    }

    void PlayOnce() {
        if (!StartTour()) return;
        const KeeperInPlay in_play(parts_.play, keeper_);
        keeper_.Arm(PendingIdentity());
        if (!RunGame()) return;
        PendingScore score = PendingIdentity();
        score.score = parts_.play.score;
        score.gameData = parts_.play.gameData;
        const std::string form = EndGameForm(score, FieldText(user_.szPassword));
        switch (PostScore(console_, parts_, wait_, form)) {
            case PostOutcome::Cancelled:
                return;
            case PostOutcome::GivenUp:
                keeper_.Drop();
                return;
            case PostOutcome::Answered:
                // Accepted or refused, the service has judged this score.
                keeper_.Drop();
                if (JudgeScoreReply(console_, parts_, wait_.Response(),
                                    {parts_.play.playId, parts_.play.tournamentId}, {})) {
                    parts_.play.ResetPlay();
                }
                return;
        }
    }

    std::string Checksum() const {
        return Md5Hex(play_id_text_ + tournament_id_text_ + std::string(FieldText(user_.szUserID)));
    }

    // Everything a later ENDGAME needs but the password, the score and the items.
    PendingScore PendingIdentity() const {
        PendingScore identity;
        identity.userName = std::string(FieldText(user_.szUserName));
        identity.gameName = parts_.session.strGameName;
        identity.tournamentIdText = tournament_id_text_;
        identity.playIdText = play_id_text_;
        identity.checksum = Checksum();
        return identity;
    }

    bool StartTour() {
        const std::string form = CommandBody("STARTTOUR")
                                     .Add("USERNAME", FieldText(user_.szUserName))
                                     .Add("PASSWORD", FieldText(user_.szPassword))
                                     .Add("GAMENAME", parts_.session.strGameName)
                                     .Add("TOURNID", tournament_id_text_)
                                     .Text();
        if (!wait_.Prepare(CommandUrl(), form, ServerWaitDialog::kKeepTitle,
                           kStartCancelDelaySeconds)) {
            Show(SendError(wait_.Error()), kErrorCaption);
            parts_.trace.Write("Error Sending Command");
            return false;
        }
        if (wait_.RunModal(*ports_.windows, console_.Window()) == ServerWaitDialog::kCancelled) {
            return false;
        }
        if (wait_.Error() != 0) {
            Show(SendError(wait_.Error()), kErrorCaption);
            parts_.trace.Write("Error Sending Command 2");
            return false;
        }
        if (!IsSuccessStatus(wait_.StatusCode())) {
            Show("Error communicating with tournament server: (" + Decimal(wait_.StatusCode()) +
                     ")",
                 "Enter Tournament error");
            parts_.trace.Write("Enter Tournament error");
            return false;
        }
        const KeyValueStore& reply = wait_.Response();
        if (!ReplyAccepted(reply, "Invalid Error Code from Server",
                           "Invalid Error Code from Server 2")) {
            return false;
        }
        if (!ReplyHas(reply, "PLAYID", &play_id_text_)) {
            Show("PlayID not preset in response.", kServerErrorCaption);
            parts_.trace.Write("Play ID not Created");
            return false;
        }
        if (!ReplyHas(reply, "CLIENTID")) {
            Show("No Client Id", kServerErrorCaption);
            parts_.trace.Write("No Client ID");
            return false;
        }
        parts_.play.StartPlay(reply, tournament_id_text_, play_id_text_);
        return true;
    }

    // ERRORCODE missing or refused: says so and answers false.
    bool ReplyAccepted(const KeyValueStore& reply, std::string_view missing_trace,
                       std::string_view refused_trace) {
        std::string code;
        if (!reply.Lookup("ERRORCODE", code)) {
            Show(kUnexpectedReply, kServerErrorCaption);
            parts_.trace.Write(missing_trace);
            return false;
        }
        if (code == "0") return true;
        std::string text;
        if (ReplyHas(reply, "ERRORTEXT", &text)) {
            Show(text, kRefusalCaption);
        } else {
            Show(kUnexpectedReply, kServerErrorCaption);
            parts_.trace.Write(refused_trace);
        }
        return false;
    }

    bool RunGame() {
        parts_.trace.Write("Init Game Window");
        console_.ShowConsoleWindow(Visibility::Hidden);
        ProcessHandle handle = 0;
        std::uint32_t error = 0;
        if (!ports_.processes->Start(StartPriority::Default, exe_path_, game_directory_, &handle,
                                     &error)) {
            console_.ShowConsoleWindow(Visibility::Shown);
            parts_.trace.Write("Unable to Launch");
            Show("Unable to launch", "");
            console_.NavigateTo(console_.lastUrl, "");
            return false;
        }
        {
            const UniqueProcess game(*ports_.processes, handle);
            // Blocks between the game client's calls instead of spinning, so
            // the console takes no processor time away from the game.
            while (ports_.processes->WaitServingEvents(game.get()) == ProcessState::Running) {
            }
        }
        console_.ShowConsoleWindow(Visibility::Shown);
        if (parts_.play.scoreReceived == 0) {
            Show("The game has terminated abnormally if you continue to receive this error "
                 "please contact technical support for help.",
                 kErrorCaption);
            parts_.trace.Write("Non-Normal Exit");
            return false;
        }
        return true;
    }

    ConsoleWindow& console_;
    const PlayParts& parts_;
    Ports& ports_;
    KXUserInfo& user_;
    // One window object serves both requests of the command.
    ServerWaitDialog wait_;
    PendingScoreKeeper keeper_;
    std::string tournament_id_text_;
    std::string exe_path_;
    std::string game_directory_;
    std::string play_id_text_;
};

}  // namespace

void PlayTournament(ConsoleWindow& console, const PlayParts& parts) {
    PlaySession(console, parts).Run();
}


}  // namespace kx
