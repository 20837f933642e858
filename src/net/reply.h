#pragma once

// How every command exchange judges the service's reply, in one place so the
// login, registration and play dialogs cannot drift apart.

#include <cstdint>
#include <string>

#include "base/key_value_store.h"

namespace kx {

enum class ReplyOutcome {
    Accepted,           // ERRORCODE is exactly "0"
    TransferFailure,    // the exchange ended with a transfer error; body not parsed
    TransportFailure,   // HTTP status outside 200..399, 0 included; body not parsed
    UnexpectedReply,    // no ERRORCODE in the body
    Refused,            // any other ERRORCODE
};

struct ReplyVerdict {
    ReplyOutcome outcome = ReplyOutcome::TransportFailure;
    // For a refusal: whether ERRORTEXT was present (even empty) and its text,
    // which the player is shown unchanged.
    bool has_error_text = false;
    std::string error_text;
};

// Judges a reply and leaves its parsed body in `reply` (emptied on a
// transfer or transport failure, so nothing from an earlier reply is mistaken
// for this one). `transfer_error` is the engine's Error(): a reply cut short
// may still hold a whole-looking "ERRORCODE=0".
ReplyVerdict JudgeReply(std::uint32_t transfer_error, std::uint32_t http_status,
                        const std::string& body, KeyValueStore& reply);

inline bool IsSuccessStatus(std::uint32_t http_status) {
    return http_status >= 200 && http_status <= 399;
}

}  // namespace kx
