#pragma once

// The texts a play shows the player and its reading of the service's
// replies, shared by a live play and a score posted late, so both say the
// same thing in the same words.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/key_value_store.h"

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

// Whether the reply holds `key`, and its value when asked for.
inline bool ReplyHas(const KeyValueStore& reply, const char* key, std::string* value = nullptr) {
    std::string found;
    if (!reply.Lookup(key, found)) return false;
    if (value != nullptr) *value = found;
    return true;
}

}  // namespace kx
