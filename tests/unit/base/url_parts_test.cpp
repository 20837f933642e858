#include "base/url_parts.h"

#include <gtest/gtest.h>

#include <string>

namespace kx {
namespace {

// The inputs on which two readings of a URL could disagree about its host.
TEST(UrlPartsTest, ReadsTheHostAsTheBrowserAndTheTransportBothSeeIt) {
    struct Case {
        std::string url;
        UrlFault fault;
        std::string host;
        std::string port;
        std::string userinfo;
        std::string path;
    } const cases[] = {
        {"http://host.example\\@other.example/x", UrlFault::None, "host.example", "", "",
         "\\@other.example/x"},
        {"http://host.example\\x", UrlFault::None, "host.example", "", "", "\\x"},
        {"http://host.example/a@other.example", UrlFault::None, "host.example", "", "",
         "/a@other.example"},
        {"http://host.example?u=a@other.example", UrlFault::None, "host.example", "", "",
         "?u=a@other.example"},
        {"http://host.example#@other.example", UrlFault::None, "host.example", "", "", ""},
        {"http://user:pw@host.example:81/p", UrlFault::None, "host.example", "81", "user:pw", "/p"},
        {"http://a@b@host.example/p", UrlFault::None, "host.example", "", "a@b", "/p"},
        {"http://host.example@other.example/", UrlFault::None, "other.example", "", "host.example",
         "/"},
        {"http://[::1]:8080/x?q#f", UrlFault::None, "::1", "8080", "", "/x?q"},
        {"http://u@[::1]/", UrlFault::None, "::1", "", "u", "/"},
        {"http://host.example:/x", UrlFault::None, "host.example", "", "", "/x"},
        {"http://[::1/", UrlFault::Authority, "", "", "", ""},
        {"http://[::1]x/", UrlFault::Authority, "", "", "", ""},
        {"http://[]/", UrlFault::Authority, "", "", "", ""},
        {"http://host.example:8o/", UrlFault::Authority, "", "", "", ""},
        {"http://host.example:1:2/", UrlFault::Authority, "", "", "", ""},
        {"http://user@/x", UrlFault::Authority, "", "", "", ""},
        {"http:///x", UrlFault::Authority, "", "", "", ""},
        {"host.example/x?next=http://other.example", UrlFault::Scheme, "", "", "", ""},
        {"about:blank", UrlFault::Scheme, "", "", "", ""},
        {"1http://host/", UrlFault::Scheme, "", "", "", ""},
        {"://host/", UrlFault::Scheme, "", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        UrlParts parts;
        parts.host = "untouched";
        ASSERT_EQ(SplitUrl(c.url, &parts), c.fault);
        if (c.fault != UrlFault::None) {
            EXPECT_EQ(parts.host, "untouched");
            continue;
        }
        EXPECT_EQ(parts.host, c.host);
        EXPECT_EQ(parts.port, c.port);
        EXPECT_EQ(parts.userinfo, c.userinfo);
        EXPECT_EQ(parts.has_userinfo, !c.userinfo.empty());
        EXPECT_EQ(parts.path, c.path);
    }
}

}  // namespace
}  // namespace kx
