#pragma once

// UTF-8 and UTF-16, for backends whose carrier speaks UTF-8 (the session
// bus) while the core's game services take UTF-16.
//
// Implements:
//  - Utf8ToUtf16: malformed sequences, overlong forms, encoded surrogates and
//    code points beyond U+10FFFF become U+FFFD, one per byte not taken;
//  - Utf16ToUtf8: lone surrogates become U+FFFD, so the result is always
//    valid UTF-8 (the bus refuses anything else).

#include <string>
#include <string_view>

namespace kx {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace kx
