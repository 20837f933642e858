#pragma once

// What the engine and upload suites share: one demo service per suite, the
// backend's settings that lead the service's host name to it, and a scratch
// directory per test.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "support/demo_peer.h"
#include "platform/linux/curl_inet_api.h"
#include "support/captured_debug_output.h"

namespace kx::test {

// Host names that lead nowhere useful: a port where nothing listens, and a
// name no resolver knows.
inline constexpr std::string_view kClosedHost = "closed.kestrix.test";
inline constexpr std::string_view kUnknownHost = "nowhere.invalid";

// The demo's generated files: byte i is i mod 251.
inline std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kx-engine-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

class DemoSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service_ = new test::DemoService(); }
    static void TearDownTestSuite() {
        delete service_;
        service_ = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(service_->running()) << "the demo service did not start"; }

    static const test::DemoService& service() { return *service_; }

    // The demo host on ports 80 and 443, and a closed port for kClosedHost.
    static CurlInetConfig Config() {
        CurlInetConfig config;
        config.ca_file = service_->ca_file();
        config.connect_to = service_->ConnectTo();
        config.connect_to.push_back(std::string(kClosedHost) + ":80:127.0.0.1:1");
        return config;
    }

    static std::vector<test::LoggedRequest> RequestsFor(std::string_view target) {
        std::vector<test::LoggedRequest> found;
        for (test::LoggedRequest& logged : service_->Requests()) {
            if (logged.target == target) found.push_back(std::move(logged));
        }
        return found;
    }

    // Keeps the traces off the test output, and lets a test read them.
    CapturedDebugOutput debug_;
    ScratchDirectory scratch_;

private:
    static inline test::DemoService* service_ = nullptr;
};

}  // namespace kx::test
