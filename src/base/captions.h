#pragma once

// Captions of message boxes that more than one part of the console shows.

#include <string_view>

namespace kx {

// A page command's parameter is missing or unusable.
inline constexpr std::string_view kCommandErrorCaption = "Command Error";

}  // namespace kx
