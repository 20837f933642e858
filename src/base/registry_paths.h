#pragma once

// Where the console keeps its settings. The spellings are the ones installers
// and support staff already use. The player and tips keys hold the console's
// own values (see own_settings.h for their root); the others are written by
// installers under HKEY_LOCAL_MACHINE.

#include <string_view>

namespace kx {

inline constexpr std::string_view kGeneralKey = "Software\\Kestrix Inc.\\General";
inline constexpr std::string_view kPlayerKey = "Software\\Kestrix Inc.\\General\\Player";
inline constexpr std::string_view kClientsKey = "SOFTWARE\\Kestrix Inc.\\General\\Clients";
inline constexpr std::string_view kTipsKey = "SOFTWARE\\Kestrix Inc.\\Menu\\Tips";

// Values under kGeneralKey that point the console at another service and let
// the Linux transport reach it; none exists on a player's machine by default.
inline constexpr std::string_view kServiceHostValue = "ServiceHost";
inline constexpr std::string_view kCaFileValue = "CAFile";
inline constexpr std::string_view kConnectToValue = "ConnectTo";

}  // namespace kx
