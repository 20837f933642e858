// The texts between a UTF-8 carrier such as the bus (which checks them) and
// the core (UTF-16): what leaves the console must always be valid UTF-8.

#include <gtest/gtest.h>

#include <string>

#include "platform/common/utf16_text.h"

namespace kx {
namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string utf16;
};

TEST(Utf16TextTest, Utf8BecomesUtf16) {
    const Utf8Case cases[] = {
        {"ascii", "Checkers", u"Checkers"},
        {"two bytes", "\xC3\x89" "checs", u"\u00C9checs"},
        {"three bytes", "\xE2\x82\xAC", u"\u20AC"},
        {"four bytes, a surrogate pair", "\xF0\x9F\x8E\xB2", u"\U0001F3B2"},
        {"cut sequence", "a\xE2\x82", u"a\uFFFD\uFFFD"},
        {"stray continuation", "\x80z", u"\uFFFDz"},
        {"overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"beyond the last code point", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    };
    for (const Utf8Case& c : cases) {
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.name;
    }
}

TEST(Utf16TextTest, Utf16BecomesValidUtf8) {
    const Utf8Case cases[] = {
        {"ascii", "Zoe", u"Zoe"},
        {"euro from the code page", "Zo\xE2\x82\xAC" "e", u"Zo\u20ACe"},
        {"surrogate pair", "\xF0\x9F\x8E\xB2", u"\U0001F3B2"},
        {"lone high surrogate", "a\xEF\xBF\xBD" "b", std::u16string{u'a', char16_t{0xD83C}, u'b'}},
        {"lone low surrogate at the end", "a\xEF\xBF\xBD", std::u16string{u'a', char16_t{0xDF32}}},
        {"swapped pair", "\xEF\xBF\xBD\xEF\xBF\xBD", std::u16string{char16_t{0xDF32}, char16_t{0xD83C}}},
    };
    for (const Utf8Case& c : cases) {
        EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.name;
    }
}

}  // namespace
}  // namespace kx
