// Game clients in processes of their own calling a console through the
// proxy/stub: this program registers kx_proxy_stub.dll, serves the class
// KXCommServices with services objects over a scripted GameServer, starts
// wordmaze.exe (or itself as a small client) and answers its calls while it
// runs, as the console's game wait does.
//
//   kx_windows_game_tests --wordmaze=<wordmaze.exe> --proxy-stub=<kx_proxy_stub.dll>
//
// Started by itself with KX_TEST_ROLE in its environment, the same program is
// a client ("codes", "hold", "gone") or a console of its own ("console").

#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/identities.h"
#include "kestrix/game_services.h"
#include "platform/win32/win_com_server.h"
#include "platform/win32/win_dll_registration.h"
#include "platform/win32/win_handles.h"
#include "platform/win32/win_processes.h"
#include "platform/win32/win_services_object.h"
#include "word_grid.h"

namespace kx {
namespace {

using namespace std::chrono_literals;

std::string g_wordmaze;    // Windows paths
std::string g_proxy_stub;
std::string g_self;

// Only against a hang; nothing is timed but the failures that must be quick.
constexpr auto kGenerousWait = 60s;
// A client whose console is gone must hear so well within this.
constexpr auto kPromptFailure = 20s;

// Wine sees the build's folders on drive Z:.
std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string Directory(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

std::string Utf8(std::u16string_view text) {
    if (text.empty()) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int size = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, size, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::u16string Utf16(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::u16string out(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, reinterpret_cast<wchar_t*>(out.data()),
                        length);
    return out;
}

std::string Hex(HResult hr) {
    char text[16] = {};
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// A record's UTF-16 array as text, up to its first zero.
template <std::size_t N>
std::string ArrayText(const char16_t (&chars)[N]) {
    std::size_t length = 0;
    while (length < N && chars[length] != u'\0') ++length;
    return Utf8({chars, length});
}

template <std::size_t N>
void SetArray(char16_t (&chars)[N], std::u16string_view text) {
    std::fill(std::begin(chars), std::end(chars), u'\0');
    std::copy_n(text.begin(), std::min(text.size(), N - 1), chars);
}

// Every field, so a record that crossed can be compared as one line.
std::string Fields(const KXTOURINFOSTRUCT& ti) {
    std::ostringstream out;
    out << ti.dwSize << '|' << ti.dwTournID << '|' << ti.dwNumGames << '|' << ti.dwHiScore << '|'
        << ArrayText(ti.szHiPlayer) << '|' << ti.fJackpot << '|' << ti.bIsPromo << '|'
        << ti.dwRookieLevel << '|' << ti.dwEndScore << '|' << ArrayText(ti.szEndDate);
    return out.str();
}

std::string Slurp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string Value(const std::string& text, const std::string& key) {
    for (const std::string& line : Lines(text)) {
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return "<missing>";
}

std::string TempFolder() {
    char folder[MAX_PATH + 1] = {};
    GetTempPathA(sizeof folder, folder);
    return folder;
}

// --- the console's side --------------------------------------------------------

// What a test tells the console's services to answer, and what they heard.
struct Script {
    // Answers per method, used up in order; a method with none left acts as
    // the simple in-memory console below.
    std::map<std::string, std::deque<HResult>> results;
    std::map<std::u16string, std::u16string> items;
    // GetGameInfo writes these back.
    std::uint32_t tournId = 4242;
    std::u16string hiPlayer;
    double jackpot = 0;
    std::u16string endDate;

    struct Client {
        std::vector<std::string> calls;
        std::string receivedRecord;
        bool released = false;
    };
    std::vector<Client> clients;
};

// One client object's services: records each call, answers from the script.
class ScriptedServer final : public GameServer {
public:
    ScriptedServer(Script& script, std::size_t client) : script_(script), client_(client) {}

    HResult Initialize(std::u16string_view name, double version) override {
        std::ostringstream text;
        text << "Initialize(" << Utf8(name) << '|' << version << ')';
        return Answer("Initialize", text.str(), kS_OK);
    }
    HResult GetGameInfo(KXTOURINFOSTRUCT* ti) override {
        Heard().receivedRecord = Fields(*ti);
        const HResult hr = Answer("GetGameInfo", "GetGameInfo(" + std::to_string(ti->dwSize) + ")",
                                  kS_OK);
        if (hr == kS_OK) {
            ti->dwTournID = script_.tournId;
            ti->dwNumGames = 0;
            if (!script_.hiPlayer.empty()) SetArray(ti->szHiPlayer, script_.hiPlayer);
            if (script_.jackpot != 0) ti->fJackpot = script_.jackpot;
            if (!script_.endDate.empty()) SetArray(ti->szEndDate, script_.endDate);
        }
        return hr;
    }
    HResult GetGameDataItem(std::u16string_view section, std::u16string_view item, char16_t* value,
                            std::uint32_t size) override {
        const auto found = script_.items.find(std::u16string(item));
        HResult natural = kS_OK;
        if (found == script_.items.end()) {
            natural = kKX_E_NOSUCHITEM;
        } else if (found->second.size() >= size) {
            natural = kKX_E_BUFFERTOOSMALL;
        }
        const HResult hr = Answer("GetGameDataItem",
                                  "GetGameDataItem(" + Utf8(section) + "|" + Utf8(item) + "|" +
                                      std::to_string(size) + ")",
                                  natural);
        if (hr == kS_OK && found != script_.items.end() && found->second.size() < size) {
            std::copy(found->second.begin(), found->second.end(), value);
            value[found->second.size()] = u'\0';
        }
        return hr;
    }
    HResult RefreshGameData() override { return Answer("RefreshGameData", "RefreshGameData()", kE_NOTIMPL); }
    HResult SaveUrlToFile(std::u16string_view url, std::u16string_view file) override {
        return Answer("SaveUrlToFile", "SaveUrlToFile(" + Utf8(url) + "|" + Utf8(file) + ")", kS_OK);
    }
    HResult SendFileToServer(std::u16string_view file, std::int32_t remove) override {
        return Answer("SendFileToServer",
                      "SendFileToServer(" + Utf8(file) + "|" + std::to_string(remove) + ")",
                      kE_NOTIMPL);
    }
    HResult GetCommandStatus() override { return Answer("GetCommandStatus", "GetCommandStatus()", kS_OK); }
    HResult CancelCommand() override { return Answer("CancelCommand", "CancelCommand()", kE_NOTIMPL); }
    HResult SetGameDataItem(std::u16string_view item, std::u16string_view value) override {
        return Answer("SetGameDataItem", "SetGameDataItem(" + Utf8(item) + "|" + Utf8(value) + ")",
                      kS_OK);
    }
    HResult EndGame(std::uint32_t score) override {
        return Answer("EndGame", "EndGame(" + std::to_string(score) + ")", kS_OK);
    }

private:
    Script::Client& Heard() { return script_.clients[client_]; }
    HResult Answer(const std::string& method, const std::string& call, HResult natural) {
        Heard().calls.push_back(call);
        std::deque<HResult>& queue = script_.results[method];
        if (queue.empty()) return natural;
        const HResult hr = queue.front();
        queue.pop_front();
        return hr;
    }

    Script& script_;
    std::size_t client_;
};

// The class object of KXCommServices, registered for other processes as the
// console registers it, making a scripted services object per creation.
class Console {
public:
    explicit Console(Script& script)
        : script_(script),
          server_([this](const Guid&, REFIID iid, void** object) { return Make(iid, object); }) {}
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;
    ~Console() { Revoke(); }

    HResult Register() {
        return server_.RegisterClassObject(kClsidKXCommServices, ClassContext::LocalServer,
                                           ClassUse::MultipleUse, &cookie_);
    }
    void Revoke() {
        if (cookie_ != 0) server_.RevokeClassObject(std::exchange(cookie_, 0));
    }
    // Cuts every client off from its object, as a console that ended would.
    void DisconnectClients() {
        for (const auto& [client, object] : objects_) {
            if (!script_.clients[client].released) CoDisconnectObject(object, 0);
        }
    }

private:
    HRESULT Make(REFIID iid, void** object) {
        const std::size_t client = script_.clients.size();
        script_.clients.emplace_back();
        const HRESULT hr = WinServicesObject::Create(
            std::make_unique<ScriptedServer>(script_, client),
            [this, client] { script_.clients[client].released = true; }, iid, object);
        if (SUCCEEDED(hr)) objects_.emplace_back(client, static_cast<IUnknown*>(*object));
        return hr;
    }

    Script& script_;
    WinComServer server_;
    ClassCookie cookie_ = 0;
    // Not owned: each goes with its client's last Release.
    std::vector<std::pair<std::size_t, IUnknown*>> objects_;
};

// Variables set for the programs started meanwhile, removed again after.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::initializer_list<std::pair<std::string, std::string>> values) {
        for (const auto& [name, value] : values) {
            SetEnvironmentVariableA(name.c_str(), value.c_str());
            names_.push_back(name);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() {
        for (const std::string& name : names_) SetEnvironmentVariableA(name.c_str(), nullptr);
    }

private:
    std::vector<std::string> names_;
};

// Wakes the serving wait now and then, so a hang ends at a deadline.
class WakeUpTimer {
public:
    WakeUpTimer() : timer_(SetTimer(nullptr, 0, 200, nullptr)) {}
    WakeUpTimer(const WakeUpTimer&) = delete;
    WakeUpTimer& operator=(const WakeUpTimer&) = delete;
    ~WakeUpTimer() { KillTimer(nullptr, timer_); }

private:
    UINT_PTR timer_;
};

class Child {
public:
    Child(WinProcesses& processes, const std::string& program) : processes_(processes) {
        std::uint32_t error = 0;
        started_ = processes_.Start(StartPriority::Default, program, Directory(program), &handle_,
                                    &error);
        if (!started_) ADD_FAILURE() << "could not start " << program << ": " << error;
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (handle_ == 0) return;
        if (!Ended()) TerminateProcess(reinterpret_cast<HANDLE>(handle_), 99);
        processes_.Close(handle_);
    }

    bool Ended() const {
        return handle_ == 0 || WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), 0) != WAIT_TIMEOUT;
    }
    // Serves the console's calls until the process ends or `until` holds.
    bool Serve(const std::function<bool()>& until = {}) {
        const WakeUpTimer wake;
        const auto deadline = std::chrono::steady_clock::now() + kGenerousWait;
        while (!Ended() && !(until && until())) {
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the client did not end";
                return false;
            }
            processes_.WaitServingEvents(handle_);
        }
        return true;
    }
    DWORD ExitCode() {
        std::uint32_t code = STILL_ACTIVE;
        if (!Ended() || !processes_.ExitCode(handle_, &code)) return STILL_ACTIVE;
        return code;
    }
    void Kill() { TerminateProcess(reinterpret_cast<HANDLE>(handle_), 98); }
    bool WaitEnded() {
        return WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), 60'000) == WAIT_OBJECT_0;
    }

private:
    WinProcesses& processes_;
    ProcessHandle handle_ = 0;
    bool started_ = false;
};

// The proxy/stub is registered for the whole run and removed at its end.
class ProxyStubRegistration final : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_EQ(WinDllRegistration().RegisterServer(g_proxy_stub), kS_OK) << g_proxy_stub;
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override {
        CoUninitialize();
        EXPECT_EQ(WinDllRegistration().UnregisterServer(g_proxy_stub), kS_OK);
        const std::string key = "Interface\\" + std::string(kIidIKXServerText);
        HKEY opened = nullptr;
        EXPECT_NE(RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened), ERROR_SUCCESS)
            << "the proxy/stub is still registered";
        if (opened != nullptr) RegCloseKey(opened);
    }
};

