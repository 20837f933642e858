// The SDK against a fake console on a private session bus (the binary runs
// under dbus-run-session).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fake_console.h"
#include "kestrix/game_services.h"

namespace {

using namespace std::chrono_literals;
using kestrix::KXCommServices;
using kestrix::KXTOURINFOSTRUCT;
using kxtest::FakeConsole;

constexpr auto kTestTimeout = 5s;

KXCommServices Connect(std::chrono::milliseconds timeout = kTestTimeout) {
    std::int32_t hr = 1;
    std::optional<KXCommServices> services = KXCommServices::Create(&hr, timeout);
    EXPECT_TRUE(services.has_value());
    EXPECT_EQ(hr, kestrix::S_OK);
    if (!services) throw std::runtime_error("no services object");
    return std::move(*services);
}

std::string LastArgs(const FakeConsole& console, const std::string& member) {
    const auto calls = console.Calls();
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        if (it->member == member) return it->args;
    }
    return "<not called>";
}

TEST(CreateTest, GetsAnObjectOfTheServingConsole) {
    FakeConsole console;
    KXCommServices services = Connect();
    EXPECT_EQ(services.ObjectPath(), "/com/kestrix/Console/KXCommServices/1");
    EXPECT_EQ(console.Members(), std::vector<std::string>{"CreateInstance"});
}

