#include "base/leading_integer.h"

#include <gtest/gtest.h>

namespace kx {
namespace {

TEST(LeadingIntegerTest, ReadsTheNumberAtTheStartOfAText) {
    struct Case {
        const char* text;
        std::int32_t expected;
    } const cases[] = {
        {"42", 42},
        {"  42", 42},
        {"\t\n 7", 7},
        {"+15", 15},
        {"-3", -3},
        {"400px", 400},
        {"12 34", 12},
        {"3.9", 3},
        {"", 0},
        {"abc", 0},
        {"-", 0},
        {"+-5", 0},
        {"- 5", 0},
        {"0x1A", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", 2147483647},
        {"99999999999999999999", 2147483647},
        {"-99999999999999999999", -2147483647 - 1},
    };
    for (const auto& c : cases) EXPECT_EQ(LeadingInteger(c.text), c.expected) << '"' << c.text << '"';
}

}  // namespace
}  // namespace kx