const std::string kSeed = "Kästchen ✓";

class GameAcrossProcessesTest : public ::testing::Test {
protected:
    void SetUp() override {
        script_.items = {{u"PLAYID", u"9001"},
                         {u"SEED", Utf16(kSeed)},
                         {u"LEVEL", u"2"},
                         {u"TIMELIMIT", u"30"}};
        ASSERT_EQ(console_.Register(), kS_OK);
        DeleteFileA(VerifyPath().c_str());
        DeleteFileA(ReportPath().c_str());
    }
    void TearDown() override {
        DeleteFileA(VerifyPath().c_str());
        DeleteFileA(ReportPath().c_str());
    }

    static std::string VerifyPath() { return TempFolder() + "verify.txt"; }
    static std::string ReportPath() { return TempFolder() + "kx game client report.txt"; }

    // wordmaze.exe in its automatic mode with `switches`, served until it ends.
    DWORD PlayWordMaze(std::initializer_list<std::pair<std::string, std::string>> switches) {
        std::optional<Child> game;
        {
            const ScopedEnvironment environment(switches);
            game.emplace(processes_, g_wordmaze);
        }
        EXPECT_TRUE(game->Serve());
        return game->ExitCode();
    }

    std::vector<std::string> Calls(std::size_t client = 0) const {
        if (client >= script_.clients.size()) return {};
        return script_.clients[client].calls;
    }

