#pragma once

// The Kestrix game SDK: a game client's side of the console's game services
// on the session bus (interface com.kestrix.Console.IKXServer).
//
// Implements:
//  - kestrix::KXCommServices over sd-bus: one private session-bus connection
//    and one services object of the console per instance, released when the
//    instance goes;
//  - the tournament record KXTOURINFOSTRUCT, byte for byte as the console
//    keeps it;
//  - the result codes the console and the bus answer.
//
// Texts are UTF-8 on this side. Every method answers a 32-bit result code and
// never throws: a bus failure is a negative code like any other. An instance
// is not thread-safe; call it from one thread at a time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

struct sd_bus;

namespace kestrix {

// Result codes. Non-negative is success; test with Succeeded()/Failed().
inline constexpr std::int32_t Code(std::uint32_t bits) { return static_cast<std::int32_t>(bits); }

inline constexpr std::int32_t S_OK = Code(0x00000000);
inline constexpr std::int32_t S_FALSE = Code(0x00000001);
// GetCommandStatus: a download of this services object is still running.
inline constexpr std::int32_t KX_S_DOWNLOADRUNNING = Code(0x00040000);

inline constexpr std::int32_t E_NOTIMPL = Code(0x80004001);
inline constexpr std::int32_t E_POINTER = Code(0x80004003);
inline constexpr std::int32_t E_FAIL = Code(0x80004005);
inline constexpr std::int32_t E_OUTOFMEMORY = Code(0x8007000E);
inline constexpr std::int32_t E_INVALIDARG = Code(0x80070057);
inline constexpr std::int32_t KX_E_NOTINITIALIZED = Code(0x80040064);
// No active play, another game's name, or the play's score already delivered.
inline constexpr std::int32_t KX_E_REFUSED = Code(0x80040065);
inline constexpr std::int32_t KX_E_BUFFERTOOSMALL = Code(0x80040067);
inline constexpr std::int32_t KX_E_NOSUCHITEM = Code(0x80040069);
inline constexpr std::int32_t KX_E_DOWNLOADBUSY = Code(0x8004006B);

// Codes of the bus rather than of the console.
// The console has gone (it ended or crashed) since Create.
inline constexpr std::int32_t RPC_E_DISCONNECTED = Code(0x80010108);
// The console is there but did not answer within the timeout.
inline constexpr std::int32_t RPC_E_TIMEOUT = Code(0x8001011F);
// Create: no console serves the name and none could be started.
inline constexpr std::int32_t CO_E_SERVER_EXEC_FAILURE = Code(0x80080005);

inline constexpr bool Succeeded(std::int32_t hr) { return hr >= 0; }
inline constexpr bool Failed(std::int32_t hr) { return hr < 0; }

// The result code's symbolic name, or "0x%08X" for a code not listed above.
std::string ResultName(std::int32_t hr);

inline constexpr std::size_t kHiPlayerChars = 50;
inline constexpr std::size_t kEndDateChars = 20;

// The tournament record. Its layout is a binary contract with the console:
// natural alignment with an 8-byte double, 184 bytes. Texts are UTF-16,
// zero-terminated.
struct KXTOURINFOSTRUCT {
    std::uint32_t dwSize;
    std::uint32_t dwTournID;
    std::uint32_t dwNumGames;
    std::uint32_t dwHiScore;
    char16_t szHiPlayer[kHiPlayerChars];
    // Pinned so that a target aligning doubles to 4 bytes cannot move it.
    alignas(8) double fJackpot;
    std::int32_t bIsPromo;
    std::uint32_t dwRookieLevel;
    std::uint32_t dwEndScore;
    char16_t szEndDate[kEndDateChars];
};

static_assert(std::is_standard_layout_v<KXTOURINFOSTRUCT>);
static_assert(std::is_trivially_copyable_v<KXTOURINFOSTRUCT>);
static_assert(sizeof(char16_t) == 2);
static_assert(sizeof(double) == 8);
static_assert(offsetof(KXTOURINFOSTRUCT, dwSize) == 0);
static_assert(offsetof(KXTOURINFOSTRUCT, dwTournID) == 4);
static_assert(offsetof(KXTOURINFOSTRUCT, dwNumGames) == 8);
static_assert(offsetof(KXTOURINFOSTRUCT, dwHiScore) == 12);
static_assert(offsetof(KXTOURINFOSTRUCT, szHiPlayer) == 16);
static_assert(offsetof(KXTOURINFOSTRUCT, fJackpot) == 120);
static_assert(offsetof(KXTOURINFOSTRUCT, bIsPromo) == 128);
static_assert(offsetof(KXTOURINFOSTRUCT, dwRookieLevel) == 132);
static_assert(offsetof(KXTOURINFOSTRUCT, dwEndScore) == 136);
static_assert(offsetof(KXTOURINFOSTRUCT, szEndDate) == 140);
static_assert(sizeof(KXTOURINFOSTRUCT) == 184);
static_assert(alignof(KXTOURINFOSTRUCT) == 8);

// The file the console uploads for a monitored first place and deletes
// afterwards: "verify.txt" in the temporary directory the console and its
// game share ($TMPDIR when it is an absolute path, else /tmp).
std::string VerifyFilePath();

class KXCommServices {
public:
    // Connects to the session bus and asks the console for a services object.
    // A call while no console runs starts one by D-Bus activation. `timeout`
    // bounds that call and every later call of this instance. On failure
    // answers nullopt and stores the code in *hr (when given):
    // CO_E_SERVER_EXEC_FAILURE (no console, none startable), RPC_E_TIMEOUT,
    // RPC_E_DISCONNECTED or E_FAIL (no session bus, a malformed answer).
    static std::optional<KXCommServices> Create(
        std::int32_t* hr = nullptr,
        std::chrono::milliseconds timeout = std::chrono::milliseconds(120000));

