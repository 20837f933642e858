#pragma once

#include <cstdint>
#include <string_view>

namespace kx {

// Reads the number at the start of a text: leading blanks are skipped, an
// optional sign is taken, then decimal digits up to the first other character.
// No digits give 0. A number beyond the 32-bit range is held at the nearest
// limit rather than wrapped, so a huge text never turns into a small one.
std::int32_t LeadingInteger(std::string_view text);

}  // namespace kx