    Script script_;
    Console console_{script_};
    WinProcesses processes_;
};

TEST_F(GameAcrossProcessesTest, WordMazeMakesTheWholeConversationInOrderAndExitsCleanly) {
    const DWORD code = PlayWordMaze({{"KX_WORDMAZE_AUTO_SCORE", "42"}});
    EXPECT_EQ(code, 0u);
    ASSERT_EQ(script_.clients.size(), 1u);
    const std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 9u) << ::testing::PrintToString(calls);
    const std::vector<std::string> start{
        "Initialize(Word Maze|1.5)",        "GetGameInfo(184)",
        "GetGameDataItem(|PLAYID|256)",     "GetGameDataItem(|SEED|256)",
        "GetGameDataItem(|LEVEL|256)",      "GetGameDataItem(|TIMELIMIT|256)",
    };
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 6), start);
    EXPECT_EQ(calls[6].rfind("SetGameDataItem(MOVES|", 0), 0u) << calls[6];
    EXPECT_EQ(calls[7].rfind("SetGameDataItem(WORDS|", 0), 0u) << calls[7];
    EXPECT_EQ(calls[8], "EndGame(42)");
    EXPECT_TRUE(script_.clients[0].released) << "the game let its object go";

    // A zeroed record with only its size went across.
    EXPECT_EQ(script_.clients[0].receivedRecord, "184|0|0|0||0|0|0|0|");
    const std::string verify = Slurp(VerifyPath());
    EXPECT_EQ(Value(verify, "PLAYID"), "9001");
    EXPECT_EQ(Value(verify, "TOURNID"), "4242") << "the console's tournament came back";
    EXPECT_EQ(Value(verify, "SEED"), kSeed) << "a non-ASCII item crossed intact";
    EXPECT_EQ(Value(verify, "GRID"),
              wordmaze::Grid(wordmaze::SeedFromText(kSeed), wordmaze::GridSizeForLevel(2)).Text());
    EXPECT_EQ(Value(verify, "SCORE"), "42");
}

