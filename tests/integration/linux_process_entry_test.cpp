// What the entry function reads of its own process on Linux.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/linux/linux_process_entry.h"

namespace kx {
namespace {

using namespace std::string_literals;

struct JoinCase {
    const char* name;
    std::string arguments;  // as /proc/self/cmdline holds them
    std::string line;
};

class JoinCommandLineTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinCommandLineTest, RebuildsTheLineTheSwitchScanReads) {
    EXPECT_EQ(JoinCommandLine(GetParam().arguments), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, JoinCommandLineTest,
    ::testing::Values(
        JoinCase{"program_only", "/usr/bin/velora\0"s, "/usr/bin/velora"},
        JoinCase{"switch", "/usr/bin/velora\0-RegServer\0"s, "/usr/bin/velora -RegServer"},
        // A blank inside an argument must not look like the end of a switch.
        JoinCase{"blank_quoted", "/opt/my games/velora\0/UnregServer\0"s,
                 "\"/opt/my games/velora\" /UnregServer"},
        JoinCase{"empty_argument", "velora\0\0"s, "velora \"\""},
        JoinCase{"nothing", ""s, ""}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(LinuxProcessEntryTest, ReportsThisProgramsOwnPathAndLine) {
    LinuxProcessEntry entry;
    const std::string path = entry.ModuleFileName();
    EXPECT_TRUE(std::filesystem::path(path).is_absolute());
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_NE(entry.CommandLine().find("kx_backend_tests"), std::string::npos);
    EXPECT_EQ(entry.ShortPathName(path), "");
}

}  // namespace
}  // namespace kx
