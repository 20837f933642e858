// The services interface as a game client reaches it over the bus: each
// call's arguments converted for the core and its answer carried back.

#include <cstring>
#include <string>

#include "bus_host_fixture.h"
#include "platform/game_server.h"

namespace kx::test {
namespace {

using BusMethodsTest = BusHostTest;

TEST_F(BusMethodsTest, EachCreatedObjectHasItsOwnState) {
    BusClient client;
    const std::string first = InitializedObject(client);
    const std::string second = client.CreateInstance();
    ASSERT_FALSE(second.empty());
    EXPECT_NE(first, second);
    EXPECT_EQ(host_.ObjectCount(), 2u);

    EXPECT_EQ(client.CallHr(first, "SetGameDataItem", Args("ss", "LEVEL", "3")), kS_OK);
    EXPECT_EQ(client.CallHr(second, "SetGameDataItem", Args("ss", "LEVEL", "4")),
              kKX_E_NOTINITIALIZED);
    std::string level;
    EXPECT_TRUE(play_.gameData.Lookup("LEVEL", level));
    EXPECT_EQ(level, "3");
}

TEST_F(BusMethodsTest, GetGameInfoRoundTripsTheRecord) {
    BusClient client;
    const std::string path = InitializedObject(client);
    std::string sent(sizeof(KXTOURINFOSTRUCT), '\0');
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i + 1);

    const BusReply reply = client.Call(path, kServer, "GetGameInfo", Bytes(sent));
    ASSERT_EQ(reply.Hr(), kS_OK);
    const void* data = nullptr;
    std::size_t size = 0;
    ASSERT_GE(sd_bus_message_read_array(reply.message.get(), 'y', &data, &size), 0);
    ASSERT_EQ(size, sizeof(KXTOURINFOSTRUCT));

    KXTOURINFOSTRUCT expected{};
    std::memcpy(&expected, sent.data(), sizeof expected);
    expected.dwTournID = 12;
    expected.dwNumGames = 0;
    EXPECT_EQ(std::memcmp(data, &expected, sizeof expected), 0);
}

TEST_F(BusMethodsTest, GetGameInfoRefusesRecordsOfAnotherSize) {
    BusClient client;
    const std::string path = InitializedObject(client);
    for (const std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{183},
                                     std::size_t{185}, std::size_t{65536}}) {
        const std::string sent(length, '\x7f');
        const BusReply reply = client.Call(path, kServer, "GetGameInfo", Bytes(sent));
        EXPECT_EQ(reply.Hr(), kE_INVALIDARG) << length;
        const void* data = nullptr;
        std::size_t size = 0;
        ASSERT_GE(sd_bus_message_read_array(reply.message.get(), 'y', &data, &size), 0);
        EXPECT_EQ(std::string(static_cast<const char*>(data), size),
                  std::string(sizeof(KXTOURINFOSTRUCT), '\0'))
            << length;
    }
}

TEST_F(BusMethodsTest, GetGameDataItemFillsTheBufferTheClientNames) {
    struct Case {
        const char* item;
        std::uint32_t chars;
        HResult hr;
        const char* value;
    };
    const Case cases[] = {
        {"WORD", 6, kS_OK, "abcde"},
        {"WORD", 5, kKX_E_BUFFERTOOSMALL, ""},
        {"WORD", 1, kKX_E_BUFFERTOOSMALL, ""},
        {"WORD", 0, kKX_E_BUFFERTOOSMALL, ""},
        {"WORD", 0xFFFFFFFFu, kS_OK, "abcde"},
        // The code page's 0x80 is the euro sign.
        {"NAME", 5, kS_OK, "Zo\xE2\x82\xAC" "e"},
        {"MISSING", 64, kKX_E_NOSUCHITEM, ""},
        {"MISSING", 0, kKX_E_NOSUCHITEM, ""},
    };
    BusClient client;
    const std::string path = InitializedObject(client);
    for (const Case& c : cases) {
        const BusReply reply =
            client.Call(path, kServer, "GetGameDataItem", Args("ssu", "", c.item, c.chars));
        EXPECT_EQ(reply.Hr(), c.hr) << c.item << " " << c.chars;
        const char* value = nullptr;
        ASSERT_GE(sd_bus_message_read(reply.message.get(), "s", &value), 0);
        EXPECT_STREQ(value, c.value) << c.item << " " << c.chars;
    }
}

TEST_F(BusMethodsTest, ClientNamesArriveInTheCodePage) {
    struct Case {
        const char* selected;  // the session's game name, in the code page
        const char* client;    // what the client sends, UTF-8
        HResult hr;
    };
    const Case cases[] = {
        {"\xC9" "checs", "\xC3\x89" "checs", kS_OK},
        {"\xC9" "checs", "Echecs", kKX_E_REFUSED},
        {"Pi\x80" "ces", "Pi\xE2\x82\xAC" "ces", kS_OK},
        // Outside the code page: a question mark.
        {"Go?", "Go\xE2\x9C\x93", kS_OK},
    };
    StartPlay();
    BusClient client;
    for (const Case& c : cases) {
        game_name_ = c.selected;
        const std::string path = client.CreateInstance();
        EXPECT_EQ(client.CallHr(path, "Initialize", Args("sd", c.client, 2.5)), c.hr) << c.client;
    }

    game_name_ = "Checkers";
    const std::string path = client.CreateInstance();
    ASSERT_EQ(client.CallHr(path, "Initialize", Args("sd", "Checkers", 1.0)), kS_OK);
    EXPECT_EQ(client.CallHr(path, "SetGameDataItem", Args("ss", "CL\xC3\x89", "\xE2\x82\xAC" "5")),
              kS_OK);
    std::string stored;
    EXPECT_TRUE(play_.gameData.Lookup("CL\xC9", stored));
    EXPECT_EQ(stored, "\x80" "5");
}

TEST_F(BusMethodsTest, OnlyTheFirstScoreOfAPlayCounts) {
    BusClient client;
    const std::string path = InitializedObject(client);
    EXPECT_EQ(client.CallHr(path, "EndGame", Args("u", 4321u)), kS_OK);
    EXPECT_EQ(client.CallHr(path, "EndGame", Args("u", 9999u)), kKX_E_REFUSED);
    EXPECT_EQ(play_.score, 4321u);
    EXPECT_EQ(play_.scoreReceived, 1);
}

TEST_F(BusMethodsTest, TheRemainingMethodsPassTheCoreAnswerOn) {
    struct Case {
        const char* member;
        Appender args;
        HResult hr;
    };
    BusClient client;
    const std::string path = InitializedObject(client);
    const Case cases[] = {
        {"RefreshGameData", {}, kE_NOTIMPL},
        {"SendFileToServer", Args("si", "/tmp/none", 1), kE_NOTIMPL},
        {"CancelCommand", {}, kE_NOTIMPL},
        {"GetCommandStatus", {}, kS_OK},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(client.CallHr(path, c.member, c.args), c.hr) << c.member;
    }
}

}  // namespace
}  // namespace kx::test
