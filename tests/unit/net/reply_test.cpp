#include "net/reply.h"

#include <gtest/gtest.h>

namespace kx {
namespace {

TEST(JudgeReplyTest, JudgesStatusThenErrorCodeThenErrorText) {
    struct Case {
        std::uint32_t status;
        const char* body;
        ReplyOutcome outcome;
        bool has_text;
        const char* text;
    } const cases[] = {
        {200, "ERRORCODE=0\r\nUSERID=1\r\n", ReplyOutcome::Accepted, false, ""},
        {399, "ERRORCODE=0\r\n", ReplyOutcome::Accepted, false, ""},
        {302, "ERRORCODE=0", ReplyOutcome::Accepted, false, ""},
        {0, "ERRORCODE=0\r\n", ReplyOutcome::TransportFailure, false, ""},
        {199, "ERRORCODE=0\r\n", ReplyOutcome::TransportFailure, false, ""},
        {400, "ERRORCODE=0\r\n", ReplyOutcome::TransportFailure, false, ""},
        {500, "ERRORCODE=0\r\n", ReplyOutcome::TransportFailure, false, ""},
        {200, "", ReplyOutcome::UnexpectedReply, false, ""},
        {200, "errorcode=0\r\n", ReplyOutcome::UnexpectedReply, false, ""},
        {200, "<html>Server busy</html>", ReplyOutcome::UnexpectedReply, false, ""},
        {200, "ERRORCODE=00\r\n", ReplyOutcome::Refused, false, ""},
        {200, "ERRORCODE= 0\r\n", ReplyOutcome::Refused, false, ""},
        {200, "ERRORCODE=\r\n", ReplyOutcome::Refused, false, ""},
        {200, "ERRORCODE=-1\r\n", ReplyOutcome::Refused, false, ""},
        {200, "ERRORCODE=1\r\nERRORTEXT=Wrong password.\r\n", ReplyOutcome::Refused, true,
         "Wrong password."},
        {200, "ERRORCODE=1\r\nERRORTEXT=\r\n", ReplyOutcome::Refused, true, ""},
    };
    for (const auto& c : cases) {
        KeyValueStore reply;
        const ReplyVerdict verdict = JudgeReply(0, c.status, c.body, reply);
        EXPECT_EQ(verdict.outcome, c.outcome) << c.status << " " << c.body;
        EXPECT_EQ(verdict.has_error_text, c.has_text) << c.body;
        EXPECT_EQ(verdict.error_text, c.text) << c.body;
    }
}

TEST(JudgeReplyTest, LeavesTheParsedBodyForTheCaller) {
    KeyValueStore reply;
    ASSERT_EQ(JudgeReply(0, 200, "ERRORCODE=0\r\nPLAYID=9\r\n", reply).outcome,
              ReplyOutcome::Accepted);
    std::string play_id;
    EXPECT_TRUE(reply.Lookup("PLAYID", play_id));
    EXPECT_EQ(play_id, "9");
}

TEST(JudgeReplyTest, ATransportFailureLeavesNothingOfAnEarlierReply) {
    KeyValueStore reply;
    JudgeReply(0, 200, "ERRORCODE=0\r\nPLAYID=9\r\n", reply);
    JudgeReply(0, 500, "ERRORCODE=0\r\nPLAYID=10\r\n", reply);
    EXPECT_TRUE(reply.Values().empty());
}

TEST(JudgeReplyTest, ATransferErrorFailsWhateverTheStatusAndBodySay) {
    const std::uint32_t errors[] = {12030, 12031, 12002};
    for (const std::uint32_t error : errors) {
        KeyValueStore reply;
        JudgeReply(0, 200, "ERRORCODE=0\r\nPLAYID=9\r\n", reply);
        const ReplyVerdict verdict = JudgeReply(error, 200, "ERRORCODE=0\r\nPLAYID=10\r\n", reply);
        EXPECT_EQ(verdict.outcome, ReplyOutcome::TransferFailure) << error;
        EXPECT_TRUE(reply.Values().empty()) << error;
    }
}

}  // namespace
}  // namespace kx
