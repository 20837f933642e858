// What every transfer of the libcurl backend is set up with: libcurl takes
// time-outs in its own units and refuses a zero, and a bad CA file or
// connect-to entry must cost only itself.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/linux/curl_ca_store.h"
#include "platform/linux/curl_handles.h"
#include "platform/linux/curl_inet_config.h"
#include "support/scratch_directory.h"

namespace kx {
namespace {

using std::chrono::milliseconds;

TEST(CurlSettingsTest, ClampsTimeOutsAndKeepsOnlyWellFormedConnectToEntries) {
    struct Case {
        const char* name;
        milliseconds connect;
        milliseconds receive;
        std::vector<std::string> connect_to;
        long connect_ms;
        long receive_s;
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {"defaults", std::chrono::seconds(60), std::chrono::seconds(60), {}, 60000, 60, {}},
        {"zero is the shortest", milliseconds(0), milliseconds(0), {}, 1, 1, {}},
        {"negative is the shortest", milliseconds(-5), milliseconds(-5), {}, 1, 1, {}},
        {"a part of a second rounds up", milliseconds(1500), milliseconds(1500), {}, 1500, 2, {}},
        {"a day at most", std::chrono::hours(24 * 5), std::chrono::hours(24 * 5), {}, 86400000, 86400, {}},
        {"malformed entries dropped", milliseconds(1), milliseconds(1000),
         {"h:1:a:2", "bad", "a:80:b:0", "[::1]:80:b:1"}, 1, 1, {"h:1:a:2", "[::1]:80:b:1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CurlInetConfig config;
        config.connect_timeout = c.connect;
        config.receive_timeout = c.receive;
        config.connect_to = c.connect_to;
        const auto settings = curl_inet::MakeSettings(config);
        EXPECT_EQ(settings->connect_timeout_ms, c.connect_ms);
        EXPECT_EQ(settings->receive_timeout_s, c.receive_s);
        EXPECT_EQ(settings->connect_to, c.kept);
        EXPECT_TRUE(settings->ca_blob.empty());
    }
}

TEST(CurlSettingsTest, TrustsTheCaFileOnlyWhenItHoldsCertificates) {
    const test::ScratchDirectory scratch;
    ASSERT_FALSE(scratch.path().empty());
    const std::string pem = "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n";
    struct Case {
        const char* name;
        const char* file;  // nullptr: not written
        std::string text;
        bool trusted;
    };
    const Case cases[] = {
        {"certificates", "ca.pem", pem, true},
        {"no certificate in it", "notes.txt", "just words\n", false},
        {"empty", "empty.pem", "", false},
        {"missing", nullptr, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CurlInetConfig config;
        config.ca_file = scratch.path() + "/" + (c.file != nullptr ? c.file : "absent.pem");
        if (c.file != nullptr) std::ofstream(config.ca_file, std::ios::binary) << c.text;
        const auto settings = curl_inet::MakeSettings(config);
        const std::string& blob = settings->ca_blob;
        if (!c.trusted) {
            EXPECT_TRUE(blob.empty());
            continue;
        }
        // The system's bundle may come first; the extra file always ends the blob.
        ASSERT_GE(blob.size(), pem.size());
        EXPECT_EQ(blob.substr(blob.size() - pem.size()), pem);
    }
}

// libcurl drops its own bundle once it is given a blob, so the blob must
// carry the system's certificates as well as the extra file's.
TEST(CurlSettingsTest, TheCaFileAddsToTheSystemsBundleAndNeverReplacesIt) {
    const CurlEasy probe(curl_easy_init());
    ASSERT_TRUE(probe);
    char* ca_info = nullptr;
    curl_easy_getinfo(probe.get(), CURLINFO_CAINFO, &ca_info);
    std::ifstream bundle_file(ca_info != nullptr ? ca_info : "", std::ios::binary);
    if (!bundle_file) GTEST_SKIP() << "libcurl names no readable CA bundle here";
    const std::string bundle((std::istreambuf_iterator<char>(bundle_file)),
                             std::istreambuf_iterator<char>());
    ASSERT_NE(bundle.find("-----BEGIN CERTIFICATE-----"), std::string::npos);

    const test::ScratchDirectory scratch;
    ASSERT_FALSE(scratch.path().empty());
    const std::string pem = "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n";
    CurlInetConfig config;
    config.ca_file = scratch.path() + "/extra.pem";
    std::ofstream(config.ca_file, std::ios::binary) << pem;
    const auto settings = curl_inet::MakeSettings(config);
    const std::string& blob = settings->ca_blob;
    EXPECT_EQ(blob.substr(0, bundle.size()), bundle);
    ASSERT_GE(blob.size(), bundle.size() + pem.size());
    EXPECT_EQ(blob.substr(blob.size() - pem.size()), pem);
}

std::string SystemBundle() {
    const CurlEasy probe(curl_easy_init());
    char* ca_info = nullptr;
    if (probe) curl_easy_getinfo(probe.get(), CURLINFO_CAINFO, &ca_info);
    std::ifstream file(ca_info != nullptr ? ca_info : "", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The first `count` certificates of a bundle, each as its own PEM block.
std::vector<std::string> FirstCertificates(const std::string& bundle, std::size_t count) {
    const std::string begin = "-----BEGIN CERTIFICATE-----";
    const std::string end = "-----END CERTIFICATE-----\n";
    std::vector<std::string> blocks;
    for (std::size_t at = bundle.find(begin); at != std::string::npos && blocks.size() < count;
         at = bundle.find(begin, at + 1)) {
        const std::size_t stop = bundle.find(end, at);
        if (stop == std::string::npos) break;
        blocks.push_back(bundle.substr(at, stop + end.size() - at));
    }
    return blocks;
}

// The store every handshake shares is read once, and text that is not a
// certificate costs only itself.
TEST(CurlSettingsTest, TheSharedStoreReadsEveryReadableCertificateOnce) {
    const std::vector<std::string> good = FirstCertificates(SystemBundle(), 2);
    if (good.size() < 2) GTEST_SKIP() << "libcurl names no readable CA bundle here";
    const std::string broken = "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n";
    struct Case {
        const char* name;
        std::string pem;
        std::size_t read;  // 0: no store at all
    };
    const Case cases[] = {
        {"two certificates", good[0] + good[1], 2},
        {"a broken one between them", good[0] + broken + good[1], 2},
        {"text around them", "notes\n" + good[0] + "more notes\n" + good[1] + "end", 2},
        {"only a broken one", broken, 0},
        {"a beginning without an end", "-----BEGIN CERTIFICATE-----\nMIIB", 0},
        {"no certificate", "just words\n", 0},
        {"nothing", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto store = curl_inet::CaStore::Make(c.pem, "");
        if (c.read == 0) {
            EXPECT_EQ(store, nullptr);
            continue;
        }
        ASSERT_NE(store, nullptr);
        EXPECT_EQ(store->certificates(), c.read);
    }
}

TEST(CurlSettingsTest, EveryTransferSharesOneStoreWithTheCaFilesCertificates) {
    const std::string bundle = SystemBundle();
    const std::vector<std::string> good = FirstCertificates(bundle, 1);
    if (good.empty()) GTEST_SKIP() << "libcurl names no readable CA bundle here";
    const test::ScratchDirectory scratch;
    ASSERT_FALSE(scratch.path().empty());
    CurlInetConfig config;
    const auto without_file = curl_inet::MakeSettings(config);
    ASSERT_NE(without_file->ca_store, nullptr);
    config.ca_file = scratch.path() + "/extra.pem";
    std::ofstream(config.ca_file, std::ios::binary) << good[0];
    const auto with_file = curl_inet::MakeSettings(config);
    ASSERT_NE(with_file->ca_store, nullptr);
    EXPECT_EQ(with_file->ca_store->certificates(), without_file->ca_store->certificates() + 1);
}

}  // namespace
}  // namespace kx
