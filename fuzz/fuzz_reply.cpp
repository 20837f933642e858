// The service's reply records and their judging: a reply body as the
// transport hands it over, with the exchange's transfer error and status,
// and the play's use of an accepted reply.
//
// Input: transfer error, HTTP status, body, a second body parsed after the
// first, the tournament and play id texts; NUL-separated.
//
// Implements:
//  - the verdict agrees with what the record holds (ERRORCODE, ERRORTEXT);
//  - a failed exchange leaves nothing of any earlier reply behind;
//  - appending a text parses as the two texts joined;
//  - the record's form data stays in the form alphabet and reads back to
//    its pairs;
//  - the play's ids follow the leading-integer rule.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/key_value_store.h"
#include "base/leading_integer.h"
#include "fuzz_input.h"
#include "net/reply.h"
#include "play/play_context.h"
#include "play/rank_feedback.h"

namespace {

using kx::fuzz::Fields;

void CheckRecord(const kx::KeyValueStore& record) {
    for (const auto& [key, value] : record.Values()) {
        KX_FUZZ_CHECK(key.find('\r') == std::string::npos);
        KX_FUZZ_CHECK(key.find('=') == std::string::npos);
        KX_FUZZ_CHECK(value.find('\r') == std::string::npos);
    }
    // The form data reads back to the record's pairs, in key order.
    std::vector<std::pair<std::string, std::string>> pairs;
    KX_FUZZ_CHECK(kx::fuzz::DecodeFormPairs(record.Serialize(), &pairs));
    KX_FUZZ_CHECK(pairs == std::vector<std::pair<std::string, std::string>>(record.Values().begin(),
                                                                              record.Values().end()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto fields = Fields(kx::fuzz::AsText(data, size), '\0');
    auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : std::string_view(); };

    const auto transfer_error = static_cast<std::uint32_t>(kx::fuzz::FuzzNumber(field(0), 0xFFFFFFFF));
    const auto status = static_cast<std::uint32_t>(kx::fuzz::FuzzNumber(field(1), 0xFFFFFFFF, 200));
    const std::string body(field(2));
    const std::string more(field(3));

    // An earlier reply must never shine through.
    kx::KeyValueStore reply;
    reply.Parse("ERRORCODE=0\r\nUSERID=stale\r\n", 1);
    const kx::ReplyVerdict verdict = kx::JudgeReply(transfer_error, status, body, reply);
    CheckRecord(reply);

    std::string code;
    const bool has_code = reply.Lookup("ERRORCODE", code);
    switch (verdict.outcome) {
    case kx::ReplyOutcome::TransferFailure:
        KX_FUZZ_CHECK(transfer_error != 0);
        KX_FUZZ_CHECK(reply.Values().empty());
        break;
    case kx::ReplyOutcome::TransportFailure:
        KX_FUZZ_CHECK(transfer_error == 0 && !kx::IsSuccessStatus(status));
        KX_FUZZ_CHECK(reply.Values().empty());
        break;
    case kx::ReplyOutcome::UnexpectedReply:
        KX_FUZZ_CHECK(!has_code);
        break;
    case kx::ReplyOutcome::Accepted:
        KX_FUZZ_CHECK(has_code && code == "0");
        break;
    case kx::ReplyOutcome::Refused: {
        KX_FUZZ_CHECK(has_code && code != "0");
        std::string text;
        KX_FUZZ_CHECK(verdict.has_error_text == reply.Lookup("ERRORTEXT", text));
        KX_FUZZ_CHECK(text == verdict.error_text);
        break;
    }
    }
    if (transfer_error == 0 && kx::IsSuccessStatus(status)) {
        KX_FUZZ_CHECK(reply.Text() == body);
    }

    // Parsing on top of a text is parsing the joined text.
    kx::KeyValueStore joined;
    joined.Parse(body.c_str(), 1);
    joined.Parse(more.c_str(), 0);
    kx::KeyValueStore whole;
    whole.Parse((body + more).c_str(), 1);
    KX_FUZZ_CHECK(joined.Values() == whole.Values());
    CheckRecord(joined);

    kx::PlayContext play;
    play.StartPlay(joined, field(4), field(5));
    KX_FUZZ_CHECK(play.tournamentId == kx::LeadingInteger(field(4)));
    KX_FUZZ_CHECK(play.playId == kx::LeadingInteger(field(5)));
    KX_FUZZ_CHECK(play.startResponse.Values() == joined.Values());

    std::string rank_text;
    joined.Lookup("RANK", rank_text);
    const auto rank = static_cast<std::uint32_t>(kx::LeadingInteger(rank_text));
    const std::string page = kx::RankPageFormData(rank, rank_text, joined);
    KX_FUZZ_CHECK(page.rfind("RANK=", 0) == 0);
    (void)kx::RankSoundFile(rank);
    (void)kx::GameLogPath(play.playId, field(6));
    return 0;
}
