#include "base/trace_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/fake_clock.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class TraceLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kx_trace_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    test::FakeClock clock_;
};

TEST_F(TraceLogTest, FirstLineShowsTimeSinceStartAndLaterLinesTheGap) {
    TraceLog log;
    clock_.Set(5'000);
    log.Open(clock_, dir_ / "debug.txt");
    log.Write("Init Console");
    clock_.Advance(310);
    log.Write("Click Login");
    clock_.Advance(1'234);
    log.Write("Login Command Complete", 200, 0);
    EXPECT_EQ(ReadFile(dir_ / "debug.txt"),
              "5.00,Init Console,0:0\n"
              "0.31,Click Login,0:0\n"
              "1.23,Login Command Complete,200:0\n");
}

TEST_F(TraceLogTest, EachLineIsOnDiskWhenWriteReturns) {
    TraceLog log;
    log.Open(clock_, dir_ / "debug.txt");
    log.Write("Play", -1, 7);
    EXPECT_EQ(ReadFile(dir_ / "debug.txt"), "0.00,Play,-1:7\n");
}

TEST_F(TraceLogTest, OpeningAgainKeepsOnlyTheNewRunsLines) {
    {
        TraceLog first;
        first.Open(clock_, dir_ / "debug.txt");
        first.Write("first run");
    }
    TraceLog second;
    second.Open(clock_, dir_ / "debug.txt");
    second.Write("second run");
    EXPECT_EQ(ReadFile(dir_ / "debug.txt"), "0.00,second run,0:0\n");
}

TEST_F(TraceLogTest, GapsStayExactNearAndAcrossThe32BitTickWrap) {
    // 49.7 days of uptime: a float tick count has lost whole seconds by then
    // and the 32-bit count is about to wrap.
    TraceLog log;
    clock_.Set(0xFFFFFFFFull - 100);
    log.Open(clock_, dir_ / "debug.txt");
    log.Write("before wrap");
    clock_.Advance(310);
    log.Write("after wrap");
    clock_.Advance(10);
    log.Write("ten ms later");
    const std::string text = ReadFile(dir_ / "debug.txt");
    EXPECT_NE(text.find("\n0.31,after wrap,0:0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n0.01,ten ms later,0:0\n"), std::string::npos) << text;
}

TEST_F(TraceLogTest, FallsBackWhenThePrimaryPlaceCannotBeWritten) {
    TraceLog log;
    log.Open(clock_, dir_ / "missing-dir" / "debug.txt", dir_ / "state" / "..." / "x");
    EXPECT_FALSE(log.IsOpen());
    log.Write("lost without a report");

    log.Open(clock_, dir_ / "missing-dir" / "debug.txt", dir_ / "debug.txt");
    ASSERT_TRUE(log.IsOpen());
    EXPECT_EQ(log.Path(), dir_ / "debug.txt");
    log.Write("kept");
    EXPECT_EQ(ReadFile(dir_ / "debug.txt"), "0.00,kept,0:0\n");
}

TEST_F(TraceLogTest, LinesAfterCloseAreDropped) {
    TraceLog log;
    log.Open(clock_, dir_ / "debug.txt");
    log.Write("one");
    log.Close();
    log.Write("two");
    EXPECT_EQ(ReadFile(dir_ / "debug.txt"), "0.00,one,0:0\n");
}

TEST(TraceLogFormatTest, SecondsHaveTwoDecimalsRoundedHalfUp) {
    struct Case {
        std::uint64_t ms;
        const char* text;
    } const cases[] = {
        {0, "0.00"},      {4, "0.00"},      {5, "0.01"},
        {310, "0.31"},    {999, "1.00"},    {1'005, "1.01"},
        {61'234, "61.23"}, {4'294'967'295ull, "4294967.30"},
        {400'000'000'123ull, "400000000.12"},
    };
    for (const auto& c : cases) EXPECT_EQ(TraceLog::FormatSeconds(c.ms), c.text) << c.ms;
}

}  // namespace
}  // namespace kx
