// The C interface against the fake console on a private session bus: each
// call's arguments as the console receives them, its code passed back, and
// the C side's own rules (the caller's byte buffer, null pointers, names).

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "fake_console.h"
#include "kestrix/game_services.h"
#include "kestrix/game_services_c.h"

namespace {

using kxtest::FakeConsole;

// A handle of the fake console, destroyed with the test.
class Handle {
public:
    Handle() {
        EXPECT_EQ(kx_game_services_create(&services_, 5000), KX_GAME_S_OK);
        EXPECT_NE(services_, nullptr);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { kx_game_services_destroy(services_); }
    kx_game_services* get() const { return services_; }

private:
    kx_game_services* services_ = nullptr;
};

std::string LastArgs(const FakeConsole& console, const std::string& member) {
    const auto calls = console.Calls();
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        if (it->member == member) return it->args;
    }
    return "<not called>";
}

KXTOURINFOSTRUCT g_info{};
char g_value[32];

struct CallCase {
    const char* member;
    std::function<kx_game_result(kx_game_services*)> call;
    const char* expectedArgs;
    kx_game_result answer;
};

class CCallTest : public ::testing::TestWithParam<CallCase> {};

TEST_P(CCallTest, ArgumentsArriveAndTheCodeComesBack) {
    const CallCase& c = GetParam();
    FakeConsole console;
    console.SetResults(c.member, {c.answer});
    console.SetItem("SEED", "4711");
    const Handle handle;
    EXPECT_EQ(c.call(handle.get()), c.answer) << kx_game_result_name(c.answer);
    EXPECT_EQ(LastArgs(console, c.member), c.expectedArgs);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCall, CCallTest,
    ::testing::Values(
        CallCase{"Initialize",
                 [](kx_game_services* s) { return kx_game_initialize(s, "Word Maze", 1.5); },
                 "Word Maze|1.5", KX_GAME_S_OK},
        CallCase{"Initialize",
                 [](kx_game_services* s) { return kx_game_initialize(s, "Other", 2.25); },
                 "Other|2.25", KX_GAME_E_REFUSED},
        CallCase{"GetGameInfo",
                 [](kx_game_services* s) { return kx_game_get_game_info(s, &g_info); }, "184",
                 KX_GAME_E_NOTINITIALIZED},
        // The caller's bytes are the console's buffer size.
        CallCase{"GetGameDataItem",
                 [](kx_game_services* s) {
                     return kx_game_get_game_data_item(s, "Sec", "SEED", g_value, 77);
                 },
                 "Sec|SEED|77", KX_GAME_S_OK},
        CallCase{"GetGameDataItem",
                 [](kx_game_services* s) {
                     return kx_game_get_game_data_item(s, "", "SEED", g_value,
                                                       std::numeric_limits<size_t>::max());
                 },
                 "|SEED|4294967295", KX_GAME_E_NOSUCHITEM},
        CallCase{"RefreshGameData",
                 [](kx_game_services* s) { return kx_game_refresh_game_data(s); }, "",
                 KX_GAME_E_NOTIMPL},
        CallCase{"SaveUrlToFile",
                 [](kx_game_services* s) {
                     return kx_game_save_url_to_file(s, "https://host/a.bin?x=1", "/tmp/a.bin");
                 },
                 "https://host/a.bin?x=1|/tmp/a.bin", KX_GAME_E_DOWNLOADBUSY},
        CallCase{"SendFileToServer",
                 [](kx_game_services* s) { return kx_game_send_file_to_server(s, "log.txt", -1); },
                 "log.txt|-1", KX_GAME_E_NOTIMPL},
        CallCase{"GetCommandStatus",
                 [](kx_game_services* s) { return kx_game_get_command_status(s); }, "",
                 KX_GAME_S_DOWNLOADRUNNING},
        CallCase{"CancelCommand", [](kx_game_services* s) { return kx_game_cancel_command(s); }, "",
                 KX_GAME_E_NOTIMPL},
        CallCase{"SetGameDataItem",
                 [](kx_game_services* s) { return kx_game_set_game_data_item(s, "MOVES", "12"); },
                 "MOVES|12", KX_GAME_S_OK},
        CallCase{"EndGame", [](kx_game_services* s) { return kx_game_end_game(s, 4294967295U); },
                 "4294967295", KX_GAME_S_OK}),
    [](const ::testing::TestParamInfo<CallCase>& param_info) {
        return std::string(param_info.param.member) + std::to_string(param_info.index);
    });

TEST(CGetGameDataItemTest, WritesTheValueOnlyWhenItAndItsZeroFit) {
    struct Case {
        const char* value;
        size_t size;
        kx_game_result hr;
        const char* written;
    };
    // "\xE2\x82\xAC" is one character in three bytes: the console, counting
    // characters, would accept what the caller's bytes cannot hold.
    const Case cases[] = {
        {"4711", 5, KX_GAME_S_OK, "4711"},
        {"4711", 4, KX_GAME_E_BUFFERTOOSMALL, nullptr},
        {"", 1, KX_GAME_S_OK, ""},
        {"Gr\xE2\x82\xAC", 6, KX_GAME_S_OK, "Gr\xE2\x82\xAC"},
        {"Gr\xE2\x82\xAC", 5, KX_GAME_E_BUFFERTOOSMALL, nullptr},
        {"Gr\xE2\x82\xAC", 4, KX_GAME_E_BUFFERTOOSMALL, nullptr},
    };
    for (const Case& c : cases) {
        FakeConsole console;
        console.SetItem("SEED", c.value);
        const Handle handle;
        // One byte more than the caller names, to see that it stays.
        std::vector<char> buffer(c.size + 1, '#');
        EXPECT_EQ(kx_game_get_game_data_item(handle.get(), "", "SEED", buffer.data(), c.size),
                  c.hr)
            << c.value << " " << c.size;
        if (c.written != nullptr) {
            EXPECT_STREQ(buffer.data(), c.written) << c.size;
        } else {
            EXPECT_EQ(buffer, std::vector<char>(c.size + 1, '#')) << c.value << " " << c.size;
        }
        EXPECT_EQ(buffer[c.size], '#') << c.value << " " << c.size;
    }
}

TEST(CGetGameDataItemTest, ABufferOfNoBytesHoldsNothing) {
    FakeConsole console;
    console.SetItem("SEED", "");
    const Handle handle;
    char byte = '-';
    EXPECT_EQ(kx_game_get_game_data_item(handle.get(), "", "SEED", &byte, 0),
              KX_GAME_E_BUFFERTOOSMALL);
    EXPECT_EQ(byte, '-');
}

TEST(CGetGameInfoTest, CarriesTheConsolesRecordIntoTheCallersStruct) {
    FakeConsole console;
    std::vector<std::uint8_t> answer(sizeof(KXTOURINFOSTRUCT));
    for (std::size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<std::uint8_t>(i * 7);
    console.SetInfoReply(answer);
    const Handle handle;
    KXTOURINFOSTRUCT info{};
    info.dwSize = sizeof info;
    info.fJackpot = 2.5;
    EXPECT_EQ(kx_game_get_game_info(handle.get(), &info), KX_GAME_S_OK);

    kestrix::KXTOURINFOSTRUCT sent{};
    sent.dwSize = sizeof sent;
    sent.fJackpot = 2.5;
    const auto* sent_bytes = reinterpret_cast<const std::uint8_t*>(&sent);
    EXPECT_EQ(console.LastInfoSent(),
              std::vector<std::uint8_t>(sent_bytes, sent_bytes + sizeof sent));
    EXPECT_EQ(std::memcmp(&info, answer.data(), sizeof info), 0);
}

TEST(CCreateTest, FailsWithTheCodesOfTheCppCreate) {
    kx_game_services* services = nullptr;
    EXPECT_EQ(kx_game_services_create(&services, 1000), KX_GAME_CO_E_SERVER_EXEC_FAILURE);
    EXPECT_EQ(services, nullptr);

    FakeConsole console;
    console.Hang("CreateInstance");
    EXPECT_EQ(kx_game_services_create(&services, 300), KX_GAME_RPC_E_TIMEOUT);
    EXPECT_EQ(services, nullptr);
    EXPECT_EQ(kx_game_services_create(nullptr, 300), KX_GAME_E_POINTER);
}

TEST(CCallsTest, AnswerDisconnectedOnceTheConsoleHasGone) {
    auto console = std::make_unique<FakeConsole>();
    const Handle handle;
    console->Vanish();
    EXPECT_EQ(kx_game_end_game(handle.get(), 3), KX_GAME_RPC_E_DISCONNECTED);
}

TEST(CCallsTest, RefuseTextsThatAreNotUtf8BeforeSending) {
    FakeConsole console;
    const Handle handle;
    EXPECT_EQ(kx_game_set_game_data_item(handle.get(), "MOVES", "\xFF\xFE"),
              KX_GAME_E_INVALIDARG);
    EXPECT_EQ(LastArgs(console, "SetGameDataItem"), "<not called>");
}

TEST(CCallsTest, RefuseNullPointersWithoutCallingTheConsole) {
    FakeConsole console;
    const Handle handle;
    kx_game_services* s = handle.get();
    char value[8] = "-";
    const std::vector<kx_game_result> answers = {
        kx_game_initialize(nullptr, "Word Maze", 1.5),
        kx_game_initialize(s, nullptr, 1.5),
        kx_game_get_game_info(s, nullptr),
        kx_game_get_game_data_item(s, nullptr, "SEED", value, sizeof value),
        kx_game_get_game_data_item(s, "", nullptr, value, sizeof value),
        kx_game_get_game_data_item(s, "", "SEED", nullptr, 8),
        kx_game_refresh_game_data(nullptr),
        kx_game_save_url_to_file(s, nullptr, "/tmp/a"),
        kx_game_save_url_to_file(s, "http://a/", nullptr),
        kx_game_send_file_to_server(s, nullptr, 0),
        kx_game_get_command_status(nullptr),
        kx_game_cancel_command(nullptr),
        kx_game_set_game_data_item(s, nullptr, "1"),
        kx_game_set_game_data_item(s, "MOVES", nullptr),
        kx_game_end_game(nullptr, 1),
    };
    for (std::size_t i = 0; i < answers.size(); ++i) {
        EXPECT_EQ(answers[i], KX_GAME_E_POINTER) << i;
    }
    EXPECT_STREQ(value, "-");
    EXPECT_EQ(console.Members(), std::vector<std::string>{"CreateInstance"});
    kx_game_services_destroy(nullptr);
}

TEST(CResultNameTest, NamesEveryCodeAsTheCppSdkDoes) {
    const kx_game_result codes[] = {
        KX_GAME_S_OK,           KX_GAME_S_FALSE,          KX_GAME_S_DOWNLOADRUNNING,
        KX_GAME_E_NOTIMPL,      KX_GAME_E_POINTER,        KX_GAME_E_FAIL,
        KX_GAME_E_OUTOFMEMORY,  KX_GAME_E_INVALIDARG,     KX_GAME_E_NOTINITIALIZED,
        KX_GAME_E_REFUSED,      KX_GAME_E_BUFFERTOOSMALL, KX_GAME_E_NOSUCHITEM,
        KX_GAME_E_DOWNLOADBUSY, KX_GAME_RPC_E_DISCONNECTED, KX_GAME_RPC_E_TIMEOUT,
        KX_GAME_CO_E_SERVER_EXEC_FAILURE, KX_GAME_E_CONSOLENOTREGISTERED,
        KX_GAME_RESULT(0x80001234u), KX_GAME_RESULT(0x00000002u),
    };
    for (const kx_game_result code : codes) {
        EXPECT_EQ(kx_game_result_name(code), kestrix::ResultName(code));
    }
    EXPECT_STREQ(kx_game_result_name(KX_GAME_RESULT(0xDEADBEEFu)), "0xDEADBEEF");
}

}  // namespace
