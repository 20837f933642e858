#include "net/reply.h"

namespace kx {

ReplyVerdict JudgeReply(std::uint32_t transfer_error, std::uint32_t http_status,
                        const std::string& body, KeyValueStore& reply) {
    ReplyVerdict verdict;
    if (transfer_error != 0) {
        reply.Parse("", 1);
        verdict.outcome = ReplyOutcome::TransferFailure;
        return verdict;
    }
    if (!IsSuccessStatus(http_status)) {
        reply.Parse("", 1);
        verdict.outcome = ReplyOutcome::TransportFailure;
        return verdict;
    }

    reply.Parse(body.c_str(), 1);

    std::string error_code;
    if (!reply.Lookup("ERRORCODE", error_code)) {
        verdict.outcome = ReplyOutcome::UnexpectedReply;
        return verdict;
    }
    if (error_code == "0") {
        verdict.outcome = ReplyOutcome::Accepted;
        return verdict;
    }

    verdict.outcome = ReplyOutcome::Refused;
    verdict.has_error_text = reply.Lookup("ERRORTEXT", verdict.error_text);
    return verdict;
}

}  // namespace kx
