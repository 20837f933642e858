#include "base/ansi_text.h"

#include <array>
#include <cstdint>

namespace kx {

namespace {

// Bytes 0x80 to 0x9F; the five the code page leaves undefined keep their C1
// control, as the platform's table does, so every byte survives a round trip.
constexpr std::array<char16_t, 32> kHighControls = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

constexpr char32_t kFirstHigh = 0x80;
constexpr char32_t kFirstPlain = 0xA0;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

char ByteChar(std::uint32_t value) { return static_cast<char>(static_cast<unsigned char>(value)); }

}  // namespace

char CodePointToAnsi(char32_t code_point) {
    if (code_point < kFirstHigh || (code_point >= kFirstPlain && code_point <= 0xFF)) {
        return ByteChar(code_point);
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == code_point) return ByteChar(static_cast<std::uint32_t>(kFirstHigh + i));
    }
    return kAnsiDefaultChar;
}

char16_t AnsiToWideChar(char byte) {
    const auto value = static_cast<unsigned char>(byte);
    if (value >= kFirstHigh && value < kFirstPlain) return kHighControls[value - kFirstHigh];
    return static_cast<char16_t>(value);
}

std::size_t WideToAnsi(std::u16string_view wide, std::span<char> out) {
    std::size_t written = 0;
    std::size_t i = 0;
    while (i < wide.size() && written < out.size()) {
        const char16_t unit = wide[i];
        if (IsHighSurrogate(unit) && i + 1 < wide.size() && IsLowSurrogate(wide[i + 1])) {
            // No character beyond the basic plane has a byte in this code page.
            out[written++] = kAnsiDefaultChar;
            i += 2;
            continue;
        }
        // A lone surrogate is not a character either and maps to no byte.
        out[written++] = CodePointToAnsi(unit);
        ++i;
    }
    return written;
}

std::string WideToAnsi(std::u16string_view wide) {
    // Never more bytes than code units.
    std::string ansi(wide.size(), '\0');
    ansi.resize(WideToAnsi(wide, std::span<char>(ansi)));
    return ansi;
}

std::u16string AnsiToWide(std::string_view ansi) {
    std::u16string wide;
    wide.reserve(ansi.size());
    for (const char byte : ansi) wide.push_back(AnsiToWideChar(byte));
    return wide;
}

}  // namespace kx
