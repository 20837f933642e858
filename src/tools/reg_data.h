#pragma once

// Value types and data as kxreg reads them from a command line and shows
// them, after reg.exe: REG_SZ data is stored with its terminating zero,
// numbers are decimal or 0x-prefixed hex, binary data is a run of hex digits.

#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace kx {

std::optional<RegType> ParseRegTypeName(std::string_view name);
std::string RegTypeName(RegType type);

// The bytes stored for `text` given with /d; `separator` splits REG_MULTI_SZ
// items ("\0", the two characters, unless given). Empty when refused.
std::optional<std::string> EncodeRegData(RegType type, std::string_view text,
                                         std::string_view separator);

// One value's data as a query line shows it.
std::string FormatRegData(RegType type, std::string_view bytes);

}  // namespace kx
