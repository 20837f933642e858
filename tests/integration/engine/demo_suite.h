#pragma once

// What the engine and upload suites share: one demo service per suite, an
// internet API of the backend the suites are built with (the include path
// picks its engine_backend.h), and a scratch directory per test.

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine_backend.h"
#include "support/captured_debug_output.h"
#include "support/scratch_directory.h"

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

class DemoSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { backend_ = new EngineBackend(); }
    static void TearDownTestSuite() {
        delete backend_;
        backend_ = nullptr;
    }

    void SetUp() override {
        const std::string unavailable = backend_->Unavailable();
        if (!unavailable.empty()) GTEST_SKIP() << unavailable;
        ASSERT_FALSE(scratch_.path().empty()) << "no scratch directory";
    }

    static const EngineBackend& service() { return *backend_; }

    // The demo host on ports 80 and 443, and a closed port for kClosedHost.
    static std::unique_ptr<InetApi> MakeInet(SuiteInetOptions options = {}) {
        return backend_->MakeInet(options);
    }

    static std::vector<test::LoggedRequest> RequestsFor(std::string_view target) {
        std::vector<test::LoggedRequest> found;
        for (test::LoggedRequest& logged : backend_->Requests()) {
            if (logged.target == target) found.push_back(std::move(logged));
        }
        return found;
    }

    // Keeps the traces off the test output, and lets a test read them.
    CapturedDebugOutput debug_;
    ScratchDirectory scratch_;

private:
    static inline EngineBackend* backend_ = nullptr;
};

}  // namespace kx::test