TEST_F(GameAcrossProcessesTest, SkippingEndGameLeavesTheScoreUndelivered) {
    EXPECT_EQ(PlayWordMaze({{"KX_WORDMAZE_AUTO_SCORE", "5"}, {"KX_WORDMAZE_SKIP_ENDGAME", "1"}}), 0u);
    const std::vector<std::string> calls = Calls();
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const std::string& call) { return call.rfind("EndGame", 0) == 0; }),
              0);
    EXPECT_EQ(Value(Slurp(VerifyPath()), "SCORE"), "5");
}

TEST_F(GameAcrossProcessesTest, ASecondEndGamesRefusalReachesTheGameUnchanged) {
    script_.results["EndGame"] = {kS_OK, kKX_E_REFUSED};
    const DWORD code =
        PlayWordMaze({{"KX_WORDMAZE_AUTO_SCORE", "7"}, {"KX_WORDMAZE_ENDGAME_TWICE", "1"}});
    EXPECT_EQ(Hex(static_cast<HResult>(code)), Hex(kKX_E_REFUSED));
    const std::vector<std::string> calls = Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "EndGame(7)"), 2);
}

TEST_F(GameAcrossProcessesTest, AConsoleWithNoPlayMakesWordMazeGiveUp) {
    script_.results["Initialize"] = {kKX_E_REFUSED};
    EXPECT_EQ(PlayWordMaze({{"KX_WORDMAZE_AUTO_SCORE", "1"}}), 3u);
    EXPECT_EQ(Calls(), std::vector<std::string>{"Initialize(Word Maze|1.5)"});
    EXPECT_TRUE(script_.clients[0].released);
    EXPECT_EQ(Slurp(VerifyPath()), "");
}

TEST_F(GameAcrossProcessesTest, WithoutAConsoleWordMazeFailsPromptly) {
    console_.Revoke();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(PlayWordMaze({{"KX_WORDMAZE_AUTO_SCORE", "1"}}), 2u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kPromptFailure);
    EXPECT_TRUE(script_.clients.empty());
}

