// The state records on Wine's files: written whole, read back, renamed only
// to a free name, and kept in the user's local application data.

#include "platform/win32/win_state_store.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/scratch_directory.h"

namespace kx {
namespace {

std::string ReadBack(WinStateStore& store, std::string_view name) {
    std::string bytes;
    const StateResult read = store.Read(name, &bytes);
    EXPECT_EQ(read.status, StateStatus::Ok) << read.error;
    return bytes;
}

TEST(WinStateStoreTest, ARecordReadsBackIsReplacedAndIsRemoved) {
    test::ScratchDirectory dir;
    WinStateStore store(dir.path() + "\\Kestrix");
    std::string bytes;
    EXPECT_EQ(store.Read("pending-score", &bytes).status, StateStatus::Missing);
    EXPECT_EQ(store.Remove("pending-score").status, StateStatus::Missing);

    ASSERT_TRUE(store.Write("pending-score", std::string("one\0two\r\n", 9)).ok());
    EXPECT_EQ(ReadBack(store, "pending-score"), std::string("one\0two\r\n", 9));
    ASSERT_TRUE(store.Write("pending-score", "second").ok());
    EXPECT_EQ(ReadBack(store, "pending-score"), "second");

    ASSERT_TRUE(store.Remove("pending-score").ok());
    EXPECT_EQ(store.Read("pending-score", &bytes).status, StateStatus::Missing);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() + "\\Kestrix"));
}

TEST(WinStateStoreTest, AStaleTemporaryFileIsNoObstacle) {
    test::ScratchDirectory dir;
    WinStateStore store(dir.path());
    std::ofstream(dir.path() + "\\.pending-score.tmp") << "left by a killed writer";
    ASSERT_TRUE(store.Write("pending-score", "new").ok());
    EXPECT_EQ(ReadBack(store, "pending-score"), "new");
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "\\.pending-score.tmp"));
}

TEST(WinStateStoreTest, ARenameNeverReplacesARecord) {
    test::ScratchDirectory dir;
    WinStateStore store(dir.path());
    ASSERT_TRUE(store.Write("a", "first").ok());
    ASSERT_TRUE(store.Write("b", "second").ok());

    EXPECT_EQ(store.Rename("a", "b").status, StateStatus::Exists);
    EXPECT_EQ(ReadBack(store, "b"), "second");
    EXPECT_EQ(store.Rename("missing", "c").status, StateStatus::Missing);
    ASSERT_TRUE(store.Rename("a", "c").ok());
    EXPECT_EQ(ReadBack(store, "c"), "first");
}

TEST(WinStateStoreTest, NamesOutsideTheRuleAndOversizedRecordsAreRefused) {
    test::ScratchDirectory dir;
    WinStateStore store(dir.path());
    for (const char* name : {"", ".hidden", "..\\escape", "a\\b", "c:x", "with blank"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(store.Write(name, "x").status, StateStatus::Failed);
        std::string bytes;
        EXPECT_EQ(store.Read(name, &bytes).status, StateStatus::Failed);
    }
    EXPECT_EQ(store.Write("big", std::string(kMaxStateRecordBytes + 1, 'x')).status,
              StateStatus::Failed);
    std::ofstream(dir.path() + "\\big", std::ios::binary)
        << std::string(kMaxStateRecordBytes + 1, 'x');
    std::string bytes;
    EXPECT_EQ(store.Read("big", &bytes).status, StateStatus::Failed);
}

TEST(WinStateStoreTest, TheUsersFolderIsKestrixInLocalApplicationData) {
    char local[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableA("LOCALAPPDATA", local, sizeof local), 0u);
    EXPECT_EQ(std::filesystem::path(UserStateDirectory()),
              std::filesystem::path(std::string(local) + "\\Kestrix"));
    WinStateStore store;
    ASSERT_TRUE(store.Write("kx-state-test", "x").ok());
    EXPECT_TRUE(std::filesystem::exists(std::string(local) + "\\Kestrix\\kx-state-test"));
    EXPECT_TRUE(store.Remove("kx-state-test").ok());
}

}  // namespace
}  // namespace kx
