#include "net/upload.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/captured_debug_output.h"
#include "support/scripted_inet_api.h"

namespace kx {
namespace {

namespace fs = std::filesystem;
using test::Behavior;
using test::InetOp;

constexpr std::uint32_t kSomeError = 12029;

std::string Bytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kx_upload_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string WriteFile(const std::string& contents) {
        const fs::path path = dir_ / "game.log";
        std::ofstream(path, std::ios::binary) << contents;
        return path.string();
    }

    bool Upload(const std::string& local_file) {
        return UploadFile(inet_, "games.example", "logs/42/7.log", local_file);
    }

    fs::path dir_;
    test::ScriptedInetApi inet_;
    test::CapturedDebugOutput debug_;
};

TEST_F(UploadTest, SendsTheFileInChunksOf1024AfterAnnouncingItsSize) {
    struct Case {
        std::size_t size;
        std::vector<std::size_t> writes;
    } const cases[] = {
        {0, {0}}, {1, {1}}, {1500, {1024, 476}}, {1024, {1024, 0}}, {2048, {1024, 1024, 0}},
    };
    for (const auto& c : cases) {
        test::ScriptedInetApi inet;
        const std::string contents = Bytes(c.size);
        ASSERT_TRUE(UploadFile(inet, "games.example", "logs/42/7.log", WriteFile(contents)));

        const test::InetCallLog log = inet.Log();
        ASSERT_EQ(log.announced_sizes,
                  std::vector<std::uint32_t>{static_cast<std::uint32_t>(c.size)});
        std::vector<std::size_t> sizes;
        std::string sent;
        for (const auto& chunk : log.written_chunks) {
            sizes.push_back(chunk.size());
            sent += chunk;
        }
        EXPECT_EQ(sizes, c.writes) << c.size;
        EXPECT_EQ(sent, contents) << c.size;
        EXPECT_EQ(inet.CallCount(InetOp::EndRequest), 1u);
        EXPECT_EQ(inet.OpenHandleCount(), 0u);
    }
    EXPECT_TRUE(debug_.Pieces().empty());
}

TEST_F(UploadTest, PutsOverAPlainSynchronousConnection) {
    ASSERT_TRUE(Upload(WriteFile("log")));
    const test::InetCallLog log = inet_.Log();

    ASSERT_EQ(log.opens.size(), 1u);
    EXPECT_EQ(log.opens[0].agent, "HttpSendRequestEx");
    EXPECT_EQ(log.opens[0].access_type, kInternetOpenTypePreconfig);
    EXPECT_EQ(log.opens[0].flags, 0u);
    EXPECT_TRUE(log.callbacks.empty());

    ASSERT_EQ(log.connects.size(), 1u);
    const test::ConnectCall& connect = log.connects[0];
    EXPECT_EQ(connect.host, "games.example");
    EXPECT_EQ(connect.port, 80);
    EXPECT_EQ(connect.user, "");
    EXPECT_EQ(connect.password, "");
    EXPECT_EQ(connect.service, kInternetServiceHttp);
    EXPECT_EQ(connect.flags, 0u);
    EXPECT_EQ(connect.context, 0u);

    ASSERT_EQ(log.open_requests.size(), 1u);
    const test::OpenRequestCall& open = log.open_requests[0];
    EXPECT_EQ(open.connection, connect.created);
    EXPECT_EQ(open.verb, "PUT");
    EXPECT_EQ(open.path, "logs/42/7.log");
    EXPECT_EQ(open.flags, 0u);
    EXPECT_EQ(open.context, 0u);

    EXPECT_TRUE(log.sends.empty()) << "no other request, no form data";
    // The request closes first, then the connection, then the session.
    const HInternet session = connect.session;
    EXPECT_EQ(log.closed, (std::vector<HInternet>{open.created, connect.created, session}));
}

TEST_F(UploadTest, AMissingFileSendsNothing) {
    EXPECT_FALSE(Upload((dir_ / "absent.log").string()));
    EXPECT_EQ(debug_.Pieces(), (std::vector<std::string>{"Failed CreateFile", "\n"}));
    EXPECT_TRUE(inet_.Log().announced_sizes.empty());
    EXPECT_TRUE(inet_.Log().written_chunks.empty());
    EXPECT_EQ(inet_.CallCount(InetOp::EndRequest), 0u);
    EXPECT_EQ(inet_.OpenHandleCount(), 0u);
}

TEST_F(UploadTest, EachFailureIsTracedAndEndsWithEveryHandleClosed) {
    struct Case {
        InetOp failing;
        std::size_t index;
        const char* trace;  // nullptr: none
        std::vector<std::size_t> writes;
        std::size_t end_requests;
    } const cases[] = {
        {InetOp::Open, 0, "No Internet Session", {}, 0},
        {InetOp::Connect, 0, "No Internet Session", {}, 0},
        {InetOp::OpenRequest, 0, "Failed HttpOpenRequest", {}, 0},
        {InetOp::SendRequestEx, 0, "Failed HttpSendRequestEx", {}, 0},
        // A failed write still ends the request, with less than announced.
        {InetOp::Write, 1, nullptr, {1024}, 1},
        {InetOp::EndRequest, 0, "Failed HttpEndRequest", {1024, 1024, 0}, 1},
        {InetOp::CloseConnection, 0, "Failed to close Handle (hConnect)", {1024, 1024, 0}, 1},
        {InetOp::CloseSession, 0, "Failed to close Handle (hSession)", {1024, 1024, 0}, 1},
    };
    const std::string file = WriteFile(Bytes(2048));
    for (const auto& c : cases) {
        test::ScriptedInetApi inet;
        inet.ScriptNth(c.failing, c.index, Behavior::Fail(kSomeError));
        test::CapturedDebugOutput debug;

        EXPECT_FALSE(UploadFile(inet, "games.example", "logs/42/7.log", file)) << c.trace;

        const std::vector<std::string> expected_trace =
            c.trace == nullptr ? std::vector<std::string>{}
                               : std::vector<std::string>{c.trace, "\n"};
        EXPECT_EQ(debug.Pieces(), expected_trace);
        std::vector<std::size_t> sizes;
        for (const auto& chunk : inet.Log().written_chunks) sizes.push_back(chunk.size());
        EXPECT_EQ(sizes, c.writes) << c.trace;
        EXPECT_EQ(inet.CallCount(InetOp::EndRequest), c.end_requests) << c.trace;
        EXPECT_EQ(inet.OpenHandleCount(), 0u) << c.trace;
    }
}

}  // namespace
}  // namespace kx
