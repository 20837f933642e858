#pragma once

// The ANSI code page of the console's 8-bit texts, Windows-1252, and its
// conversion to and from the wide (UTF-16) texts of game clients and the
// document model. Every byte has a wide form; a character without a byte
// becomes '?', as the platform's own conversion does.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace kx {

inline constexpr char kAnsiDefaultChar = '?';

// The byte of one Unicode code point, kAnsiDefaultChar when it has none.
char CodePointToAnsi(char32_t code_point);

char16_t AnsiToWideChar(char byte);

// Converts whole characters, in order, while they fit into `out`, and returns
// the bytes written; no terminator is added. A surrogate pair is one
// character and so gives one byte, never two.
std::size_t WideToAnsi(std::u16string_view wide, std::span<char> out);

std::string WideToAnsi(std::u16string_view wide);
std::u16string AnsiToWide(std::string_view ansi);

}  // namespace kx
