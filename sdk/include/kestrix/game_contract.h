#pragma once

// What the console and a game client agree on across processes, in one
// place: the bus names, the tournament record's bytes, the result codes and
// the verify file. Plain C++ with no bus or platform header, so the console's
// core, both of its backends and the SDK all include this one file.
//
// The method signatures are those of com.kestrix.Console.GameServices.xml
// beside this SDK; tests hold the console's host and the SDK's fake console
// to that file.

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace kestrix {

// Session-bus names of the console's game services.
inline constexpr const char* kBusName = "com.kestrix.Console";
inline constexpr const char* kBusRootPath = "/com/kestrix/Console";
inline constexpr const char* kBusServicesPathPrefix = "/com/kestrix/Console/KXCommServices/";
inline constexpr const char* kBusFactoryInterface = "com.kestrix.Console.Factory";
inline constexpr const char* kBusWindowInterface = "com.kestrix.Console.Window";
inline constexpr const char* kBusServerInterface = "com.kestrix.Console.IKXServer";

// The largest value buffer the console allocates for GetGameDataItem, in
// 16-bit characters; a larger dwBufSize is served as this one.
inline constexpr std::uint32_t kMaxValueChars = 65536;

// The file a game leaves in the temporary directory it shares with the
// console; the console uploads it for a monitored first place, then deletes it.
inline constexpr const char* kVerifyFileName = "verify.txt";

// Result codes with their COM values. Non-negative is success. The names
// carry a "k" so that they never clash with a platform's macros.
using ResultCode = std::int32_t;
constexpr ResultCode MakeResult(std::uint32_t bits) { return static_cast<ResultCode>(bits); }

inline constexpr ResultCode kS_OK = MakeResult(0x00000000);
inline constexpr ResultCode kS_FALSE = MakeResult(0x00000001);
// GetCommandStatus: a download of this services object is still running.
inline constexpr ResultCode kKX_S_DOWNLOADRUNNING = MakeResult(0x00040000);
inline constexpr ResultCode kE_NOTIMPL = MakeResult(0x80004001);
inline constexpr ResultCode kE_POINTER = MakeResult(0x80004003);
inline constexpr ResultCode kE_FAIL = MakeResult(0x80004005);
inline constexpr ResultCode kE_OUTOFMEMORY = MakeResult(0x8007000E);
inline constexpr ResultCode kE_INVALIDARG = MakeResult(0x80070057);
inline constexpr ResultCode kKX_E_NOTINITIALIZED = MakeResult(0x80040064);
// No active play, another game's name, or the play's score already delivered.
inline constexpr ResultCode kKX_E_REFUSED = MakeResult(0x80040065);
inline constexpr ResultCode kKX_E_BUFFERTOOSMALL = MakeResult(0x80040067);
inline constexpr ResultCode kKX_E_NOSUCHITEM = MakeResult(0x80040069);
inline constexpr ResultCode kKX_E_DOWNLOADBUSY = MakeResult(0x8004006B);

inline constexpr std::size_t kHiPlayerChars = 50;
inline constexpr std::size_t kEndDateChars = 20;

// The tournament record a game passes to GetGameInfo. Game clients are built
// separately, so its layout is a binary contract: natural alignment with an
// 8-byte double, 184 bytes, the same on every platform. Texts are UTF-16,
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

}  // namespace kestrix
