// The Windows tests that need the demo service: the driver starts it and
// tells where; the service's CA is trusted in the prefix's store first.

#include <gtest/gtest.h>

#include <cstdio>

#include "demo_world.h"

namespace {

class TrustedDemo : public ::testing::Environment {
public:
    void SetUp() override {
        const kx::test::DemoWorld* world = kx::test::TheDemoWorld();
        ASSERT_NE(world, nullptr) << "no demo service: run through tests/windows/run_with_demo.py";
        std::printf("demo service path: %s (direct: %s on ports %u and %u; the engine: %s on "
                    "80 and 443)\n",
                    world->path.c_str(), world->host.c_str(), world->http_port, world->https_port,
                    world->engine_host.c_str());
        const auto failure = kx::test::TrustCertificateAuthority(world->ca_file);
        ASSERT_FALSE(failure) << *failure;
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new TrustedDemo);
    return RUN_ALL_TESTS();
}
