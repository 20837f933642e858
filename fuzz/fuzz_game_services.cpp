// The game services as a game client calls them: any texts and any buffer
// sizes, in any order, against the play the service granted.
//
// Input, NUL-separated: the play's start reply, the selected game's name,
// then calls, each a name and its arguments:
//   init NAME | info | get SECTION ITEM CAPACITY | getnull ITEM CAPACITY |
//   set ITEM VALUE | save URL FILE | end SCORE | status | refresh | send FILE |
//   cancel
// Texts are UTF-8, or loose UTF-8 after a 0x01 byte (fuzz_input.h).
//
// Implements:
//  - a value is written into the caller's buffer only when it fits with its
//    terminator, and the buffer is otherwise left as it was (the buffer is
//    exactly the stated size, so the sanitizer sees any write past it);
//  - nothing but Initialize with the selected name, during a play, opens
//    the other calls;
//  - stored items are the texts given, cut as the services cut them;
//  - one score only, and only after initialisation;
//  - the stored items' form data reads back to the same number of items.
// Downloads never start: the internet port refuses to open, so no input
// reaches the disk.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/ansi_text.h"
#include "fuzz_input.h"
#include "play/game_services.h"
#include "platform/inet_api.h"

namespace {

using kx::fuzz::FuzzNumber;
using kx::fuzz::FuzzWide;

// Past every value an input can carry; larger buffers only slow the runs.
constexpr std::uint64_t kMaxCapacity = 1 << 13;
constexpr char16_t kUntouched = u'\xA5A5';

// A network that is never there: ERROR_INTERNET_CANNOT_CONNECT for every
// call. The scripted port of the tests starts a thread per object, which
// would cost most of each run.
class NoNetwork final : public kx::InetApi {
public:
    static constexpr std::uint32_t kError = 12029;
    std::uint32_t LastError() override { return kError; }
    kx::HInternet InternetOpen(std::string_view, std::uint32_t, std::uint32_t) override { return 0; }
    bool InternetSetStatusCallback(kx::HInternet, kx::InternetStatusCallback) override { return false; }
    bool InternetCrackUrl(std::string_view, kx::UrlComponents*) override { return false; }
    kx::HInternet InternetConnect(kx::HInternet, std::string_view, std::uint16_t, std::string_view,
                                  std::string_view, std::uint32_t, std::uint32_t,
                                  std::uintptr_t) override {
        return 0;
    }
    kx::HInternet HttpOpenRequest(kx::HInternet, std::string_view, std::string_view, std::uint32_t,
                                  std::uintptr_t) override {
        return 0;
    }
    bool HttpSendRequest(kx::HInternet, std::string_view, std::string_view) override { return false; }
    bool HttpQueryInfoNumber(kx::HInternet, std::uint32_t, std::uint32_t*) override { return false; }
    bool InternetReadFile(kx::HInternet, void*, std::uint32_t, std::uint32_t*) override { return false; }
    bool HttpSendRequestEx(kx::HInternet, std::uint32_t) override { return false; }
    bool InternetWriteFile(kx::HInternet, const void*, std::uint32_t, std::uint32_t*) override {
        return false;
    }
    bool HttpEndRequest(kx::HInternet) override { return false; }
    bool InternetCloseHandle(kx::HInternet) override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fields = kx::fuzz::Fields(kx::fuzz::AsText(data, size), '\0');
    std::size_t at = 0;
    auto next = [&]() { return at < fields.size() ? fields[at++] : std::string_view(); };

    NoNetwork inet;
    kx::Ports ports;
    ports.inet = &inet;

    kx::PlayContext play;
    kx::KeyValueStore reply;
    reply.Parse(std::string(next()).c_str(), 1);
    play.StartPlay(reply, "12", "4711");
    const std::string game(next());

