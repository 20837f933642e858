#pragma once

// The port between a backend that carries a game client's calls across
// processes and the console's game services behind it. A backend makes one
// GameServer per client object through the factory it is given, passes each
// call's arguments as they arrived, and hands the result code back unchanged;
// every rule of the calls lives behind this interface.

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "kestrix/game_contract.h"
#include "platform/hresult.h"

namespace kx {

using kestrix::KXTOURINFOSTRUCT;
using kestrix::kEndDateChars;
using kestrix::kHiPlayerChars;
using kestrix::kVerifyFileName;

// The methods in their slot order. Wide texts arrive as views of the
// caller's strings (a null string is an empty view); output buffers as
// pointer and size, checked by the implementation before use.
class GameServer {
public:
    virtual ~GameServer() = default;

    virtual HResult Initialize(std::u16string_view szClientName, double fVersion) = 0;
    virtual HResult GetGameInfo(KXTOURINFOSTRUCT* ti) = 0;
    // dwBufSize counts 16-bit characters, the terminating zero included.
    virtual HResult GetGameDataItem(std::u16string_view szSection, std::u16string_view szItem,
                                    char16_t* szValue, std::uint32_t dwBufSize) = 0;
    virtual HResult RefreshGameData() = 0;
    virtual HResult SaveUrlToFile(std::u16string_view szURL, std::u16string_view szFileName) = 0;
    virtual HResult SendFileToServer(std::u16string_view szFileName, std::int32_t bDelete) = 0;
    virtual HResult GetCommandStatus() = 0;
    virtual HResult CancelCommand() = 0;
    virtual HResult SetGameDataItem(std::u16string_view szItem, std::u16string_view szValue) = 0;
    virtual HResult EndGame(std::uint32_t score) = 0;
};

// Makes the services of one new client object; may throw std::bad_alloc.
using GameServerFactory = std::function<std::unique_ptr<GameServer>()>;

}  // namespace kx
