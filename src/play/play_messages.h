#pragma once

// The texts a play shows the player, shared by a live play and a score
// posted late, so both say the same thing in the same words.

#include <cstdint>
#include <string>
#include <string_view>

namespace kx {

inline constexpr std::string_view kErrorCaption = "Error";
inline constexpr std::string_view kServerErrorCaption = "Server Error";
inline constexpr std::string_view kRefusalCaption = "Kestrix";
inline constexpr std::string_view kUnexpectedReply =
    "An unexpected response was received from the server.";

// Numbers are shown as "%d" shows them.
inline std::string Decimal(std::uint32_t number) {
    return std::to_string(static_cast<std::int32_t>(number));
}

inline std::string SendError(std::uint32_t code) {
    return "An error occured sending the command. (" + Decimal(code) + ")";
}

}  // namespace kx
