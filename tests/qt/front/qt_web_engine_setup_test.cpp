// The web engine reaches the service the way the console's own requests do.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/qt/qt_web_engine_setup.h"

namespace kx {
namespace {

struct RulesCase {
    const char* name;
    std::vector<std::string> connect_to;
    std::string rules;
};

class HostResolverRulesTest : public ::testing::TestWithParam<RulesCase> {};

TEST_P(HostResolverRulesTest, MapsEachWellFormedEntryWithItsPorts) {
    EXPECT_EQ(HostResolverRules(GetParam().connect_to), GetParam().rules);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, HostResolverRulesTest,
    ::testing::Values(
        RulesCase{"none", {}, ""},
        RulesCase{"one", {"demo.kestrix.test:80:127.0.0.1:8080"},
                  "MAP demo.kestrix.test:80 127.0.0.1:8080"},
        RulesCase{"both_schemes",
                  {"demo.kestrix.test:80:127.0.0.1:8080", "demo.kestrix.test:443:127.0.0.1:8443"},
                  "MAP demo.kestrix.test:80 127.0.0.1:8080, MAP demo.kestrix.test:443 127.0.0.1:8443"},
        RulesCase{"ipv6_address", {"demo.kestrix.test:443:[::1]:8443"},
                  "MAP demo.kestrix.test:443 [::1]:8443"},
        RulesCase{"malformed_left_out",
                  {"demo.kestrix.test:80", "x:99999:127.0.0.1:1", "a b:80:127.0.0.1:8080",
                   "ok.test:80:127.0.0.1:81"},
                  "MAP ok.test:80 127.0.0.1:81"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace kx
