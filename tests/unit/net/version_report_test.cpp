#include "net/version_report.h"

#include <gtest/gtest.h>

#include "base/registry_paths.h"
#include "platform/common/memory_registry.h"
#include "support/registry_helpers.h"

namespace kx {
namespace {

using test::Sz;

constexpr const char* kConsolePairs = "CONSOLEVER=2%2E01&CONSOLEBUILD=2%2E01%2E0000";

std::string ClientKey(std::string_view name) {
    return std::string(kClientsKey) + "\\" + std::string(name);
}

std::string Report(Registry& registry) {
    std::string report = "stale text from an earlier build";
    BuildVersionReport(registry, report);
    return report;
}

TEST(VersionReportTest, HoldsOnlyTheConsoleWithoutAClientsKey) {
    MemoryRegistry registry;
    EXPECT_EQ(Report(registry), kConsolePairs);
    test::CreateKey(registry, kClientsKey);
    EXPECT_EQ(Report(registry), kConsolePairs);
}

TEST(VersionReportTest, AddsEachClientWithAReadableVersion) {
    MemoryRegistry registry;
    test::SetValue(registry, ClientKey("Word Maze"), "VERSION", Sz("1.5"));
    EXPECT_EQ(Report(registry), std::string(kConsolePairs) + "&Word+Ma%7Ae=1%2E5");
}

TEST(VersionReportTest, LeavesOutClientsWhoseVersionCannotBeRead) {
    struct Case {
        const char* name;
        std::string version;  // bytes as stored
        bool listed;
    } const cases[] = {
        {"24 characters fit", Sz(std::string(24, '9')), true},
        {"25 characters do not", Sz(std::string(25, '9')), false},
        {"40 characters do not", Sz(std::string(40, '9')), false},
        {"25 bytes without terminator", std::string(25, '7'), true},
        {"empty value", "", true},
    };
    for (const auto& c : cases) {
        MemoryRegistry registry;
        test::SetValue(registry, ClientKey("Game"), "VERSION", c.version);
        const std::string report = Report(registry);
        EXPECT_EQ(report != kConsolePairs, c.listed) << c.name << ": " << report;
    }
    MemoryRegistry no_version;
    test::SetValue(no_version, ClientKey("Game"), "EXEPATH", Sz("/usr/games/game"));
    EXPECT_EQ(Report(no_version), kConsolePairs);
}

TEST(VersionReportTest, KeepsTheRegistrysOrderAndSkipsOnlyTheBadEntry) {
    MemoryRegistry registry;
    test::SetValue(registry, ClientKey("Alpha"), "VERSION", Sz("1.0"));
    test::SetValue(registry, ClientKey("Broken"), "VERSION", Sz(std::string(30, 'x')));
    test::SetValue(registry, ClientKey("Chess & Co"), "Version", Sz("3"));
    EXPECT_EQ(Report(registry),
              std::string(kConsolePairs) + "&Alpha=1%2E0&Chess+%26+Co=3");
}

}  // namespace
}  // namespace kx
