#pragma once

// The 32-bit result codes of the game services interface. The names carry a
// "k" so that they never clash with the platform's macros of the same codes.

#include "platform/hresult.h"

namespace kx {

inline constexpr HResult kS_OK = MakeHResult(0x00000000);
inline constexpr HResult kS_FALSE = MakeHResult(0x00000001);
inline constexpr HResult kE_NOTIMPL = MakeHResult(0x80004001);
inline constexpr HResult kE_POINTER = MakeHResult(0x80004003);
inline constexpr HResult kE_FAIL = MakeHResult(0x80004005);
inline constexpr HResult kE_OUTOFMEMORY = MakeHResult(0x8007000E);
inline constexpr HResult kE_INVALIDARG = MakeHResult(0x80070057);

// A download of this object is still running; a success code.
inline constexpr HResult kKX_S_DOWNLOADRUNNING = MakeHResult(0x00040000);
inline constexpr HResult kKX_E_NOTINITIALIZED = MakeHResult(0x80040064);
// No active play, another game's name, or the play's score already delivered.
inline constexpr HResult kKX_E_REFUSED = MakeHResult(0x80040065);
inline constexpr HResult kKX_E_BUFFERTOOSMALL = MakeHResult(0x80040067);
inline constexpr HResult kKX_E_NOSUCHITEM = MakeHResult(0x80040069);
inline constexpr HResult kKX_E_DOWNLOADBUSY = MakeHResult(0x8004006B);

}  // namespace kx
