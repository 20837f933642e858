#pragma once

// 32-bit result codes as COM reports them: every value the console, its
// ports and its game services speak, under the Windows names. The names
// carry a "k" so that they never clash with the platform's macros of the
// same codes. Those a game client sees come from the game contract.

#include <cstdint>

#include "kestrix/game_contract.h"

namespace kx {

using HResult = std::int32_t;

constexpr HResult MakeHResult(std::uint32_t bits) { return static_cast<HResult>(bits); }
constexpr bool Succeeded(HResult result) { return result >= 0; }
constexpr bool Failed(HResult result) { return result < 0; }

using kestrix::kE_FAIL;
using kestrix::kE_INVALIDARG;
using kestrix::kE_NOTIMPL;
using kestrix::kE_OUTOFMEMORY;
using kestrix::kE_POINTER;
using kestrix::kS_FALSE;
using kestrix::kS_OK;

inline constexpr HResult kE_NOINTERFACE = MakeHResult(0x80004002);
inline constexpr HResult kE_ACCESSDENIED = MakeHResult(0x80070005);
inline constexpr HResult kRPC_E_CHANGED_MODE = MakeHResult(0x80010106);
inline constexpr HResult kREGDB_E_CLASSNOTREG = MakeHResult(0x80040154);
inline constexpr HResult kTYPE_E_CANTLOADLIBRARY = MakeHResult(0x80029C4A);
inline constexpr HResult kSTG_E_FILENOTFOUND = MakeHResult(0x80030002);

// The game services interface's own codes.
using kestrix::kKX_E_BUFFERTOOSMALL;
using kestrix::kKX_E_DOWNLOADBUSY;
using kestrix::kKX_E_NOSUCHITEM;
using kestrix::kKX_E_NOTINITIALIZED;
using kestrix::kKX_E_REFUSED;
using kestrix::kKX_S_DOWNLOADRUNNING;

}  // namespace kx
