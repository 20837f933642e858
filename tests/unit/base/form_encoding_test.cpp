#include "base/form_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace kx {
namespace {

TEST(FormEncodeTest, EncodesEverythingOutsideTheServicesAlphabet) {
    struct Case {
        std::string in;
        const char* out;
    } const cases[] = {
        {"a b", "a+b"},
        {"x", "%78"},
        {"y", "%79"},
        {"z", "%7A"},
        {"w", "w"},
        {"X", "X"},
        {"a&b=c", "a%26b%3Dc"},
        {"50%", "50%25"},
        {"e-mail_1.2", "e%2Dmail%5F1%2E2"},
        {"+", "%2B"},
        {"\r\n", "%0D%0A"},
        {"\xE9", "%E9"},
        {"\xFF\x80", "%FF%80"},
        {std::string("\0", 1), "%00"},
        {"", ""},
        {"  ", "++"},
        {"Word Maze", "Word+Ma%7Ae"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormEncode(c.in), c.out) << '"' << c.in << '"';
}

TEST(FormEncodeTest, LeavesExactlyFiftyNineBytesUnchanged) {
    int unchanged = 0;
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::string encoded = FormEncode(one);
        if (encoded == one) {
            ++unchanged;
        } else if (b != ' ') {
            char expected[4];
            std::snprintf(expected, sizeof expected, "%%%02X", b);
            EXPECT_EQ(encoded, expected);
        }
    }
    EXPECT_EQ(unchanged, 59);
}

TEST(CommandBodyTest, WritesWordThenEachFieldInOrderWithValuesEncoded) {
    const std::string body = CommandBody("LOGIN")
                                 .Add("USERNAME", "Jo Doe")
                                 .Add("PASSWORD", "p&ss=x")
                                 .Add("EMPTY", "")
                                 .Text();
    EXPECT_EQ(body, "COMMAND=LOGIN&USERNAME=Jo+Doe&PASSWORD=p%26ss%3D%78&EMPTY=");
}

TEST(CommandBodyTest, AWordAloneIsTheWholeBody) {
    EXPECT_EQ(CommandBody("ENDGAME").Text(), "COMMAND=ENDGAME");
}

TEST(MaskPasswordsTest, HidesOnlyThePasswordValues) {
    struct Case {
        const char* in;
        const char* out;
    } const cases[] = {
        {"COMMAND=LOGIN&USERNAME=jo&PASSWORD=s3cret", "COMMAND=LOGIN&USERNAME=jo&PASSWORD=********"},
        {"PASSWORD=a&PASSWORD2=b&NEWPASSWORD=c&OLDPASSWORD=d&X=e",
         "PASSWORD=********&PASSWORD2=********&NEWPASSWORD=********&OLDPASSWORD=********&X=e"},
        {"password=a&Password=b", "password=********&Password=********"},
        {"https://h/cgi?PASSWORD=p%26q&ZIP=1", "https://h/cgi?PASSWORD=********&ZIP=1"},
        {"?PASSWORD=p", "?PASSWORD=********"},
        {"PASSWORD=p\nNEXT=n", "PASSWORD=********\nNEXT=n"},
        {"PASSWORD=p\r\n", "PASSWORD=********\r\n"},
        {"PASSWORD=", "PASSWORD=********"},
        {"PASSWORD=a=b&C=d", "PASSWORD=********&C=d"},
        {"PASS=a&WORD=b&USERNAME=password", "PASS=a&WORD=b&USERNAME=password"},
        {"InetCallBack \n", "InetCallBack \n"},
        {"PASSWORD", "PASSWORD"},
        {"&&==&", "&&==&"},
        {"=PASSWORD&", "=PASSWORD&"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(MaskPasswords(c.in), c.out) << c.in;
}

TEST(MaskPasswordsTest, NoEncodedPasswordSurvivesInAnyPart) {
    for (const std::string password : {"plain", "a&PASSWORD=", "line\nbreak", "50% off?", "x=y"}) {
        const std::string body =
            CommandBody("CREATEACCOUNT").Add("USERNAME", "jo").Add("PASSWORD", password).Add("ZIP", "1").Text();
        EXPECT_EQ(MaskPasswords(body), "COMMAND=CREATEACCOUNT&USERNAME=jo&PASSWORD=********&ZIP=1")
            << password;
    }
}

}  // namespace
}  // namespace kx
