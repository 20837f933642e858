#include "play/game_services.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/captured_debug_output.h"
#include "support/scripted_inet_api.h"

namespace kx {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Behavior;
using test::InetOp;

constexpr const char* kStartReply =
    "ERRORCODE=0\r\nPLAYID=4711\r\nCLIENTID=C-1\r\nWORD=abcde\r\nNAME=Zo\x80"
    "e\r\nPRIX\xC9=1\r\n";

Ports InetOnly(InetApi& inet) {
    Ports ports;
    ports.inet = &inet;
    return ports;
}

std::u16string Repeat(std::u16string_view unit, std::size_t times) {
    std::u16string text;
    for (std::size_t i = 0; i < times; ++i) text += unit;
    return text;
}

std::u16string Widen(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WaitForStatusOk(KXCommServices& services) {
    for (auto waited = 0ms; waited < 5s; waited += 5ms) {
        if (services.GetCommandStatus() == kS_OK) return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

class GameServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kx_game_services_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void StartPlay(const char* reply = kStartReply, const char* tournament = "12") {
        KeyValueStore response;
        response.Parse(reply, 1);
        play_.StartPlay(response, tournament, "4711");
    }
    void InitializeServices() {
        if (play_.playActive == 0) StartPlay();
        ASSERT_EQ(services_.Initialize(u"Checkers", 1.0), kS_OK);
    }

    // Outlives the engines, whose workers trace until they end.
    test::CapturedDebugOutput debug_;
    test::ScriptedInetApi inet_;
    Ports ports_ = InetOnly(inet_);
    PlayContext play_;
    std::string game_ = "Checkers";
    KXCommServices services_{ports_, play_, game_};
    fs::path dir_;
};

TEST_F(GameServicesTest, OnlyTheDownloadMethodsServeAnObjectThatIsNotInitialised) {
    using Call = std::function<HResult(KXCommServices&)>;
    KXTOURINFOSTRUCT info{};
    std::array<char16_t, 8> buffer{};
    struct Case {
        const char* name;
        Call call;
        HResult fresh;
        HResult initialised;
    } const cases[] = {
        {"GetGameInfo", [&](auto& s) { return s.GetGameInfo(&info); }, kKX_E_NOTINITIALIZED, kS_OK},
        {"GetGameDataItem",
         [&](auto& s) { return s.GetGameDataItem(u"", u"PLAYID", buffer.data(), 8); },
         kKX_E_NOTINITIALIZED, kS_OK},
        {"SetGameDataItem", [](auto& s) { return s.SetGameDataItem(u"A", u"1"); },
         kKX_E_NOTINITIALIZED, kS_OK},
        {"EndGame", [](auto& s) { return s.EndGame(5); }, kKX_E_NOTINITIALIZED, kS_OK},
        {"GetCommandStatus", [](auto& s) { return s.GetCommandStatus(); }, kS_OK, kS_OK},
        {"RefreshGameData", [](auto& s) { return s.RefreshGameData(); }, kE_NOTIMPL, kE_NOTIMPL},
        {"SendFileToServer", [](auto& s) { return s.SendFileToServer(u"log.txt", 1); }, kE_NOTIMPL,
         kE_NOTIMPL},
        {"CancelCommand", [](auto& s) { return s.CancelCommand(); }, kE_NOTIMPL, kE_NOTIMPL},
    };
    StartPlay();
    for (const auto& c : cases) {
        KXCommServices fresh(ports_, play_, game_);
        EXPECT_EQ(c.call(fresh), c.fresh) << c.name;
    }
    EXPECT_TRUE(play_.gameData.Values().empty());
    EXPECT_EQ(play_.scoreReceived, 0);
    EXPECT_EQ(buffer[0], u'\0');

    KXCommServices initialised(ports_, play_, game_);
    ASSERT_EQ(initialised.Initialize(u"Checkers", 0.0), kS_OK);
    for (const auto& c : cases) EXPECT_EQ(c.call(initialised), c.initialised) << c.name;
}

TEST_F(GameServicesTest, InitializeNeedsAnActivePlayAndExactlyTheSelectedGamesName) {
    struct Case {
        const char* name;
        bool play_active;
        std::string selected;
        std::u16string client;
        HResult expected;
    } const cases[] = {
        {"before any play", false, "Checkers", u"Checkers", kKX_E_REFUSED},
        {"the selected game", true, "Checkers", u"Checkers", kS_OK},
        {"other letter case", true, "Checkers", u"checkers", kKX_E_REFUSED},
        {"trailing blank", true, "Checkers", u"Checkers ", kKX_E_REFUSED},
        {"another game", true, "Checkers", u"Chess", kKX_E_REFUSED},
        {"empty name", true, "Checkers", u"", kKX_E_REFUSED},
        {"name ends at its first zero", true, "Checkers", std::u16string(u"Checkers\0x", 10),
         kS_OK},
        {"name in the code page", true, "\xC9" "checs", u"\u00C9checs", kS_OK},
    };
    for (const auto& c : cases) {
        play_.ResetPlay();
        if (c.play_active) StartPlay();
        game_ = c.selected;
        KXCommServices services(ports_, play_, game_);
        EXPECT_EQ(services.Initialize(c.client, 3.5), c.expected) << c.name;
        EXPECT_EQ(services.IsInitialized(), c.expected == kS_OK) << c.name;
    }
}

TEST_F(GameServicesTest, AFailingRepeatOfInitializeLeavesTheObjectInitialised) {
    InitializeServices();
    // The score of the play was accepted.
    play_.ResetPlay();
    EXPECT_EQ(services_.Initialize(u"Checkers", 1.0), kKX_E_REFUSED);
    EXPECT_TRUE(services_.IsInitialized());
    EXPECT_EQ(services_.SetGameDataItem(u"A", u"1"), kS_OK);

    KXCommServices late(ports_, play_, game_);
    EXPECT_EQ(late.Initialize(u"Checkers", 1.0), kKX_E_REFUSED);
    EXPECT_FALSE(late.IsInitialized());
}

TEST_F(GameServicesTest, GetGameInfoFillsOnlyTheTournamentAndTheNumberOfGames) {
    struct Case {
        const char* name;
        const char* reply;
        const char* tournament;
        std::uint32_t tourn_id;
        std::uint32_t num_games;
    } const cases[] = {
        {"usual reply", kStartReply, "12", 12, 0},
        {"tournament text not a number", kStartReply, "abc", 0, 0},
        {"negative tournament", kStartReply, "-3", 0xFFFFFFFDu, 0},
        {"an empty-named item keeps the caller's count", "PLAYID=1\r\n=5\r\n", "7", 7, 33},
    };
    for (const auto& c : cases) {
        StartPlay(c.reply, c.tournament);
        KXCommServices services(ports_, play_, game_);
        ASSERT_EQ(services.Initialize(u"Checkers", 1.0), kS_OK);
        KXTOURINFOSTRUCT info;
        std::memset(&info, 0xA5, sizeof info);
        info.dwSize = 3;  // not checked: clients may rely on any value passing
        info.dwNumGames = 33;
        KXTOURINFOSTRUCT expected = info;
        expected.dwTournID = c.tourn_id;
        expected.dwNumGames = c.num_games;

        EXPECT_EQ(services.GetGameInfo(&info), kS_OK) << c.name;
        EXPECT_EQ(std::memcmp(&info, &expected, sizeof info), 0) << c.name;
    }
    EXPECT_EQ(services_.GetGameInfo(nullptr), kKX_E_NOTINITIALIZED);
    InitializeServices();
    EXPECT_EQ(services_.GetGameInfo(nullptr), kE_POINTER);
}

TEST_F(GameServicesTest, GetGameDataItemCopiesTheItemOnlyWhenItAndItsZeroFit) {
    struct Case {
        const char* name;
        std::u16string section;
        std::u16string item;
        std::uint32_t size;
        HResult expected;
        std::u16string value;
    } const cases[] = {
        {"play id", u"", u"PLAYID", 16, kS_OK, u"4711"},
        {"any section", u"Whatever", u"CLIENTID", 16, kS_OK, u"C-1"},
        {"five characters in six", u"", u"WORD", 6, kS_OK, u"abcde"},
        {"five characters in five", u"", u"WORD", 5, kKX_E_BUFFERTOOSMALL, u""},
        {"no room at all", u"", u"WORD", 0, kKX_E_BUFFERTOOSMALL, u""},
        {"value in the code page", u"", u"NAME", 16, kS_OK, u"Zo\u20ACe"},
        {"name in the code page", u"", u"PRIX\u00C9", 16, kS_OK, u"1"},
        {"names are case-sensitive", u"", u"playid", 16, kKX_E_NOSUCHITEM, u""},
        {"missing item", u"", u"LEVEL", 16, kKX_E_NOSUCHITEM, u""},
    };
    InitializeServices();
    for (const auto& c : cases) {
        std::array<char16_t, 16> buffer;
        buffer.fill(u'#');
        EXPECT_EQ(services_.GetGameDataItem(c.section, c.item, buffer.data(), c.size), c.expected)
            << c.name;
        std::u16string expected(16, u'#');
        if (c.expected == kS_OK) expected.replace(0, c.value.size() + 1, c.value + u'\0');
        EXPECT_EQ(std::u16string(buffer.data(), buffer.size()), expected) << c.name;
    }
    EXPECT_EQ(services_.GetGameDataItem(u"", u"WORD", nullptr, 6), kE_POINTER);
    EXPECT_EQ(services_.GetGameDataItem(u"", u"WORD", nullptr, 5), kKX_E_BUFFERTOOSMALL);
}

TEST_F(GameServicesTest, SetGameDataItemStoresConvertedPairsAndTheLastValueWins) {
    InitializeServices();
    ASSERT_EQ(services_.SetGameDataItem(u"A", u"1"), kS_OK);
    ASSERT_EQ(services_.SetGameDataItem(u"B", u"2"), kS_OK);
    ASSERT_EQ(services_.SetGameDataItem(u"A", u"3"), kS_OK);
    ASSERT_EQ(services_.SetGameDataItem(u"Name", u"J\u00FCrgen \u4E2D\u20AC"), kS_OK);
    ASSERT_EQ(services_.SetGameDataItem(u"Long", Repeat(u"x", 5000)), kS_OK);

    const std::map<std::string, std::string> expected = {
        {"A", "3"}, {"B", "2"}, {"Name", "J\xFCrgen ?\x80"}, {"Long", std::string(1023, 'x')}};
    EXPECT_EQ(play_.gameData.Values(), expected);
}

TEST_F(GameServicesTest, EndGameTakesTheFirstScoreOfAPlayOnly) {
    struct Case {
        const char* name;
        std::uint32_t score_before;
        std::vector<std::pair<std::uint32_t, HResult>> calls;
        std::uint32_t score_after;
        std::int32_t received_after;
    } const cases[] = {
        {"second call refused", 0, {{5, kS_OK}, {7, kKX_E_REFUSED}}, 5, 1},
        {"a zero score counts", 0, {{0, kS_OK}, {7, kKX_E_REFUSED}}, 0, 1},
        {"largest score", 0, {{4294967295u, kS_OK}}, 4294967295u, 1},
        {"a score already there", 9, {{7, kKX_E_REFUSED}}, 9, 0},
    };
    for (const auto& c : cases) {
        StartPlay();
        play_.score = c.score_before;
        KXCommServices services(ports_, play_, game_);
        ASSERT_EQ(services.Initialize(u"Checkers", 1.0), kS_OK);
        for (const auto& [score, result] : c.calls) {
            EXPECT_EQ(services.EndGame(score), result) << c.name << ' ' << score;
        }
        EXPECT_EQ(play_.score, c.score_after) << c.name;
        EXPECT_EQ(play_.scoreReceived, c.received_after) << c.name;
    }
    // The play, not the object, holds the score.
    InitializeServices();
    EXPECT_EQ(services_.EndGame(8), kKX_E_REFUSED);
}

TEST_F(GameServicesTest, ToAnsiKeepsAtMost1023BytesOfWholeCharacters) {
    const std::u16string pair = u"\U0001F600";
    struct Case {
        const char* name;
        std::u16string wide;
        std::string ansi;
    } const cases[] = {
        {"1023 fit", Repeat(u"a", 1023), std::string(1023, 'a')},
        {"1024 are cut", Repeat(u"a", 1024), std::string(1023, 'a')},
        {"far beyond", Repeat(u"\u00E9", 5000), std::string(1023, '\xE9')},
        {"1023 pairs fit", Repeat(pair, 1023), std::string(1023, '?')},
        {"1024 pairs are cut", Repeat(pair, 1024), std::string(1023, '?')},
        {"a pair as the last that fits", Repeat(u"a", 1022) + pair,
         std::string(1022, 'a') + '?'},
        {"a pair beyond the last byte", Repeat(u"a", 1023) + pair, std::string(1023, 'a')},
        {"up to the first zero", std::u16string(u"ab\0cd", 5), "ab"},
    };
    for (const auto& c : cases) EXPECT_EQ(ToAnsi(c.wide), c.ansi) << c.name;
}

TEST_F(GameServicesTest, SaveUrlToFileDownloadsOnceAtATimeAndStatusTellsWhenItEnds) {
    const fs::path file = dir_ / "extra.dat";
    inet_.SetReply({200, 5, "hello", 0});
    inet_.ScriptNth(InetOp::Read, 0, Behavior::PendUntilReleased());

    // Neither a play nor Initialize is needed.
    ASSERT_EQ(services_.SaveUrlToFile(u"http://kx.example/files/extra.dat", Widen(file.string())),
              kS_OK);
    EXPECT_EQ(services_.GetCommandStatus(), kKX_S_DOWNLOADRUNNING);
    EXPECT_EQ(services_.SaveUrlToFile(u"http://kx.example/other", u"other"), kKX_E_DOWNLOADBUSY);

    ASSERT_TRUE(inet_.WaitUntilHeld(5s));
    ASSERT_TRUE(inet_.ReleasePending());
    ASSERT_TRUE(WaitForStatusOk(services_));
    EXPECT_EQ(ReadFile(file), "hello");
    const test::InetCallLog log = inet_.Log();
    ASSERT_EQ(log.opens.size(), 1u);
    EXPECT_EQ(log.opens[0].access_type, kInternetOpenTypePreconfig);
    EXPECT_EQ(log.cracked_urls, std::vector<std::string>{"http://kx.example/files/extra.dat"});
    EXPECT_EQ(log.open_requests[0].verb, "GET");
}

TEST_F(GameServicesTest, TwoObjectsDownloadAtTheSameTime) {
    inet_.Script(InetOp::Read, Behavior::PendUntilReleased());
    KXCommServices other(ports_, play_, game_);
    EXPECT_EQ(services_.SaveUrlToFile(u"http://kx.example/a", Widen((dir_ / "a").string())), kS_OK);
    EXPECT_EQ(other.SaveUrlToFile(u"http://kx.example/b", Widen((dir_ / "b").string())), kS_OK);
    EXPECT_EQ(services_.GetCommandStatus(), kKX_S_DOWNLOADRUNNING);
    EXPECT_EQ(other.GetCommandStatus(), kKX_S_DOWNLOADRUNNING);
}

TEST_F(GameServicesTest, ADownloadThatCannotStartFailsAndLeavesTheObjectIdle) {
    struct Case {
        const char* name;
        InetOp op;
        std::u16string url;
    } const cases[] = {
        {"session not opened", InetOp::Open, u"http://kx.example/a"},
        {"status callback refused", InetOp::SetCallback, u"http://kx.example/a"},
        {"url not splittable", InetOp::CrackUrl, u"no url at all"},
    };
    for (const auto& c : cases) {
        test::ScriptedInetApi inet;
        inet.Script(c.op, Behavior::Fail(kErrorInternetInvalidUrl));
        Ports ports = InetOnly(inet);
        KXCommServices services(ports, play_, game_);
        EXPECT_EQ(services.SaveUrlToFile(c.url, Widen((dir_ / "f").string())), kE_FAIL) << c.name;
        EXPECT_EQ(services.GetCommandStatus(), kS_OK) << c.name;
    }
}

}  // namespace
}  // namespace kx
