#include "play/game_services.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <span>

#include "base/ansi_text.h"
#include "play/pending_score.h"

namespace kx {

namespace {

// The calls come from another process: running out of memory on one of them
// is reported to the game client rather than ending the console.
template <typename Body>
HResult Guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return kE_OUTOFMEMORY;
    }
}

}  // namespace

std::string ToAnsi(std::u16string_view wide) {
    std::array<char, kToAnsiBufferSize> buffer{};
    // The last byte stays zero, so the text is always terminated.
    WideToAnsi(wide, std::span<char>(buffer).first(kToAnsiBufferSize - 1));
    return std::string(buffer.data());
}

KXCommServices::KXCommServices(Ports& ports, PlayContext& play,
                               const std::string& selected_game_name)
    : play_(play), selected_game_name_(selected_game_name), downloadEngine_(*ports.inet) {}

HResult KXCommServices::Initialize(std::u16string_view szClientName, double /*fVersion*/) {
    return Guarded([&] {
        if (play_.playActive == 0) return kKX_E_REFUSED;
        if (ToAnsi(szClientName) != selected_game_name_) return kKX_E_REFUSED;
        initialized_ = true;
        return kS_OK;
    });
}

HResult KXCommServices::GetGameInfo(KXTOURINFOSTRUCT* ti) {
    if (!initialized_) return kKX_E_NOTINITIALIZED;
    if (ti == nullptr) return kE_POINTER;
    return Guarded([&] {
        ti->dwTournID = static_cast<std::uint32_t>(play_.tournamentId);
        // No reply names the number of games; an empty-named item merely
        // leaves the caller's value alone.
        std::string unused;
        if (!play_.startResponse.Lookup("", unused)) ti->dwNumGames = 0;
        return kS_OK;
    });
}

HResult KXCommServices::GetGameDataItem(std::u16string_view /*szSection*/,
                                        std::u16string_view szItem, char16_t* szValue,
                                        std::uint32_t dwBufSize) {
    if (!initialized_) return kKX_E_NOTINITIALIZED;
    return Guarded([&] {
        std::string value;
        if (!play_.startResponse.Lookup(ToAnsi(szItem), value)) return kKX_E_NOSUCHITEM;
        // Every byte of the code page is one wide character, so the lengths agree.
        const std::u16string wide = AnsiToWide(value);
        if (wide.size() >= dwBufSize) return kKX_E_BUFFERTOOSMALL;
        if (szValue == nullptr) return kE_POINTER;
        std::copy(wide.begin(), wide.end(), szValue);
        szValue[wide.size()] = u'\0';
        return kS_OK;
    });
}

HResult KXCommServices::RefreshGameData() { return kE_NOTIMPL; }

HResult KXCommServices::SaveUrlToFile(std::u16string_view szURL, std::u16string_view szFileName) {
    if (!downloadEngine_.IsIdle()) return kKX_E_DOWNLOADBUSY;
    return Guarded([&] {
        const std::string url = ToAnsi(szURL);
        const std::string file = ToAnsi(szFileName);
        if (!downloadEngine_.OpenSession(InternetAccess::Preconfigured)) return kE_FAIL;
        if (!downloadEngine_.StartDownload(url, file)) return kE_FAIL;
        return kS_OK;
    });
}

HResult KXCommServices::SendFileToServer(std::u16string_view /*szFileName*/,
                                         std::int32_t /*bDelete*/) {
    return kE_NOTIMPL;
}

HResult KXCommServices::GetCommandStatus() {
    return downloadEngine_.IsIdle() ? kS_OK : kKX_S_DOWNLOADRUNNING;
}

HResult KXCommServices::CancelCommand() { return kE_NOTIMPL; }

HResult KXCommServices::SetGameDataItem(std::u16string_view szItem, std::u16string_view szValue) {
    if (!initialized_) return kKX_E_NOTINITIALIZED;
    return Guarded([&] {
        play_.gameData.Set(ToAnsi(szItem).c_str(), ToAnsi(szValue).c_str());
        // An item stored after the score travels with it, so the kept record follows.
        if (play_.scoreReceived != 0 && play_.pendingScore != nullptr) {
            play_.pendingScore->Keep(play_);
        }
        return kS_OK;
    });
}

HResult KXCommServices::EndGame(std::uint32_t score) {
    if (!initialized_) return kKX_E_NOTINITIALIZED;
    // A score of 0 leaves `score` at 0, so the flag is what makes it count.
    if (play_.scoreReceived != 0 || play_.score != 0) return kKX_E_REFUSED;
    play_.scoreReceived = 1;
    play_.score = score;
    return Guarded([&] {
        // The score must outlive the console from here on; a failed write is
        // the keeper's to trace, and the game still gets its success.
        if (play_.pendingScore != nullptr) play_.pendingScore->Keep(play_);
        return kS_OK;
    });
}

GameServerFactory GameServicesFactory(Ports& ports, PlayContext& play,
                                      const std::string& selected_game_name) {
    return [&ports, &play, &selected_game_name]() -> std::unique_ptr<GameServer> {
        return std::make_unique<KXCommServices>(ports, play, selected_game_name);
    };
}

}  // namespace kx