// The client's report: one line per call, "<call> <result code> <what came back>".
std::vector<std::string> RunClient(WinProcesses& processes, const std::string& role,
                                   const std::string& report) {
    std::optional<Child> client;
    {
        const ScopedEnvironment environment({{"KX_TEST_ROLE", role}, {"KX_TEST_REPORT", report}});
        client.emplace(processes, g_self);
    }
    EXPECT_TRUE(client->Serve());
    EXPECT_EQ(client->ExitCode(), 0u);
    return Lines(Slurp(report));
}

TEST_F(GameAcrossProcessesTest, EveryResultCodeAndTheRecordCrossUnchanged) {
    script_.results["GetGameInfo"] = {kKX_E_NOTINITIALIZED, kS_OK};
    script_.results["Initialize"] = {kKX_E_REFUSED, kS_OK};
    script_.results["GetCommandStatus"] = {kKX_S_DOWNLOADRUNNING, kS_OK};
    script_.results["SaveUrlToFile"] = {kKX_E_DOWNLOADBUSY};
    script_.results["EndGame"] = {kS_OK, kKX_E_REFUSED};
    script_.items[u"NAME"] = u"Zoë ✓ \U0001D11E";
    script_.hiPlayer = u"Ünal";
    script_.jackpot = 99.25;
    script_.endDate = u"31.12.";

    const std::vector<std::string> report = RunClient(processes_, "codes", ReportPath());
    const std::vector<std::string> expected{
        "GetGameInfo " + Hex(kKX_E_NOTINITIALIZED),
        "Initialize " + Hex(kKX_E_REFUSED),
        "Initialize " + Hex(kS_OK),
        "GetGameInfo " + Hex(kS_OK) + " 184|4242|0|3|Ünal|99.25|-1|5|6|31.12.",
        "GetGameDataItem(SEED,4) " + Hex(kKX_E_BUFFERTOOSMALL) + " untouched",
        "GetGameDataItem(NOPE) " + Hex(kKX_E_NOSUCHITEM) + " untouched",
        "GetGameDataItem(NAME) " + Hex(kS_OK) + " Zoë ✓ \U0001D11E",
        "GetCommandStatus " + Hex(kKX_S_DOWNLOADRUNNING),
        "GetCommandStatus " + Hex(kS_OK),
        "SaveUrlToFile " + Hex(kKX_E_DOWNLOADBUSY),
        "RefreshGameData " + Hex(kE_NOTIMPL),
        "SendFileToServer " + Hex(kE_NOTIMPL),
        "CancelCommand " + Hex(kE_NOTIMPL),
        "SetGameDataItem " + Hex(kS_OK),
        "EndGame " + Hex(kS_OK),
        "EndGame " + Hex(kKX_E_REFUSED),
    };
    EXPECT_EQ(report, expected);

    ASSERT_EQ(script_.clients.size(), 1u);
    const std::vector<std::string> heard{
        "GetGameInfo(184)",
        "Initialize(Word Maze|1.5)",
        "Initialize(Word Maze|1.5)",
        "GetGameInfo(184)",
        "GetGameDataItem(|SEED|4)",
        "GetGameDataItem(Any|NOPE|256)",
        "GetGameDataItem(Sektion ä|NAME|256)",
        "GetCommandStatus()",
        "GetCommandStatus()",
        "SaveUrlToFile(http://demo.kestrix.test/ä.bin|C:\\temp\\ä.bin)",
        "RefreshGameData()",
        "SendFileToServer(verify.txt|1)",
        "CancelCommand()",
        "SetGameDataItem(WORT|Grüße)",
        "EndGame(7)",
        "EndGame(8)",
    };
    EXPECT_EQ(script_.clients[0].calls, heard);
    EXPECT_EQ(script_.clients[0].receivedRecord, "184|1|2|3|Zoë ✓|12.5|-1|5|6|2026-12-08");
    EXPECT_TRUE(script_.clients[0].released);
}

