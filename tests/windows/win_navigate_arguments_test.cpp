#include "platform/win32/win_navigate_arguments.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kx {
namespace {

std::optional<std::u16string> TextOf(const VARIANT& variant) {
    if (V_VT(&variant) != VT_BSTR) return std::nullopt;
    return BstrText(V_BSTR(&variant));
}

// The array's elements, or none when it is not a one-dimensional byte
// array counted from 0.
std::optional<std::vector<std::uint8_t>> BytesOf(const VARIANT& variant) {
    if (V_VT(&variant) != (VT_ARRAY | VT_UI1) || V_ARRAY(&variant) == nullptr) return std::nullopt;
    SAFEARRAY* array = V_ARRAY(&variant);
    LONG low = 0;
    LONG high = 0;
    if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &low)) ||
        FAILED(SafeArrayGetUBound(array, 1, &high)) || low != 0) {
        return std::nullopt;
    }
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return std::nullopt;
    const auto* first = static_cast<const std::uint8_t*>(data);
    std::vector<std::uint8_t> bytes(first, first + (high - low + 1));
    SafeArrayUnaccessData(array);
    return bytes;
}

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

constexpr char kFormHeaders[] = "Content-Type: application/x-www-form-urlencoded\r\n";

TEST(NavigateArguments, EachArgumentTakesTheFormTheControlExpects) {
    struct Case {
        const char* name;
        std::string url;
        std::optional<std::int32_t> flags;
        std::optional<std::string> target;
        std::vector<std::uint8_t> post;
        std::string headers;
        std::optional<std::u16string> expected_target;
        std::optional<std::vector<std::uint8_t>> expected_post;
        std::optional<std::u16string> expected_headers;
    };
    const std::vector<std::uint8_t> awkward = {'A', '=', 0x00, 0xE9, 0xFF, 0x80, '&', 0x00};
    const Case cases[] = {
        {"whole window post", "http://host/ws_Console/tournamentconsole.asp", 10, std::nullopt,
         Bytes("USERNAME=a+b%26c&USERID=7"), kFormHeaders, std::nullopt,
         Bytes("USERNAME=a+b%26c&USERID=7"),
         u"Content-Type: application/x-www-form-urlencoded\r\n"},
        {"frame post with zeros and high bytes", "http://host/ws_Console/tourlistframe.asp", 10,
         "maintable", awkward, kFormHeaders, u"maintable", awkward,
         u"Content-Type: application/x-www-form-urlencoded\r\n"},
        {"empty post is a GET", "http://host/a", 10, "maintable", {}, kFormHeaders,
         u"maintable", std::nullopt, u"Content-Type: application/x-www-form-urlencoded\r\n"},
        {"empty frame name is the whole window", "http://host/a", 0, "", Bytes("X=1"), "",
         std::nullopt, Bytes("X=1"), std::nullopt},
        {"plain navigate", "http://host/tip.asp", std::nullopt, std::nullopt, {}, "",
         std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NavigateArguments arguments;
        std::optional<std::string_view> target;
        if (c.target) target = *c.target;
        ASSERT_EQ(BuildNavigateArguments({c.url, c.flags, target, c.post, c.headers}, arguments),
                  S_OK);
        EXPECT_EQ(TextOf(arguments.Url()), std::u16string(c.url.begin(), c.url.end()));
        if (c.flags) {
            ASSERT_EQ(V_VT(&arguments.Flags()), VT_I4);
            EXPECT_EQ(V_I4(&arguments.Flags()), *c.flags);
        } else {
            EXPECT_EQ(V_VT(&arguments.Flags()), VT_EMPTY);
        }
        EXPECT_EQ(TextOf(arguments.TargetFrame()), c.expected_target);
        if (!c.expected_target) {
            EXPECT_EQ(V_VT(&arguments.TargetFrame()), VT_EMPTY);
        }
        EXPECT_EQ(BytesOf(arguments.PostData()), c.expected_post);
        if (!c.expected_post) {
            EXPECT_EQ(V_VT(&arguments.PostData()), VT_EMPTY);
        }
        EXPECT_EQ(TextOf(arguments.Headers()), c.expected_headers);
        if (!c.expected_headers) {
            EXPECT_EQ(V_VT(&arguments.Headers()), VT_EMPTY);
        }
    }
}

TEST(NavigateArguments, TheCoresTextsAreReadInTheAnsiCodePage) {
    // 0xE9 is one letter in every Western code page, "e" with an acute.
    const std::string url = "http://host/caf\xE9.asp";
    NavigateArguments arguments;
    ASSERT_EQ(BuildNavigateArguments({url, 0, std::nullopt, {}, {}}, arguments), S_OK);
    std::u16string expected;
    ASSERT_TRUE(AnsiToWide(url, expected));
    EXPECT_EQ(expected.size(), url.size());
    EXPECT_EQ(TextOf(arguments.Url()), expected);
}

TEST(NavigateArguments, BuildingAgainReplacesWhatAnEarlierCallLeft) {
    NavigateArguments arguments;
    const std::vector<std::uint8_t> post = Bytes("A=1");
    ASSERT_EQ(BuildNavigateArguments({"http://host/a", 10, "maintable", post, kFormHeaders},
                                     arguments),
              S_OK);
    ASSERT_EQ(BuildNavigateArguments({"http://host/b", std::nullopt, std::nullopt, {}, {}},
                                     arguments),
              S_OK);
    EXPECT_EQ(TextOf(arguments.Url()), u"http://host/b");
    EXPECT_EQ(V_VT(&arguments.Flags()), VT_EMPTY);
    EXPECT_EQ(V_VT(&arguments.TargetFrame()), VT_EMPTY);
    EXPECT_EQ(V_VT(&arguments.PostData()), VT_EMPTY);
    EXPECT_EQ(V_VT(&arguments.Headers()), VT_EMPTY);
}

}  // namespace
}  // namespace kx
