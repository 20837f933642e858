// The text conversions at the console's edges: Windows-1252 to and from
// UTF-16 (game clients, the document model) and UTF-8 to and from UTF-16
// (the session bus).
//
// Input: bytes read as 8-bit text, as UTF-8, and as raw UTF-16 code units.
//
// Implements:
//  - every 8-bit text survives the way to UTF-16 and back;
//  - a conversion into a caller's buffer never writes past it and writes a
//    prefix of the whole conversion;
//  - the game services' conversion stops at a zero and stays under its size;
//  - UTF-8 output is always valid, and valid UTF-8 survives the round trip.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/ansi_text.h"
#include "fuzz_input.h"
#include "platform/common/utf16_text.h"
#include "play/game_services.h"

namespace {

// A strict reading: shortest forms only, no surrogates, nothing past U+10FFFF.
bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            length = 1;
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07u;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            if ((byte & 0xC0) != 0x80) return false;
            code = (code << 6) | (byte & 0x3Fu);
        }
        static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

// Lone surrogates replaced, as the conversion to UTF-8 replaces them.
std::u16string WithoutLoneSurrogates(std::u16string_view wide) {
    std::u16string out;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t unit = wide[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            out += unit;
            out += wide[++i];
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            out += u'\xFFFD';
        } else {
            out += unit;
        }
    }
    return out;
}

void CheckWideToAnsi(std::u16string_view wide) {
    const std::string whole = kx::WideToAnsi(wide);
    KX_FUZZ_CHECK(whole.size() <= wide.size());
    // Capacities around every length the text can take, each in a buffer of
    // exactly that size so that the sanitizer sees a write past it.
    for (const std::size_t capacity : {std::size_t{0}, std::size_t{1}, whole.size() / 2,
                                       whole.size() ? whole.size() - 1 : 0, whole.size(),
                                       whole.size() + 1}) {
        std::vector<char> buffer(capacity);
        const std::size_t written = kx::WideToAnsi(wide, std::span<char>(buffer));
        KX_FUZZ_CHECK(written <= capacity);
        KX_FUZZ_CHECK(written == std::min(capacity, whole.size()));
        KX_FUZZ_CHECK(std::string_view(buffer.data(), written) == std::string_view(whole).substr(0, written));
    }

    const std::string game = kx::ToAnsi(wide);
    KX_FUZZ_CHECK(game.size() < kx::kToAnsiBufferSize);
    KX_FUZZ_CHECK(game.find('\0') == std::string::npos);
    KX_FUZZ_CHECK(std::string_view(whole).substr(0, game.size()) == game);
    if (game.size() < whole.size()) {
        KX_FUZZ_CHECK(whole[game.size()] == '\0' || game.size() == kx::kToAnsiBufferSize - 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = kx::fuzz::AsText(data, size);

    const std::u16string wide = kx::AnsiToWide(bytes);
    KX_FUZZ_CHECK(wide.size() == bytes.size());
    KX_FUZZ_CHECK(kx::WideToAnsi(wide) == bytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        KX_FUZZ_CHECK(kx::CodePointToAnsi(wide[i]) == bytes[i]);
    }
    CheckWideToAnsi(wide);

    std::u16string raw;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        raw.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    CheckWideToAnsi(raw);

    const std::string utf8 = kx::Utf16ToUtf8(raw);
    KX_FUZZ_CHECK(IsValidUtf8(utf8));
    KX_FUZZ_CHECK(kx::Utf8ToUtf16(utf8) == WithoutLoneSurrogates(raw));

    const std::u16string from_utf8 = kx::Utf8ToUtf16(bytes);
    KX_FUZZ_CHECK(from_utf8.size() <= bytes.size());
    const std::string back = kx::Utf16ToUtf8(from_utf8);
    KX_FUZZ_CHECK(IsValidUtf8(back));
    if (IsValidUtf8(bytes)) KX_FUZZ_CHECK(back == bytes);
    return 0;
}