TEST_F(GameAcrossProcessesTest, EachClientGetsAnObjectOfItsOwn) {
    std::optional<Child> first;
    std::optional<Child> second;
    {
        const ScopedEnvironment environment({{"KX_TEST_ROLE", "hold"}, {"KX_TEST_CLIENT", "one"}});
        first.emplace(processes_, g_self);
    }
    {
        const ScopedEnvironment environment({{"KX_TEST_ROLE", "hold"}, {"KX_TEST_CLIENT", "two"}});
        second.emplace(processes_, g_self);
    }
    // Each waits for the other's object before it lets its own go.
    EXPECT_TRUE(first->Serve());
    EXPECT_TRUE(second->Serve());
    EXPECT_EQ(first->ExitCode(), 0u);
    EXPECT_EQ(second->ExitCode(), 0u);

    ASSERT_EQ(script_.clients.size(), 2u);
    std::vector<std::string> names;
    for (const Script::Client& client : script_.clients) {
        ASSERT_EQ(client.calls.size(), 2u) << ::testing::PrintToString(client.calls);
        EXPECT_EQ(client.calls[0], "Initialize(Word Maze|1.5)");
        names.push_back(client.calls[1]);
        EXPECT_TRUE(client.released);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"SetGameDataItem(CLIENT|one)",
                                               "SetGameDataItem(CLIENT|two)"}));
}

