#include "platform/win32/win_process_entry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace kx {
namespace {

bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
    if (text.size() < end.size()) return false;
    return lstrcmpiA(text.c_str() + (text.size() - end.size()), end.c_str()) == 0;
}

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

TEST(WinProcessEntry, TheModuleIsThisProgramByItsFullPath) {
    WinProcessEntry process;
    const std::string path = process.ModuleFileName();
    EXPECT_TRUE(EndsWithIgnoringCase(path, "\\kx_windows_tests.exe")) << path;
    EXPECT_TRUE(IsFile(path)) << path;
    EXPECT_EQ(path.find("~"), std::string::npos) << "the long form, not the short one";
}

TEST(WinProcessEntry, TheCommandLineNamesTheProgram) {
    WinProcessEntry process;
    const std::string line = process.CommandLine();
    EXPECT_NE(line.find("kx_windows_tests"), std::string::npos) << line;
}

TEST(WinProcessEntry, TheShortPathNamesTheSameFileOrIsEmpty) {
    WinProcessEntry process;
    const std::string path = process.ModuleFileName();
    const std::string short_path = process.ShortPathName(path);
    ASSERT_FALSE(short_path.empty());
    EXPECT_TRUE(IsFile(short_path)) << short_path;
    char long_again[MAX_PATH] = {};
    ASSERT_GT(GetLongPathNameA(short_path.c_str(), long_again, sizeof long_again), 0u);
    EXPECT_EQ(lstrcmpiA(long_again, path.c_str()), 0) << long_again;

    const std::string bad_paths[] = {
        path + ".gone",
        std::string("C:\\no such folder\\velora.exe"),
        std::string("C:\\with\0zero.exe", 16),
        std::string(),
    };
    for (const std::string& bad : bad_paths) {
        EXPECT_EQ(process.ShortPathName(bad), "") << bad;
    }
}

}  // namespace
}  // namespace kx
