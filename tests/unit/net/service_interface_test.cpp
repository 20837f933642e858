#include "net/service_interface.h"

#include <gtest/gtest.h>

#include "base/registry_paths.h"
#include "platform/common/memory_registry.h"
#include "support/registry_helpers.h"

namespace kx {
namespace {

using test::Sz;

TEST(ServiceHostTest, UsesTheCompiledInHostWithoutAnOverride) {
    MemoryRegistry registry;
    EXPECT_EQ(ServiceHost(registry), kDefaultServiceHost);
    test::CreateKey(registry, kGeneralKey);
    EXPECT_EQ(ServiceHost(registry), kDefaultServiceHost);
}

TEST(ServiceHostTest, TakesAValidOverrideAndIgnoresAnythingElse) {
    struct Case {
        std::string data;
        RegType type;
        std::string expected;
    } const cases[] = {
        {Sz("demo.kestrix.test"), RegType::Sz, "demo.kestrix.test"},
        {"staging.kestrix.com", RegType::Sz, "staging.kestrix.com"},  // no terminator
        {Sz("127.0.0.1"), RegType::Sz, "127.0.0.1"},
        {Sz(""), RegType::Sz, std::string(kDefaultServiceHost)},
        {Sz("evil.com/x?y"), RegType::Sz, std::string(kDefaultServiceHost)},
        {Sz("host name"), RegType::Sz, std::string(kDefaultServiceHost)},
        {Sz("a..b"), RegType::Sz, std::string(kDefaultServiceHost)},
        {Sz("host:8080"), RegType::Sz, std::string(kDefaultServiceHost)},
        {Sz(std::string(300, 'a')), RegType::Sz, std::string(kDefaultServiceHost)},
        {"\x01\x00\x00\x00", RegType::Dword, std::string(kDefaultServiceHost)},
    };
    for (const auto& c : cases) {
        MemoryRegistry registry;
        test::SetValue(registry, kGeneralKey, "servicehost", c.data, c.type);
        EXPECT_EQ(ServiceHost(registry), c.expected) << c.data;
    }
}

TEST(ServiceHostTest, HostNameRules) {
    EXPECT_TRUE(IsValidHostName("a"));
    EXPECT_TRUE(IsValidHostName("my-host.example.org"));
    EXPECT_FALSE(IsValidHostName(".lead"));
    EXPECT_FALSE(IsValidHostName("trail."));
    EXPECT_FALSE(IsValidHostName(std::string(64, 'a') + ".com"));
    EXPECT_TRUE(IsValidHostName(std::string(63, 'a') + ".com"));
}

}  // namespace
}  // namespace kx