// Named events between this program and its clients.
class NamedEvent {
public:
    explicit NamedEvent(const std::string& name)
        : name_(name), event_(CreateEventA(nullptr, TRUE, FALSE, name.c_str())) {}
    const std::string& name() const { return name_; }
    bool IsSet() const { return WaitForSingleObject(event_.get(), 0) == WAIT_OBJECT_0; }
    bool Wait() const { return WaitForSingleObject(event_.get(), 60'000) == WAIT_OBJECT_0; }
    void Set() const { SetEvent(event_.get()); }

private:
    std::string name_;
    UniqueHandle event_;
};

// "<call> <result code> <milliseconds>" per line of a "gone" client.
struct GoneReport {
    HResult call = 0;
    long long callMs = -1;
    HResult create = 0;
    long long createMs = -1;
};

GoneReport ReadGoneReport(const std::string& path) {
    GoneReport gone;
    for (const std::string& line : Lines(Slurp(path))) {
        std::istringstream in(line);
        std::string what, code;
        long long ms = -1;
        in >> what >> code >> ms;
        const auto hr = static_cast<HResult>(std::stoul(code, nullptr, 16));
        if (what == "GetGameInfo") {
            gone.call = hr;
            gone.callMs = ms;
        } else if (what == "Create") {
            gone.create = hr;
            gone.createMs = ms;
        }
    }
    return gone;
}

constexpr long long kPromptFailureMs =
    std::chrono::duration_cast<std::chrono::milliseconds>(kPromptFailure).count();

TEST_F(GameAcrossProcessesTest, AClientCutOffFromItsConsoleFailsPromptly) {
    const NamedEvent ready("Local\\kx-game-test-ready");
    const NamedEvent gone("Local\\kx-game-test-gone");
    std::optional<Child> client;
    {
        const ScopedEnvironment environment({{"KX_TEST_ROLE", "gone"},
                                             {"KX_TEST_REPORT", ReportPath()},
                                             {"KX_TEST_READY", ready.name()},
                                             {"KX_TEST_GONE", gone.name()}});
        client.emplace(processes_, g_self);
    }
    ASSERT_TRUE(client->Serve([&] { return ready.IsSet(); }));
    ASSERT_TRUE(ready.IsSet());
    console_.DisconnectClients();
    console_.Revoke();
    gone.Set();
    EXPECT_TRUE(client->Serve());
    EXPECT_EQ(client->ExitCode(), 0u);

    // Windows answers RPC_E_DISCONNECTED and REGDB_E_CLASSNOTREG here; only
    // a prompt failure is held to, whatever code Wine gives.
    const GoneReport report = ReadGoneReport(ReportPath());
    std::printf("cut off: the call answered %s, a new Create %s\n",
                kestrix::ResultName(report.call).c_str(), kestrix::ResultName(report.create).c_str());
    EXPECT_TRUE(FAILED(report.call)) << Hex(report.call);
    EXPECT_GE(report.callMs, 0);
    EXPECT_LT(report.callMs, kPromptFailureMs);
    EXPECT_TRUE(FAILED(report.create)) << Hex(report.create);
    EXPECT_GE(report.createMs, 0);
    EXPECT_LT(report.createMs, kPromptFailureMs);
}

TEST(GameAcrossProcesses, AClientWhoseConsoleProcessEndedFailsPromptly) {
    WinProcesses processes;
    const NamedEvent serving("Local\\kx-game-test-serving");
    const NamedEvent ready("Local\\kx-game-test-ready");
    const NamedEvent gone("Local\\kx-game-test-gone");
    const std::string report_path = TempFolder() + "kx game client gone.txt";
    DeleteFileA(report_path.c_str());

    std::optional<Child> console;
    {
        const ScopedEnvironment environment(
            {{"KX_TEST_ROLE", "console"}, {"KX_TEST_READY", serving.name()}});
        console.emplace(processes, g_self);
    }
    ASSERT_TRUE(serving.Wait()) << "the console process did not serve";
    std::optional<Child> client;
    {
        const ScopedEnvironment environment({{"KX_TEST_ROLE", "gone"},
                                             {"KX_TEST_REPORT", report_path},
                                             {"KX_TEST_READY", ready.name()},
                                             {"KX_TEST_GONE", gone.name()}});
        client.emplace(processes, g_self);
    }
    ASSERT_TRUE(ready.Wait()) << "the client did not reach the console";
    console->Kill();
    ASSERT_TRUE(console->WaitEnded());
    gone.Set();
    ASSERT_TRUE(client->WaitEnded()) << "the client hung";
    EXPECT_EQ(client->ExitCode(), 0u);

    // Windows answers RPC_S_SERVER_UNAVAILABLE or RPC_E_DISCONNECTED for the
    // call; only a prompt failure is held to, whatever code Wine gives.
    const GoneReport report = ReadGoneReport(report_path);
    std::printf("console ended: the call answered %s, a new Create %s\n",
                kestrix::ResultName(report.call).c_str(), kestrix::ResultName(report.create).c_str());
    EXPECT_TRUE(FAILED(report.call)) << Hex(report.call);
    EXPECT_GE(report.callMs, 0);
    EXPECT_LT(report.callMs, kPromptFailureMs);
    EXPECT_TRUE(FAILED(report.create)) << Hex(report.create);
    EXPECT_GE(report.createMs, 0);
    EXPECT_LT(report.createMs, kPromptFailureMs);
    DeleteFileA(report_path.c_str());
}

// --- the client's and the lone console's side ------------------------------------

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string Line(const std::string& call, std::int32_t hr, const std::string& more = {}) {
    return call + " " + Hex(hr) + (more.empty() ? "" : " " + more) + "\n";
}

int RunCodesClient(std::ofstream& report) {
    std::int32_t hr = E_FAIL;
    std::optional<kestrix::KXCommServices> services = kestrix::KXCommServices::Create(&hr);
    if (!services) {
        report << Line("Create", hr);
        return 1;
    }
    kestrix::KXTOURINFOSTRUCT info{};
    info.dwSize = sizeof info;
    report << Line("GetGameInfo", services->GetGameInfo(&info));
    report << Line("Initialize", services->Initialize("Word Maze", 1.5));
    report << Line("Initialize", services->Initialize("Word Maze", 1.5));

    info.dwTournID = 1;
    info.dwNumGames = 2;
    info.dwHiScore = 3;
    SetArray(info.szHiPlayer, u"Zoë ✓");
    info.fJackpot = 12.5;
    info.bIsPromo = -1;
    info.dwRookieLevel = 5;
    info.dwEndScore = 6;
    SetArray(info.szEndDate, u"2026-12-08");
    hr = services->GetGameInfo(&info);
    report << Line("GetGameInfo", hr, Fields(info));

    std::string value = "untouched";
    report << Line("GetGameDataItem(SEED,4)", services->GetGameDataItem("", "SEED", value, 4), value);
    report << Line("GetGameDataItem(NOPE)", services->GetGameDataItem("Any", "NOPE", value), value);
    hr = services->GetGameDataItem("Sektion ä", "NAME", value);
    report << Line("GetGameDataItem(NAME)", hr, value);
    report << Line("GetCommandStatus", services->GetCommandStatus());
    report << Line("GetCommandStatus", services->GetCommandStatus());
    report << Line("SaveUrlToFile",
                   services->SaveUrlToFile("http://demo.kestrix.test/ä.bin", "C:\\temp\\ä.bin"));
    report << Line("RefreshGameData", services->RefreshGameData());
    report << Line("SendFileToServer", services->SendFileToServer("verify.txt", 1));
    report << Line("CancelCommand", services->CancelCommand());
    report << Line("SetGameDataItem", services->SetGameDataItem("WORT", "Grüße"));
    report << Line("EndGame", services->EndGame(7));
    report << Line("EndGame", services->EndGame(8));
    return 0;
}

int RunHoldClient() {
    std::optional<kestrix::KXCommServices> services = kestrix::KXCommServices::Create();
    if (!services) return 1;
    if (FAILED(services->Initialize("Word Maze", 1.5))) return 2;
    if (FAILED(services->SetGameDataItem("CLIENT", Environment("KX_TEST_CLIENT")))) return 3;
    // Both clients hold their objects at once before either lets go: the
    // second to arrive opens the way for both.
    const UniqueHandle arrived(CreateSemaphoreA(nullptr, 0, 2, "Local\\kx-game-test-arrived"));
    const UniqueHandle both(CreateEventA(nullptr, TRUE, FALSE, "Local\\kx-game-test-both"));
    LONG before = 0;
    ReleaseSemaphore(arrived.get(), 1, &before);
    if (before == 1) SetEvent(both.get());
    return WaitForSingleObject(both.get(), 60'000) == WAIT_OBJECT_0 ? 0 : 4;
}

int RunGoneClient(std::ofstream& report) {
    std::int32_t hr = E_FAIL;
    std::optional<kestrix::KXCommServices> services = kestrix::KXCommServices::Create(&hr);
    if (!services || FAILED(services->Initialize("Word Maze", 1.5))) {
        report << Line("Create", hr, "-1");
        return 1;
    }
    const UniqueHandle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, Environment("KX_TEST_READY").c_str()));
    const UniqueHandle gone(OpenEventA(SYNCHRONIZE, FALSE, Environment("KX_TEST_GONE").c_str()));
    SetEvent(ready.get());
    if (WaitForSingleObject(gone.get(), 60'000) != WAIT_OBJECT_0) return 2;

    const auto Milliseconds = [](std::chrono::steady_clock::time_point since) {
        return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - since)
                                  .count());
    };
    kestrix::KXTOURINFOSTRUCT info{};
    info.dwSize = sizeof info;
    auto start = std::chrono::steady_clock::now();
    hr = services->GetGameInfo(&info);
    report << Line("GetGameInfo", hr, Milliseconds(start)) << std::flush;
    start = std::chrono::steady_clock::now();
    std::optional<kestrix::KXCommServices> again = kestrix::KXCommServices::Create(&hr);
    report << Line("Create", again ? S_OK : hr, Milliseconds(start));
    return 0;
}

// A console in a process of its own, serving until it is ended from outside.
int RunConsole() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    Script script;
    Console console(script);
    if (console.Register() != kS_OK) return 2;
    const UniqueHandle serving(OpenEventA(EVENT_MODIFY_STATE, FALSE, Environment("KX_TEST_READY").c_str()));
    SetEvent(serving.get());
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}

