// The game log upload on the libcurl backend against the demo service.

#include <gtest/gtest.h>

#include <cstddef>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "demo_suite.h"
#include "net/upload.h"

namespace kx::test {
namespace {

class UploadTest : public DemoSuite {};

TEST_F(UploadTest, TheFileArrivesWholeWithItsAnnouncedLengthOrNothingIsSent) {
    struct Case {
        const char* name;
        std::string_view host;
        std::optional<std::size_t> size;  // none: no local file
        bool sent;
        const char* trace;  // the failure traced, or null for none
    };
    const Case cases[] = {
        {"empty file", test::kDemoHost, 0, true, nullptr},
        {"1500 bytes", test::kDemoHost, 1500, true, nullptr},
        {"2048 bytes", test::kDemoHost, 2048, true, nullptr},
        {"no local file", test::kDemoHost, std::nullopt, false, "Failed CreateFile"},
        {"host not reachable", kClosedHost, 10, false, "Failed HttpSendRequestEx"},
    };
    int play_id = 5900;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t traced_before = debug_.Pieces().size();
        const std::string object = "GAMELOGS/" + std::to_string(++play_id) + "_tester.txt";
        const auto local = scratch_ / (std::to_string(play_id) + ".log");
        const std::string content = Pattern(c.size.value_or(0));
        if (c.size) std::ofstream(local, std::ios::binary) << content;
        const std::unique_ptr<InetApi> inet = MakeInet();

        EXPECT_EQ(UploadFile(*inet, std::string(c.host), object, local.string()), c.sent);

        std::vector<std::string> traced = debug_.Pieces();
        traced.erase(traced.begin(), traced.begin() + static_cast<std::ptrdiff_t>(traced_before));
        const std::vector<std::string> expected_traces =
            c.trace != nullptr ? std::vector<std::string>{c.trace, "\n"} : std::vector<std::string>{};
        EXPECT_EQ(traced, expected_traces);
        const auto logged = RequestsFor("/" + object);
        if (!c.sent) {
            EXPECT_TRUE(logged.empty());
            continue;
        }
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].method, "PUT");
        EXPECT_TRUE(logged[0].complete);
        EXPECT_EQ(logged[0].Header("Content-Length"), std::to_string(content.size()));
        EXPECT_TRUE(logged[0].body == content) << "the body differs from the file";
    }
}

}  // namespace
}  // namespace kx::test
