// The state records on real files: written whole or not at all, readable by
// the user alone, and never through a symbolic link.

#include "platform/linux/file_state_store.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "integration/child_process.h"
#include "support/scratch_directory.h"

namespace kx {
namespace {

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string ReadBack(FileStateStore& store, std::string_view name) {
    std::string bytes;
    const StateResult read = store.Read(name, &bytes);
    EXPECT_EQ(read.status, StateStatus::Ok) << read.error;
    return bytes;
}

TEST(FileStateStoreTest, ARecordReadsBackAndIsRemoved) {
    test::ScratchDirectory dir;
    FileStateStore store(dir.path() + "/state/kestrix");
    std::string bytes;
    EXPECT_EQ(store.Read("pending-score", &bytes).status, StateStatus::Missing);
    EXPECT_EQ(store.Remove("pending-score").status, StateStatus::Missing);

    ASSERT_TRUE(store.Write("pending-score", std::string("one\0two\n", 8)).ok());
    EXPECT_EQ(ReadBack(store, "pending-score"), std::string("one\0two\n", 8));
    ASSERT_TRUE(store.Write("pending-score", "second").ok());
    EXPECT_EQ(ReadBack(store, "pending-score"), "second");

    ASSERT_TRUE(store.Remove("pending-score").ok());
    EXPECT_EQ(store.Read("pending-score", &bytes).status, StateStatus::Missing);
    // Nothing but the records is left in the folder.
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() + "/state/kestrix"));
}

TEST(FileStateStoreTest, TheRecordAndItsFolderAreTheUsersAlone) {
    test::ScratchDirectory dir;
    const std::string folder = dir.path() + "/kestrix";
    FileStateStore store(folder);
    const mode_t old_mask = ::umask(0);
    const StateResult written = store.Write("pending-score", "x");
    ::umask(old_mask);
    ASSERT_TRUE(written.ok()) << written.error;
    struct stat info {};
    ASSERT_EQ(::stat((folder + "/pending-score").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
}

TEST(FileStateStoreTest, AWriterKilledBeforeTheRenameLeavesTheOldRecord) {
    const struct {
        StateWriteStep step;
        const char* survives;
    } cases[] = {
        {StateWriteStep::TempWritten, "old"},
        {StateWriteStep::TempSynced, "old"},
        {StateWriteStep::Renamed, "new"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.step));
        test::ScratchDirectory dir;
        {
            FileStateStore store(dir.path());
            ASSERT_TRUE(store.Write("pending-score", "old").ok());
        }
        test::ChildProcess writer([&] {
            FileStateStore store(dir.path());
            store.SetWriteHook([&](StateWriteStep step) {
                if (step == c.step) ::raise(SIGKILL);
            });
            store.Write("pending-score", "new");
            return 0;
        });
        ASSERT_TRUE(writer.KilledBy(SIGKILL));

        FileStateStore after(dir.path());
        EXPECT_EQ(ReadBack(after, "pending-score"), c.survives);
        // The dead writer's temporary file is no obstacle to the next write.
        ASSERT_TRUE(after.Write("pending-score", "next").ok());
        EXPECT_EQ(ReadBack(after, "pending-score"), "next");
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            ++files;
        }
        EXPECT_EQ(files, 1u);
    }
}

TEST(FileStateStoreTest, ASymbolicLinkAtTheNameIsNeitherFollowedNorRead) {
    test::ScratchDirectory dir;
    const std::string folder = dir.path() + "/kestrix";
    FileStateStore store(folder);
    ASSERT_TRUE(store.Write("other", "seed").ok());
    const std::string outside = dir.path() + "/outside";
    std::ofstream(outside) << "secret";
    ASSERT_EQ(::symlink(outside.c_str(), (folder + "/pending-score").c_str()), 0);

    std::string bytes = "untouched";
    EXPECT_EQ(store.Read("pending-score", &bytes).status, StateStatus::Failed);
    EXPECT_EQ(bytes, "untouched");

    ASSERT_TRUE(store.Write("pending-score", "record").ok());
    EXPECT_EQ(Slurp(outside), "secret");
    EXPECT_FALSE(std::filesystem::is_symlink(folder + "/pending-score"));
    EXPECT_EQ(ReadBack(store, "pending-score"), "record");

    // A link planted at the temporary file's name is taken away, not written through.
    ASSERT_EQ(::symlink(outside.c_str(), (folder + "/.pending-score.tmp").c_str()), 0);
    ASSERT_TRUE(store.Write("pending-score", "again").ok());
    EXPECT_EQ(Slurp(outside), "secret");
    EXPECT_EQ(ReadBack(store, "pending-score"), "again");
}

TEST(FileStateStoreTest, ARenameNeverReplacesARecord) {
    test::ScratchDirectory dir;
    FileStateStore store(dir.path());
    ASSERT_TRUE(store.Write("a", "first").ok());
    ASSERT_TRUE(store.Write("b", "second").ok());

    EXPECT_EQ(store.Rename("a", "b").status, StateStatus::Exists);
    EXPECT_EQ(ReadBack(store, "a"), "first");
    EXPECT_EQ(ReadBack(store, "b"), "second");
    EXPECT_EQ(store.Rename("missing", "c").status, StateStatus::Missing);

    ASSERT_TRUE(store.Rename("a", "c").ok());
    EXPECT_EQ(ReadBack(store, "c"), "first");
    std::string bytes;
    EXPECT_EQ(store.Read("a", &bytes).status, StateStatus::Missing);
}

TEST(FileStateStoreTest, NamesOutsideTheRuleAndOversizedRecordsAreRefused) {
    test::ScratchDirectory dir;
    FileStateStore store(dir.path() + "/kestrix");
    const std::string names[] = {"", ".hidden", "../escape", "a/b", "with blank",
                                 std::string(kMaxStateNameLength + 1, 'n')};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(store.Write(name, "x").status, StateStatus::Failed);
        std::string bytes;
        EXPECT_EQ(store.Read(name, &bytes).status, StateStatus::Failed);
        EXPECT_EQ(store.Remove(name).status, StateStatus::Failed);
    }
    EXPECT_EQ(store.Write("big", std::string(kMaxStateRecordBytes + 1, 'x')).status,
              StateStatus::Failed);
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/escape"));

    // A record grown past the bound by someone else is refused on reading.
    ASSERT_TRUE(store.Write("big", "small").ok());
    std::ofstream(dir.path() + "/kestrix/big", std::ios::binary)
        << std::string(kMaxStateRecordBytes + 1, 'x');
    std::string bytes;
    EXPECT_EQ(store.Read("big", &bytes).status, StateStatus::Failed);
}

TEST(FileStateStoreTest, TheUsersFolderFollowsTheStateBaseDirectory) {
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string restore = saved != nullptr ? saved : "";
    ::setenv("XDG_STATE_HOME", "/somewhere/state", 1);
    EXPECT_EQ(UserStateDirectory(), "/somewhere/state/kestrix");
    ::setenv("XDG_STATE_HOME", "relative", 1);
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        EXPECT_EQ(UserStateDirectory(), std::string(home) + "/.local/state/kestrix");
    }
    if (saved != nullptr) {
        ::setenv("XDG_STATE_HOME", restore.c_str(), 1);
    } else {
        ::unsetenv("XDG_STATE_HOME");
    }
}

}  // namespace
}  // namespace kx
