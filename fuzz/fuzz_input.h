#pragma once

// What every fuzz target shares: the input read as fields, texts made wide,
// and a check that stops the run with a message the fuzzer keeps.
//
// Implements:
//  - Fields: the input split at one separator byte, so that seeds stay
//    readable and a generator script can write them;
//  - FuzzWide: a field as UTF-16, from UTF-8 or, after a 0x01 lead byte,
//    from loosely read UTF-8 that also carries lone surrogates and zeros;
//  - FuzzNumber: a field's leading decimal digits, held at a limit;
//  - StrictFormDecode, DecodeFormPairs: the service's reading of form data,
//    refusing anything the console's encoder must not write;
//  - KX_FUZZ_CHECK: fails the input whatever the build type.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/common/utf16_text.h"

namespace kx::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

inline std::vector<std::string_view> Fields(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

inline constexpr char kRawWideLead = '\x01';

// After kRawWideLead the bytes are UTF-8 read loosely, so that no field needs
// a zero byte: any three-byte form is one code unit (a lone surrogate too),
// overlong forms are taken (C0 80 is U+0000), and what cannot be read is U+FFFD.
inline std::u16string LooseUtf8ToUtf16(std::string_view bytes) {
    std::u16string wide;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                                         : (lead & 0xF8) == 0xF0     ? 4 : 0;
        std::uint32_t code = length == 1 ? lead : length == 2 ? (lead & 0x1Fu)
                                               : length == 3 ? (lead & 0x0Fu) : (lead & 0x07u);
        bool valid = length != 0 && at + length <= bytes.size();
        for (std::size_t i = 1; valid && i < length; ++i) {
            const auto byte = static_cast<unsigned char>(bytes[at + i]);
            valid = (byte & 0xC0) == 0x80;
            code = (code << 6) | (byte & 0x3Fu);
        }
        if (!valid || code > 0x10FFFF) {
            wide.push_back(u'\xFFFD');
            ++at;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            wide.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            wide.push_back(static_cast<char16_t>(code));
        }
        at += length;
    }
    return wide;
}

inline std::u16string FuzzWide(std::string_view field) {
    if (field.empty() || field.front() != kRawWideLead) return Utf8ToUtf16(field);
    return LooseUtf8ToUtf16(field.substr(1));
}

// Reads the console's form encoding strictly: "+" is a space, "%XX" in
// upper-case hex a byte, and only the unreserved alphabet stands as itself.
// False on anything else, so that an encoder's slip shows.
inline bool StrictFormDecode(std::string_view encoded, std::string* out) {
    auto unreserved = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'w') || (c >= 'A' && c <= 'Z');
    };
    auto hex = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
    out->clear();
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '+') {
            *out += ' ';
        } else if (unreserved(c)) {
            *out += c;
        } else if (c == '%' && i + 2 < encoded.size() && hex(encoded[i + 1]) >= 0 &&
                   hex(encoded[i + 2]) >= 0) {
            const char byte = static_cast<char>(hex(encoded[i + 1]) * 16 + hex(encoded[i + 2]));
            // A byte that may stand as itself must not be escaped.
            if (unreserved(byte) || byte == ' ') return false;
            *out += byte;
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

// Form data "k=v&k=v" back into its pairs, in order; false when malformed.
inline bool DecodeFormPairs(std::string_view form, std::vector<std::pair<std::string, std::string>>* pairs) {
    pairs->clear();
    if (form.empty()) return true;
    for (const std::string_view field : Fields(form, '&')) {
        const std::size_t equals = field.find('=');
        if (equals == std::string_view::npos) return false;
        std::string key;
        std::string value;
        if (!StrictFormDecode(field.substr(0, equals), &key) ||
            !StrictFormDecode(field.substr(equals + 1), &value)) {
            return false;
        }
        pairs->emplace_back(std::move(key), std::move(value));
    }
    return true;
}

// Non-digits end the number; no digits give `fallback`.
inline std::uint64_t FuzzNumber(std::string_view field, std::uint64_t limit,
                                std::uint64_t fallback = 0) {
    std::uint64_t value = 0;
    bool any = false;
    for (const char c : field) {
        if (c < '0' || c > '9') break;
        any = true;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > limit) return limit;
    }
    return any ? value : fallback;
}

[[noreturn]] inline void CheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, condition);
    std::abort();
}

}  // namespace kx::fuzz

// Variadic, so that a condition with template commas needs no parentheses.
#define KX_FUZZ_CHECK(...) \
    ((__VA_ARGS__) ? static_cast<void>(0) : ::kx::fuzz::CheckFailed(#__VA_ARGS__, __FILE__, __LINE__))