int RunRole(const std::string& role) {
    if (role == "console") return RunConsole();
    if (role == "hold") return RunHoldClient();
    std::ofstream report(Environment("KX_TEST_REPORT"), std::ios::trunc | std::ios::binary);
    if (role == "codes") return RunCodesClient(report);
    if (role == "gone") return RunGoneClient(report);
    return 10;
}

}  // namespace
}  // namespace kx

int main(int argc, char** argv) {
    if (const char* role = std::getenv("KX_TEST_ROLE"); role != nullptr && *role != '\0') {
        return kx::RunRole(role);
    }
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        for (auto [option, value] : {std::pair{"--wordmaze=", &kx::g_wordmaze},
                                     std::pair{"--proxy-stub=", &kx::g_proxy_stub}}) {
            const std::string prefix = option;
            if (argument.rfind(prefix, 0) == 0) *value = kx::WindowsPath(argument.substr(prefix.size()));
        }
    }
    char self[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    kx::g_self = self;
    if (kx::g_wordmaze.empty() || kx::g_proxy_stub.empty()) {
        std::fprintf(stderr,
                     "usage: kx_windows_game_tests --wordmaze=<wordmaze.exe> "
                     "--proxy-stub=<kx_proxy_stub.dll>\n");
        return 2;
    }
    ::testing::AddGlobalTestEnvironment(new kx::ProxyStubRegistration);
    return RUN_ALL_TESTS();
}