    KXCommServices(KXCommServices&& other) noexcept;
    KXCommServices& operator=(KXCommServices&& other) noexcept;
    KXCommServices(const KXCommServices&) = delete;
    KXCommServices& operator=(const KXCommServices&) = delete;
    // Releases the services object and closes the connection.
    ~KXCommServices();

    std::int32_t Initialize(std::string_view szClientName, double fVersion);
    // Sends *ti and receives the console's 184 bytes back into it.
    std::int32_t GetGameInfo(KXTOURINFOSTRUCT* ti);
    // dwBufSize counts 16-bit characters, the terminating zero included, as
    // the console's buffer would; szValue is set on success only.
    std::int32_t GetGameDataItem(std::string_view szSection, std::string_view szItem,
                                 std::string& szValue, std::uint32_t dwBufSize = 256);
    std::int32_t RefreshGameData();
    std::int32_t SaveUrlToFile(std::string_view szURL, std::string_view szFileName);
    std::int32_t SendFileToServer(std::string_view szFileName, std::int32_t bDelete);
    std::int32_t GetCommandStatus();
    std::int32_t CancelCommand();
    std::int32_t SetGameDataItem(std::string_view szItem, std::string_view szValue);
    std::int32_t EndGame(std::uint32_t score);

    // The services object's path at the console, for diagnostics.
    const std::string& ObjectPath() const { return path_; }

private:
    struct BusCloser {
        void operator()(sd_bus* bus) const noexcept;
    };
    using BusPtr = std::unique_ptr<sd_bus, BusCloser>;

    KXCommServices(BusPtr bus, std::string peer, std::string path, std::uint64_t timeout_usec);
    void Release() noexcept;

    BusPtr bus_;
    // The console's unique bus name: calls go to the console that made the
    // object, never to one that D-Bus activation would start after it ends.
    std::string peer_;
    std::string path_;
    std::uint64_t timeoutUsec_ = 0;
};

}  // namespace kestrix
