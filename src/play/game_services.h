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
#include "play/result_codes.h"
#include "play/tour_info.h"

namespace kx {

inline constexpr std::size_t kToAnsiBufferSize = 1024;

// A game client's wide text as an 8-bit text, up to its first zero character.
// The text goes through a zero-filled buffer of kToAnsiBufferSize bytes, so
// the result has at most kToAnsiBufferSize - 1 bytes: a longer text keeps its
// first whole characters only.
std::string ToAnsi(std::u16string_view wide);

// Wide texts arrive as views of the caller's strings (a null string is an
// empty view); output buffers as pointer and size, checked before use.
class KXCommServices {
public:
    // `selected_game_name` is the console session's selected game name; it is
    // read at every Initialize, so it must outlive this object. `ports.inet`
    // must be set: it carries this object's downloads.
    KXCommServices(Ports& ports, PlayContext& play, const std::string& selected_game_name);
    KXCommServices(const KXCommServices&) = delete;
    KXCommServices& operator=(const KXCommServices&) = delete;
    // Cancels a running download.
    ~KXCommServices() = default;

    HResult Initialize(std::u16string_view szClientName, double fVersion);
    HResult GetGameInfo(KXTOURINFOSTRUCT* ti);
    // dwBufSize counts 16-bit characters, the terminating zero included.
    HResult GetGameDataItem(std::u16string_view szSection, std::u16string_view szItem,
                            char16_t* szValue, std::uint32_t dwBufSize);
    HResult RefreshGameData();
    HResult SaveUrlToFile(std::u16string_view szURL, std::u16string_view szFileName);
    HResult SendFileToServer(std::u16string_view szFileName, std::int32_t bDelete);
    HResult GetCommandStatus();
    HResult CancelCommand();
    HResult SetGameDataItem(std::u16string_view szItem, std::u16string_view szValue);
    HResult EndGame(std::uint32_t score);

    bool IsInitialized() const { return initialized_; }

private:
    PlayContext& play_;
    const std::string& selected_game_name_;
    HttpRequestEngine downloadEngine_;
    bool initialized_ = false;
};

}  // namespace kx
