// Where the trace file goes on Linux: the current directory, else the user's
// state directory.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/trace_log.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/xdg_dirs.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

TEST(TraceFilePlacesTest, FallsBackToThePrivateStateDirectory) {
    const fs::path root = fs::temp_directory_path() / ("kx_places_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "work");
    ::setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
    const fs::path previous = fs::current_path();
    fs::current_path(root / "work");

    const TraceFilePlaces places = TraceFileLocations();
    EXPECT_EQ(places.primary, root / "work" / "debug.txt");
    EXPECT_EQ(places.fallback, root / "state" / "kestrix" / "debug.txt");
    struct stat info {};
    ASSERT_EQ(::stat((root / "state" / "kestrix").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // A current directory that cannot hold the file (here: it is a file).
    SystemClock clock;
    TraceLog log;
    log.Open(clock, root / "work" / "not-a-dir" / "debug.txt", places.fallback);
    std::ofstream(root / "work" / "not-a-dir") << "x";
    log.Open(clock, root / "work" / "not-a-dir" / "debug.txt", places.fallback);
    EXPECT_EQ(log.Path(), places.fallback);
    log.Write("Init Console");
    log.Close();
    EXPECT_TRUE(fs::file_size(places.fallback) > 0);

    fs::current_path(previous);
    ::unsetenv("XDG_STATE_HOME");
    fs::remove_all(root);
}

TEST(TraceFilePlacesTest, RelativeXdgValuesAreIgnored) {
    const char* home = std::getenv("HOME");
    const std::string saved_home = home != nullptr ? home : "";
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(XdgBaseDirectory(XdgBase::Config), "/home/someone/.config");
    ::setenv("XDG_CONFIG_HOME", "/etc/xdg-test", 1);
    EXPECT_EQ(XdgBaseDirectory(XdgBase::Config), "/etc/xdg-test");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", saved_home.c_str(), 1);
}

}  // namespace
}  // namespace kx
