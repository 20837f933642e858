// The texts a backend checks before they reach the wire: whatever passes
// here is put into a request line, a header or libcurl's connect-to map.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/common/http_text.h"

namespace kx {
namespace {

TEST(HttpTextTest, TellsTokensAndHostsFromWhatWouldBreakTheRequestLine) {
    struct Case {
        std::string text;
        bool token;
        bool host;
    };
    const Case cases[] = {
        {"GET", true, true},
        {"M-SEARCH", true, true},
        {"a_b.c", true, true},
        {"", false, false},
        {"GE T", false, false},
        {"h/x", false, false},
        {"X:Y", false, false},
        {"a\r\n", false, false},
        {"\xC3\xA9", false, false},
        {"::1", false, true},
        {"fe80::1:2", false, true},
        {"::g", false, false},
        {std::string(256, 'h'), true, true},
        {std::string(257, 'h'), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IsToken(c.text), c.token);
        EXPECT_EQ(IsHostName(c.text), c.host);
    }
}

TEST(HttpTextTest, ReadsPortsAndNumbersWithinTheirRangeOnly) {
    const std::pair<std::string, std::optional<std::uint16_t>> ports[] = {
        {"1", 1}, {"00080", 80}, {"65535", 65535}, {"0", std::nullopt}, {"65536", std::nullopt},
        {"", std::nullopt}, {"+80", std::nullopt}, {" 80", std::nullopt}, {"8o", std::nullopt},
    };
    for (const auto& [text, port] : ports) EXPECT_EQ(ParsePort(text), port) << text;
    // The running value is checked at every digit, so it never wraps.
    EXPECT_EQ(ParseDecimal("4294967295", 0xFFFFFFFF), 0xFFFFFFFFu);
    EXPECT_EQ(ParseDecimal("4294967296", 0xFFFFFFFF), std::nullopt);
    EXPECT_EQ(ParseDecimal("18446744073709551617", 0xFFFFFFFF), std::nullopt);
    EXPECT_EQ(ParseDecimal("000000000000000000001", 5), std::nullopt);
}

TEST(HttpTextTest, TakesTheHostOffTheFrontAndLeavesTheRest) {
    struct Case {
        std::string text;
        std::optional<std::string> host;
        std::string rest;
    };
    const Case cases[] = {
        {"host:80", "host", ":80"},
        {"host", "host", ""},
        {"[::1]:8080", "::1", ":8080"},
        {"[::1", std::nullopt, ""},
        {"[host]:80", std::nullopt, ""},
        {"::1:80", std::nullopt, ""},
        {"ho st:80", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string_view rest = c.text;
        const auto host = TakeHost(&rest);
        EXPECT_EQ(host ? std::optional<std::string>(*host) : std::nullopt, c.host);
        if (host) {
            EXPECT_EQ(rest, c.rest);
        }
    }
    EXPECT_EQ(HostForUrl("::1"), "[::1]");
    EXPECT_EQ(HostForUrl("demo.kestrix.test"), "demo.kestrix.test");
}

TEST(HttpTextTest, EscapesWhatMayNotStandInAUrl) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "/"},
        {"a b", "/a%20b"},
        {"/ws/command.asp?a=1&b=2", "/ws/command.asp?a=1&b=2"},
        {"/deck#2", "/deck%232"},
        {"/\xC3\xA9", "/%C3%A9"},
        {"/\"<>\\^`{|}", "/%22%3C%3E%5C%5E%60%7B%7C%7D"},
    };
    for (const auto& [path, url] : cases) EXPECT_EQ(EscapePath(path), url) << path;
}

TEST(HttpTextTest, SplitsTheCallersHeadersAndRefusesInjectedLines) {
    struct Case {
        const char* name;
        std::string text;
        std::optional<std::vector<std::string>> lines;
        bool content_type;
    };
    const Case cases[] = {
        {"none", "", std::vector<std::string>{}, false},
        {"both line ends", "X-A: 1\r\nX-B:2\n", std::vector<std::string>{"X-A: 1", "X-B: 2"}, false},
        {"blank lines", "\r\n\r\nX: y\r\n", std::vector<std::string>{"X: y"}, false},
        {"empty value stays", "X-Empty:   \r\n", std::vector<std::string>{"X-Empty;"}, false},
        {"tab in a value", "X-T: a\tb", std::vector<std::string>{"X-T: a\tb"}, false},
        {"content type in any case", "content-TYPE: text/plain",
         std::vector<std::string>{"content-TYPE: text/plain"}, true},
        {"no colon", "no colon here", std::nullopt, false},
        {"blank in the name", "Bad Name: x", std::nullopt, false},
        {"bare carriage return", "X-A: 1\rX-B: 2", std::nullopt, false},
        {"zero byte", std::string("X-A: 1\0", 7), std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto split = SplitHeaders(c.text);
        ASSERT_EQ(split.has_value(), c.lines.has_value());
        if (!split) continue;
        EXPECT_EQ(split->lines, *c.lines);
        EXPECT_EQ(split->content_type, c.content_type);
    }
}

TEST(HttpTextTest, AcceptsOnlyWholeConnectToEntries) {
    const std::pair<std::string, bool> cases[] = {
        {"h:1:a:2", true},    {"demo:443:[::1]:8443", true}, {"[::1]:80:b:1", true},
        {"a:80:b:0", false},  {"a:80:b", false},             {":80:b:1", false},
        {"a:1:b:2:3", false}, {"a:80:b:99999", false},       {"a:80::1", false},
    };
    for (const auto& [entry, valid] : cases) EXPECT_EQ(IsConnectToEntry(entry), valid) << entry;
}

TEST(HttpTextTest, CracksUrlsAndLeavesTheComponentsAloneOnError) {
    struct Case {
        std::string url;
        std::uint32_t error;
        UrlComponents expected;
    };
    const std::string longest_path = "/" + std::string(kMaxUrlLength - 9, 'a');
    const Case cases[] = {
        {"HTTP://h", 0, {"HTTP", "h", 80, "/"}},
        {"http://host:/x", 0, {"http", "host", 80, "/x"}},
        {"https://host#top", 0, {"https", "host", 443, "/"}},
        {"http://a@b@host/p", 0, {"http", "host", 80, "/p"}},
        // The host the page-origin check reads, never the one after the backslash.
        {"http://host.example\\@other.example/x", 0, {"http", "host.example", 80, "/\\@other.example/x"}},
        {"http://host.example/a@other.example", 0, {"http", "host.example", 80, "/a@other.example"}},
        {"a+b.c-d://h/x", 0, {"a+b.c-d", "h", 0, "/x"}},
        {"://h/", kErrorInternetUnrecognizedScheme, {}},
        {"ht_tp://h/", kErrorInternetUnrecognizedScheme, {}},
        {"http://host:80x/", kErrorInternetInvalidUrl, {}},
        {"http://host\x7F/", kErrorInternetInvalidUrl, {}},
        {"http://h" + longest_path, 0, {"http", "h", 80, longest_path}},
        {"http://h" + longest_path + "a", kErrorInternetInvalidUrl, {}},
    };
    const UrlComponents untouched{"untouched", "untouched", 7, "untouched"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url.substr(0, 40));
        UrlComponents parts = untouched;
        EXPECT_EQ(CrackUrl(c.url, &parts), c.error);
        const UrlComponents& expected = c.error == 0 ? c.expected : untouched;
        EXPECT_EQ(parts.scheme, expected.scheme);
        EXPECT_EQ(parts.host, expected.host);
        EXPECT_EQ(parts.port, expected.port);
        EXPECT_EQ(parts.path, expected.path);
    }
}

}  // namespace
}  // namespace kx
