#pragma once

// 32-bit result codes as COM reports them, shared by every port that speaks
// them (the browser's document model, the class-object registration).

#include <cstdint>

namespace kx {

using HResult = std::int32_t;

constexpr HResult MakeHResult(std::uint32_t bits) { return static_cast<HResult>(bits); }
constexpr bool Succeeded(HResult result) { return result >= 0; }
constexpr bool Failed(HResult result) { return result < 0; }

}  // namespace kx