    kx::KXCommServices services(ports, play, game);
    while (at < fields.size()) {
        const std::string_view call = next();
        const bool initialised = services.IsInitialized();
        if (call == "init") {
            const std::u16string name = FuzzWide(next());
            const kx::HResult result = services.Initialize(name, 1.0);
            // Every call judges the name again; a refusal does not undo an earlier success.
            KX_FUZZ_CHECK((result == kx::kS_OK) == (play.playActive != 0 && kx::ToAnsi(name) == game));
            KX_FUZZ_CHECK(services.IsInitialized() == (initialised || result == kx::kS_OK));
        } else if (call == "info") {
            kx::KXTOURINFOSTRUCT info{};
            info.dwNumGames = 7;
            const kx::HResult result = services.GetGameInfo(&info);
            KX_FUZZ_CHECK((result == kx::kS_OK) == initialised);
            if (initialised) KX_FUZZ_CHECK(info.dwTournID == 12);
            KX_FUZZ_CHECK(services.GetGameInfo(nullptr) != kx::kS_OK);
        } else if (call == "get" || call == "getnull") {
            const std::u16string section = call == "get" ? FuzzWide(next()) : std::u16string();
            const std::u16string item = FuzzWide(next());
            const auto capacity = static_cast<std::uint32_t>(FuzzNumber(next(), kMaxCapacity));
            std::vector<char16_t> buffer(capacity, kUntouched);
            char16_t* const out = call == "get" && capacity > 0 ? buffer.data() : nullptr;
            const kx::HResult result = services.GetGameDataItem(section, item, out, capacity);
            std::string value;
            const bool found = play.startResponse.Lookup(kx::ToAnsi(item), value);
            if (result == kx::kS_OK) {
                KX_FUZZ_CHECK(initialised && found && out != nullptr);
                const std::u16string wide = kx::AnsiToWide(value);
                KX_FUZZ_CHECK(wide.size() < capacity);
                KX_FUZZ_CHECK(std::u16string_view(out, wide.size()) == wide);
                KX_FUZZ_CHECK(out[wide.size()] == u'\0');
            } else {
                for (const char16_t unit : buffer) KX_FUZZ_CHECK(unit == kUntouched);
                if (result == kx::kKX_E_BUFFERTOOSMALL) {
                    KX_FUZZ_CHECK(found && kx::AnsiToWide(value).size() >= capacity);
                }
                if (result == kx::kKX_E_NOSUCHITEM) KX_FUZZ_CHECK(!found);
            }
        } else if (call == "set") {
            const std::u16string item = FuzzWide(next());
            const std::u16string value = FuzzWide(next());
            const kx::HResult result = services.SetGameDataItem(item, value);
            KX_FUZZ_CHECK((result == kx::kS_OK) == initialised);
            if (initialised) {
                std::string stored;
                KX_FUZZ_CHECK(play.gameData.Lookup(kx::ToAnsi(item), stored));
                KX_FUZZ_CHECK(stored == kx::ToAnsi(value));
            }
        } else if (call == "save") {
            const std::u16string url = FuzzWide(next());
            const std::u16string file = FuzzWide(next());
            KX_FUZZ_CHECK(services.SaveUrlToFile(url, file) != kx::kS_OK);
            KX_FUZZ_CHECK(services.GetCommandStatus() == kx::kS_OK);
        } else if (call == "end") {
            const auto score = static_cast<std::uint32_t>(FuzzNumber(next(), 0xFFFFFFFF));
            const bool had_score = play.scoreReceived != 0 || play.score != 0;
            const kx::HResult result = services.EndGame(score);
            KX_FUZZ_CHECK((result == kx::kS_OK) == (initialised && !had_score));
            if (result == kx::kS_OK) KX_FUZZ_CHECK(play.score == score && play.scoreReceived == 1);
        } else if (call == "status") {
            KX_FUZZ_CHECK(services.GetCommandStatus() == kx::kS_OK);
        } else if (call == "refresh") {
            KX_FUZZ_CHECK(services.RefreshGameData() != kx::kS_OK);
        } else if (call == "send") {
            KX_FUZZ_CHECK(services.SendFileToServer(FuzzWide(next()), 1) != kx::kS_OK);
        } else if (call == "cancel") {
            KX_FUZZ_CHECK(services.CancelCommand() != kx::kS_OK);
        }
    }
    // The items go with the score as form data; they must read back as
    // stored, so no item can slip another field into the post.
    std::vector<std::pair<std::string, std::string>> pairs;
    KX_FUZZ_CHECK(kx::fuzz::DecodeFormPairs(play.gameData.Serialize(), &pairs));
    KX_FUZZ_CHECK(pairs.size() == play.gameData.Values().size());
    return 0;
}
