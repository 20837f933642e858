#include "base/ansi_text.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace kx {
namespace {

TEST(AnsiTextTest, TheBytes80To9FAreTheCodePagesOwnCharacters) {
    struct Case {
        unsigned char byte;
        char16_t wide;
    } const cases[] = {
        {0x80, u'\u20AC'}, {0x82, u'\u201A'}, {0x83, u'\u0192'}, {0x84, u'\u201E'},
        {0x85, u'\u2026'}, {0x86, u'\u2020'}, {0x87, u'\u2021'}, {0x88, u'\u02C6'},
        {0x89, u'\u2030'}, {0x8A, u'\u0160'}, {0x8B, u'\u2039'}, {0x8C, u'\u0152'},
        {0x8E, u'\u017D'}, {0x91, u'\u2018'}, {0x92, u'\u2019'}, {0x93, u'\u201C'},
        {0x94, u'\u201D'}, {0x95, u'\u2022'}, {0x96, u'\u2013'}, {0x97, u'\u2014'},
        {0x98, u'\u02DC'}, {0x99, u'\u2122'}, {0x9A, u'\u0161'}, {0x9B, u'\u203A'},
        {0x9C, u'\u0153'}, {0x9E, u'\u017E'}, {0x9F, u'\u0178'},
        // Undefined in the code page: they keep their control character.
        {0x81, u'\u0081'}, {0x8D, u'\u008D'}, {0x8F, u'\u008F'}, {0x90, u'\u0090'},
        {0x9D, u'\u009D'},
        // Below and above the special range a byte is its own code point.
        {0x41, u'A'}, {0x7F, u'\u007F'}, {0xA0, u'\u00A0'}, {0xE9, u'\u00E9'}, {0xFF, u'\u00FF'},
    };
    for (const auto& c : cases) {
        const char byte = static_cast<char>(c.byte);
        EXPECT_EQ(AnsiToWideChar(byte), c.wide) << int{c.byte};
        EXPECT_EQ(CodePointToAnsi(c.wide), byte) << int{c.byte};
    }
}

TEST(AnsiTextTest, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    const std::u16string wide = AnsiToWide(all);
    ASSERT_EQ(wide.size(), all.size());
    EXPECT_EQ(WideToAnsi(wide), all);
}

TEST(AnsiTextTest, CharactersWithoutAByteBecomeAQuestionMark) {
    struct Case {
        const char* name;
        std::u16string wide;
        std::string ansi;
    } const cases[] = {
        {"latin extended", u"A\u0100B", "A?B"},
        {"a C1 control the code page replaces", u"\u0080\u009F", "??"},
        {"cjk", u"\u4E2D\u6587", "??"},
        {"replacement character", u"\uFFFD", "?"},
        {"pair beyond the basic plane is one character", u"x\U0001F600y", "x?y"},
        {"lone high surrogate", std::u16string{u'a', char16_t{0xD83D}, u'b'}, "a?b"},
        {"lone low surrogate", std::u16string{char16_t{0xDE00}, u'b'}, "?b"},
        {"high surrogate at the end", std::u16string{u'a', char16_t{0xD83D}}, "a?"},
        {"two high surrogates", std::u16string{char16_t{0xD83D}, char16_t{0xD83D}, char16_t{0xDE00}},
         "??"},
        {"euro and trade mark", u"\u20AC5\u2122", "\x80" "5\x99"},
    };
    for (const auto& c : cases) EXPECT_EQ(WideToAnsi(c.wide), c.ansi) << c.name;
}

TEST(AnsiTextTest, ABoundedConversionStopsAtTheLastWholeCharacterThatFits) {
    struct Case {
        const char* name;
        std::u16string wide;
        std::size_t capacity;
        std::string written;
    } const cases[] = {
        {"fits", u"abc", 4, "abc"},
        {"cut", u"abcdef", 3, "abc"},
        {"nothing fits", u"abc", 0, ""},
        {"a pair takes one byte", u"\U0001F600\U0001F600z", 2, "??"},
        {"a pair is never split", u"ab\U0001F600", 3, "ab?"},
    };
    for (const auto& c : cases) {
        std::array<char, 8> out{};
        out.fill('#');
        const std::size_t written = WideToAnsi(c.wide, std::span<char>(out).first(c.capacity));
        EXPECT_EQ(std::string(out.data(), written), c.written) << c.name;
        EXPECT_EQ(out[c.capacity], '#') << c.name << ": wrote past the capacity";
    }
}

}  // namespace
}  // namespace kx