TEST(CreateTest, FailsWithACodeWhenNoConsoleCanBeStarted) {
    std::int32_t hr = kestrix::S_OK;
    const auto start = std::chrono::steady_clock::now();
    const std::optional<KXCommServices> services = KXCommServices::Create(&hr, 2s);
    EXPECT_FALSE(services.has_value());
    EXPECT_EQ(hr, kestrix::CO_E_SERVER_EXEC_FAILURE) << kestrix::ResultName(hr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
}

TEST(CreateTest, TimesOutWhenTheFactoryNeverAnswers) {
    FakeConsole console;
    console.Hang("CreateInstance");
    std::int32_t hr = kestrix::S_OK;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(KXCommServices::Create(&hr, 300ms).has_value());
    EXPECT_EQ(hr, kestrix::RPC_E_TIMEOUT) << kestrix::ResultName(hr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

TEST(CreateTest, ToleratesANullResultPointer) {
    EXPECT_FALSE(KXCommServices::Create(nullptr, 1s).has_value());
}

// One row per method: how the game calls it, what the console receives and
// the code the console answers, which must reach the game unchanged.
struct MethodCase {
    const char* member;
    std::function<std::int32_t(KXCommServices&)> call;
    const char* expectedArgs;
    std::int32_t answer;
};

class MethodTest : public ::testing::TestWithParam<MethodCase> {};

TEST_P(MethodTest, ArgumentsArriveInOrderAndTheCodeComesBack) {
    const MethodCase& c = GetParam();
    FakeConsole console;
    console.SetResults(c.member, {c.answer});
    console.SetItem("SEED", "4711");
    KXCommServices services = Connect();
    EXPECT_EQ(c.call(services), c.answer) << kestrix::ResultName(c.answer);
    EXPECT_EQ(LastArgs(console, c.member), c.expectedArgs);
    EXPECT_EQ(console.Calls().back().path, services.ObjectPath());
}

KXTOURINFOSTRUCT g_info{};
std::string g_value;

INSTANTIATE_TEST_SUITE_P(
    EveryMethod, MethodTest,
    ::testing::Values(
        MethodCase{"Initialize", [](KXCommServices& s) { return s.Initialize("Word Maze", 1.5); },
                   "Word Maze|1.5", kestrix::S_OK},
        MethodCase{"Initialize", [](KXCommServices& s) { return s.Initialize("Other", 2.25); },
                   "Other|2.25", kestrix::KX_E_REFUSED},
        MethodCase{"GetGameInfo", [](KXCommServices& s) { return s.GetGameInfo(&g_info); }, "184",
                   kestrix::KX_E_NOTINITIALIZED},
        MethodCase{"GetGameDataItem",
                   [](KXCommServices& s) { return s.GetGameDataItem("Sec", "SEED", g_value, 77); },
                   "Sec|SEED|77", kestrix::S_OK},
        MethodCase{"GetGameDataItem",
                   [](KXCommServices& s) { return s.GetGameDataItem("", "SEED", g_value); },
                   "|SEED|256", kestrix::KX_E_BUFFERTOOSMALL},
        MethodCase{"RefreshGameData", [](KXCommServices& s) { return s.RefreshGameData(); }, "",
                   kestrix::E_NOTIMPL},
        MethodCase{"SaveUrlToFile",
                   [](KXCommServices& s) {
                       return s.SaveUrlToFile("https://host/a.bin?x=1", "a.bin");
                   },
                   "https://host/a.bin?x=1|a.bin", kestrix::KX_E_DOWNLOADBUSY},
        MethodCase{"SendFileToServer",
                   [](KXCommServices& s) { return s.SendFileToServer("log.txt", -1); },
                   "log.txt|-1", kestrix::E_NOTIMPL},
        MethodCase{"GetCommandStatus", [](KXCommServices& s) { return s.GetCommandStatus(); }, "",
                   kestrix::KX_S_DOWNLOADRUNNING},
        MethodCase{"CancelCommand", [](KXCommServices& s) { return s.CancelCommand(); }, "",
                   kestrix::E_NOTIMPL},
        MethodCase{"SetGameDataItem",
                   [](KXCommServices& s) { return s.SetGameDataItem("MOVES", "12"); }, "MOVES|12",
                   kestrix::S_OK},
        MethodCase{"EndGame", [](KXCommServices& s) { return s.EndGame(4294967295U); },
                   "4294967295", kestrix::S_OK},
        MethodCase{"EndGame", [](KXCommServices& s) { return s.EndGame(0); }, "0",
                   kestrix::KX_E_REFUSED}),
    [](const ::testing::TestParamInfo<MethodCase>& param_info) {
        return std::string(param_info.param.member) + std::to_string(param_info.index);
    });

// A reply of the wrong shape is the console's fault: a failure, never a
// success with made-up data.
class MalformedReplyTest : public ::testing::TestWithParam<MethodCase> {};

TEST_P(MalformedReplyTest, IsAFailure) {
    const MethodCase& c = GetParam();
    FakeConsole console;
    console.ReplyMalformed(c.member);
    KXCommServices services = Connect();
    EXPECT_EQ(c.call(services), kestrix::E_FAIL);
}

INSTANTIATE_TEST_SUITE_P(
    SomeMethods, MalformedReplyTest,
    ::testing::Values(
        MethodCase{"Initialize", [](KXCommServices& s) { return s.Initialize("Word Maze", 1.5); },
                   "", 0},
        MethodCase{"GetGameInfo", [](KXCommServices& s) { return s.GetGameInfo(&g_info); }, "", 0},
        MethodCase{"GetGameDataItem",
                   [](KXCommServices& s) { return s.GetGameDataItem("", "SEED", g_value); }, "",
                   0},
        MethodCase{"EndGame", [](KXCommServices& s) { return s.EndGame(1); }, "", 0}),
    [](const ::testing::TestParamInfo<MethodCase>& param_info) {
        return std::string(param_info.param.member);
    });

KXTOURINFOSTRUCT Patterned(std::uint8_t start) {
    KXTOURINFOSTRUCT info{};
    auto* bytes = reinterpret_cast<std::uint8_t*>(&info);
    for (std::size_t i = 0; i < sizeof(info); ++i) {
        bytes[i] = static_cast<std::uint8_t>(start + i);
    }
    return info;
}

std::vector<std::uint8_t> BytesOf(const KXTOURINFOSTRUCT& info) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&info);
    return {bytes, bytes + sizeof(info)};
}

TEST(GetGameInfoTest, CarriesAll184BytesBothWays) {
    FakeConsole console;
    KXTOURINFOSTRUCT answer{};
    answer.dwSize = sizeof(answer);
    answer.dwTournID = 4242;
    answer.dwHiScore = 990;
    std::memcpy(answer.szHiPlayer, u"Zo\u00eb", 8);
    answer.fJackpot = 1234.5;
    answer.bIsPromo = 1;
    answer.dwEndScore = 7;
    std::memcpy(answer.szEndDate, u"2026-12-31", 22);
    console.SetInfoReply(BytesOf(answer));
    KXCommServices services = Connect();

    KXTOURINFOSTRUCT info = Patterned(3);
    const std::vector<std::uint8_t> sent = BytesOf(info);
    EXPECT_EQ(services.GetGameInfo(&info), kestrix::S_OK);
    EXPECT_EQ(console.LastInfoSent(), sent);
    EXPECT_EQ(BytesOf(info), BytesOf(answer));
    EXPECT_EQ(info.fJackpot, 1234.5);
    EXPECT_EQ(std::u16string(info.szHiPlayer), u"Zo\u00eb");
}

TEST(GetGameInfoTest, LeavesTheRecordAloneWhenTheReplyIsNotARecord) {
    FakeConsole console;
    console.SetInfoReply(std::vector<std::uint8_t>(183, 0xEE));
    KXCommServices services = Connect();
    KXTOURINFOSTRUCT info = Patterned(9);
    const std::vector<std::uint8_t> before = BytesOf(info);
    EXPECT_EQ(services.GetGameInfo(&info), kestrix::E_FAIL);
    EXPECT_EQ(BytesOf(info), before);
}

TEST(GetGameInfoTest, NullRecordIsRefusedWithoutACall) {
    FakeConsole console;
    KXCommServices services = Connect();
    EXPECT_EQ(services.GetGameInfo(nullptr), kestrix::E_POINTER);
    EXPECT_EQ(console.Members(), std::vector<std::string>{"CreateInstance"});
}

TEST(GetGameDataItemTest, SetsTheValueOnSuccessOnly) {
    FakeConsole console;
    console.SetItem("SEED", "12345");
    console.SetResults("GetGameDataItem",
                       {kestrix::S_OK, kestrix::KX_E_BUFFERTOOSMALL, kestrix::S_OK});
    KXCommServices services = Connect();
    std::string value = "old";
    EXPECT_EQ(services.GetGameDataItem("", "SEED", value), kestrix::S_OK);
    EXPECT_EQ(value, "12345");
    value = "kept";
    EXPECT_EQ(services.GetGameDataItem("", "SEED", value, 3), kestrix::KX_E_BUFFERTOOSMALL);
    EXPECT_EQ(value, "kept");
    EXPECT_EQ(LastArgs(console, "GetGameDataItem"), "|SEED|3");
    EXPECT_EQ(services.GetGameDataItem("", "NOPE", value), kestrix::KX_E_NOSUCHITEM);
    EXPECT_EQ(value, "kept");
}

TEST(TextTest, Utf8TravelsUnchangedBothWays) {
    FakeConsole console;
    console.SetItem("H\u00c9LLO", "\u00c6r\u00f8 \u20ac5 \u65e5\u672c");
    KXCommServices services = Connect();
    EXPECT_EQ(services.Initialize("Caf\u00e9 \u20ac \u65e5\u672c", 1.0), kestrix::S_OK);
    EXPECT_EQ(LastArgs(console, "Initialize"), "Caf\u00e9 \u20ac \u65e5\u672c|1");
    std::string value;
    EXPECT_EQ(services.GetGameDataItem("", "H\u00c9LLO", value), kestrix::S_OK);
    EXPECT_EQ(value, "\u00c6r\u00f8 \u20ac5 \u65e5\u672c");
}

TEST(TextTest, InvalidUtf8IsRefusedBeforeAnythingIsSent) {
    FakeConsole console;
    KXCommServices services = Connect();
    EXPECT_EQ(services.SetGameDataItem("MOVES", "\xff\xfe"), kestrix::E_INVALIDARG);
    EXPECT_EQ(services.Initialize("\xc3", 1.5), kestrix::E_INVALIDARG);
    EXPECT_EQ(console.Members(), std::vector<std::string>{"CreateInstance"});
}

TEST(TextTest, AZeroCharacterEndsTheText) {
    FakeConsole console;
    KXCommServices services = Connect();
    using namespace std::string_view_literals;
    EXPECT_EQ(services.SetGameDataItem("A\0B"sv, "12\0junk"sv), kestrix::S_OK);
    EXPECT_EQ(LastArgs(console, "SetGameDataItem"), "A|12");
}

TEST(DisconnectTest, AVanishedConsoleGivesTheDisconnectedCode) {
    auto console = std::make_unique<FakeConsole>();
    KXCommServices services = Connect();
    EXPECT_EQ(services.Initialize("Word Maze", 1.5), kestrix::S_OK);
    console->Vanish();
    EXPECT_EQ(services.EndGame(10), kestrix::RPC_E_DISCONNECTED);
    EXPECT_EQ(services.GetCommandStatus(), kestrix::RPC_E_DISCONNECTED);
}

TEST(DisconnectTest, AConsoleEndingDuringACallGivesTheDisconnectedCode) {
    auto console = std::make_unique<FakeConsole>();
    console->Hang("EndGame");
    KXCommServices services = Connect(10s);
    std::thread crash([&] {
        console->WaitFor("EndGame", 5s);
        console->Vanish();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(services.EndGame(10), kestrix::RPC_E_DISCONNECTED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    crash.join();
}

TEST(DisconnectTest, ALiveConsoleThatDoesNotAnswerTimesOut) {
    FakeConsole console;
    console.Hang("GetCommandStatus");
    KXCommServices services = Connect(400ms);
    EXPECT_EQ(services.GetCommandStatus(), kestrix::RPC_E_TIMEOUT);
    // Still usable afterwards.
    EXPECT_EQ(services.EndGame(3), kestrix::S_OK);
}

TEST(ReleaseTest, TheDestructorReleasesTheObject) {
    FakeConsole console;
    std::string path;
    {
        KXCommServices services = Connect();
        path = services.ObjectPath();
    }
    ASSERT_TRUE(console.WaitFor("Release", 5s));
    const auto calls = console.Calls();
    EXPECT_EQ(calls.back().member, "Release");
    EXPECT_EQ(calls.back().path, path);
}

TEST(ReleaseTest, AMovedFromObjectFailsAndEachObjectIsReleasedOnce) {
    FakeConsole console;
    {
        KXCommServices first = Connect();
        KXCommServices second = std::move(first);
        EXPECT_EQ(first.EndGame(1), kestrix::E_FAIL);  // NOLINT(bugprone-use-after-move)
        EXPECT_EQ(second.EndGame(1), kestrix::S_OK);
        KXCommServices third = Connect();
        // Assigning over an object releases the object it held.
        third = std::move(second);
        ASSERT_TRUE(console.WaitFor("Release", 5s));
    }
    ASSERT_TRUE(console.WaitFor("Release", 5s, 2));
    std::this_thread::sleep_for(200ms);
    std::size_t releases = 0;
    std::set<std::string> paths;
    for (const auto& call : console.Calls()) {
        if (call.member == "Release") {
            ++releases;
            paths.insert(call.path);
        }
    }
    EXPECT_EQ(releases, 2U);
    EXPECT_EQ(paths.size(), 2U);
}

TEST(ResultNameTest, NamesKnownCodesAndPrintsOthers) {
    EXPECT_EQ(kestrix::ResultName(kestrix::RPC_E_DISCONNECTED), "RPC_E_DISCONNECTED");
    EXPECT_EQ(kestrix::ResultName(kestrix::KX_E_NOSUCHITEM), "KX_E_NOSUCHITEM");
    EXPECT_EQ(kestrix::ResultName(kestrix::MakeResult(0x8000FFFF)), "0x8000FFFF");
    // What COM answers on Windows for a missing proxy/stub or a console gone.
    EXPECT_EQ(kestrix::ResultName(kestrix::MakeResult(0x80004002)), "E_NOINTERFACE");
    EXPECT_EQ(kestrix::ResultName(kestrix::MakeResult(0x800706BA)), "RPC_S_SERVER_UNAVAILABLE");
}

TEST(VerifyFileTest, FollowsTmpdirLikeTheConsole) {
    const char* saved = std::getenv("TMPDIR");
    const std::string restore = saved != nullptr ? saved : "";
    setenv("TMPDIR", "/var/tmp/x", 1);
    EXPECT_EQ(kestrix::VerifyFilePath(), "/var/tmp/x/verify.txt");
    setenv("TMPDIR", "relative", 1);
    EXPECT_EQ(kestrix::VerifyFilePath(), "/tmp/verify.txt");
    if (saved != nullptr) {
        setenv("TMPDIR", restore.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}

}  // namespace
