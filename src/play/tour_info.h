#pragma once

// The tournament record a game client passes to GetGameInfo. Game clients are
// built separately, so its layout is a binary contract: natural alignment with
// an 8-byte double, 184 bytes in all, the same on every platform we build for.

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace kx {

inline constexpr std::size_t kHiPlayerChars = 50;
inline constexpr std::size_t kEndDateChars = 20;

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

}  // namespace kx
