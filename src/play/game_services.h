#pragma once

// The services the console offers the game client of the current play: who
// it is, which tournament it plays, the items the service sent for the play,
// items to send back with the score, file downloads, and the score itself.
// Platform-free: each backend wraps one object in whatever carries the calls
// across processes, keeps the slot order and passes the result codes on.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/ports.h"
#include "net/http_request_engine.h"
#include "play/play_context.h"
#include "platform/hresult.h"
#include "platform/game_server.h"

namespace kx {

inline constexpr std::size_t kToAnsiBufferSize = 1024;

// A game client's wide text as an 8-bit text, up to its first zero character.
// The text goes through a zero-filled buffer of kToAnsiBufferSize bytes, so
// the result has at most kToAnsiBufferSize - 1 bytes: a longer text keeps its
// first whole characters only.
std::string ToAnsi(std::u16string_view wide);

// Every rule of the ten calls; a backend carries them across processes.
class KXCommServices final : public GameServer {
public:
    // `selected_game_name` is the console session's selected game name; it is
    // read at every Initialize, so it must outlive this object. `ports.inet`
    // must be set: it carries this object's downloads.
    KXCommServices(Ports& ports, PlayContext& play, const std::string& selected_game_name);
    KXCommServices(const KXCommServices&) = delete;
    KXCommServices& operator=(const KXCommServices&) = delete;
    // Cancels a running download.
    ~KXCommServices() override = default;

    HResult Initialize(std::u16string_view szClientName, double fVersion) override;
    HResult GetGameInfo(KXTOURINFOSTRUCT* ti) override;
    HResult GetGameDataItem(std::u16string_view szSection, std::u16string_view szItem,
                            char16_t* szValue, std::uint32_t dwBufSize) override;
    HResult RefreshGameData() override;
    HResult SaveUrlToFile(std::u16string_view szURL, std::u16string_view szFileName) override;
    HResult SendFileToServer(std::u16string_view szFileName, std::int32_t bDelete) override;
    HResult GetCommandStatus() override;
    HResult CancelCommand() override;
    HResult SetGameDataItem(std::u16string_view szItem, std::u16string_view szValue) override;
    HResult EndGame(std::uint32_t score) override;

    bool IsInitialized() const { return initialized_; }

private:
    PlayContext& play_;
    const std::string& selected_game_name_;
    HttpRequestEngine downloadEngine_;
    bool initialized_ = false;
};

// What a backend's class object makes each client's services with; every
// object reads the same play, so all three must outlive the factory.
GameServerFactory GameServicesFactory(Ports& ports, PlayContext& play,
                                      const std::string& selected_game_name);

}  // namespace kx
