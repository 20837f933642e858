// Where the debugger output goes on Linux: nowhere unless KX_DEBUG_OUTPUT
// names standard error or a file.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/debug_output.h"
#include "platform/linux/debug_output_setting.h"
#include "support/scratch_directory.h"

namespace kx {
namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class DebugOutputSettingTest : public ::testing::Test {
protected:
    void TearDown() override { InstallDebugOutput(""); }

    // What standard error receives while `text` is written to the debugger output.
    static std::string StandardErrorOf(std::string_view text) {
        ::testing::internal::CaptureStderr();
        OutputDebugText(text);
        return ::testing::internal::GetCapturedStderr();
    }

    test::ScratchDirectory scratch_;
};

TEST_F(DebugOutputSettingTest, TheDefaultSinkWritesNothingToStandardError) {
    SetDebugOutputSink(nullptr);
    EXPECT_EQ(StandardErrorOf("COMMAND=CREATEACCOUNT&PASSWORD=secret"), "");
}

TEST_F(DebugOutputSettingTest, EachSettingReachesOnlyItsPlace) {
    const std::string file = scratch_.path() + "/debug-output.txt";
    struct Case {
        std::string setting;
        bool installs;
        const char* on_stderr;
        const char* in_file;
    } const cases[] = {
        {"", true, "", ""},
        {"stderr", true, "InetCallBack \n", ""},
        {file, true, "", "InetCallBack \n"},
        {scratch_.path() + "/missing/debug-output.txt", false, "", ""},
        {scratch_.path(), false, "", ""},
        {std::string("a\0b", 3), false, "", ""},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(file);
        EXPECT_EQ(InstallDebugOutput(c.setting), c.installs) << c.setting;
        EXPECT_EQ(StandardErrorOf("InetCallBack \n"), c.on_stderr) << c.setting;
        InstallDebugOutput("");
        EXPECT_EQ(Read(file), c.in_file) << c.setting;
    }
}

TEST_F(DebugOutputSettingTest, AFileIsAppendedToAndKeptPrivate) {
    const std::string file = scratch_.path() + "/debug-output.txt";
    std::ofstream(file) << "earlier\n";
    ::chmod(file.c_str(), 0600);
    ASSERT_TRUE(InstallDebugOutput(file));
    OutputDebugText("one ");
    OutputDebugText("two\n");
    InstallDebugOutput("");
    OutputDebugText("after\n");
    EXPECT_EQ(Read(file), "earlier\none two\n");

    const std::string created = scratch_.path() + "/created.txt";
    ASSERT_TRUE(InstallDebugOutput(created));
    struct stat info {};
    ASSERT_EQ(::stat(created.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(DebugOutputSettingTest, TheEnvironmentChoosesTheSink) {
    const std::string file = scratch_.path() + "/from-environment.txt";
    ::setenv(kDebugOutputVariable, file.c_str(), 1);
    EXPECT_TRUE(InstallDebugOutputFromEnvironment());
    OutputDebugText("seen\n");
    ::unsetenv(kDebugOutputVariable);
    EXPECT_TRUE(InstallDebugOutputFromEnvironment());
    OutputDebugText("dropped\n");
    EXPECT_EQ(Read(file), "seen\n");
}

}  // namespace
}  // namespace kx
