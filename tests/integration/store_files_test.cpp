// The hive files on disk: a damaged file is refused and left exactly as it
// was, and what the store creates is private to the user.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "integration/child_process.h"
#include "support/registry_helpers.h"
#include "platform/common/registry_text.h"
#include "platform/linux/file_registry.h"
#include "support/scratch_directory.h"

namespace kx {
namespace {

using test::ReadValue;
using test::PutValue;

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

unsigned ModeOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return 0;
    return static_cast<unsigned>(info.st_mode & 07777);
}

std::int64_t ModifiedNs(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

// Sets the process's umask for one scope.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(old_); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t old_;
};

TEST(StoreFilesTest, DamagedHiveIsRefusedNamingFileAndLineAndLeftUntouched) {
    test::ScratchDirectory dir;
    const std::string path = dir.path() + "/HKEY_LOCAL_MACHINE.reg";
    const std::string damaged =
        "KestrixRegistry 1\n"
        "; HKEY_LOCAL_MACHINE\n"
        "\n"
        "[Software\\Kestrix Inc.\\General\\Player]\n"
        "\"Username\"=sz(50):\"abc\"\n"
        "\n"
        "\"Password\" sz(50):\"\xff\x00secret\"\n";
    WriteFile(path, damaged);
    const std::int64_t modified = ModifiedNs(path);

    FileRegistry reg(dir.path(), DamageReport::Silent);
    EXPECT_EQ(ReadValue(reg, "Software\\Kestrix Inc.\\General\\Player", "Username").status, kErrorBadDatabase);
    EXPECT_EQ(reg.LastError(), path + ":7: expected '=' after value name");
    EXPECT_EQ(PutValue(reg, "Software\\Kestrix Inc.\\General\\Player", "Username", "x"), kErrorBadDatabase);
    EXPECT_EQ(reg.DeleteKeyTree(kHKeyLocalMachine, "Software"), kErrorBadDatabase);
    UniqueRegKey key(reg);
    EXPECT_EQ(reg.CreateKey(kHKeyLocalMachine, "Other", RegAccess::Write, key.put()), kErrorBadDatabase);
    EXPECT_EQ(ReadFile(path), damaged);
    EXPECT_EQ(ModifiedNs(path), modified);
}

TEST(StoreFilesTest, EveryTruncationOfAHiveIsReadOrRefusedButNeverOverwritten) {
    test::ScratchDirectory dir;
    const std::string path = dir.path() + "/HKEY_LOCAL_MACHINE.reg";
    {
        FileRegistry reg(dir.path());
        ASSERT_EQ(PutValue(reg, "Software\\Kestrix Inc.\\General\\Player", "Username", "abc\0", RegType::Sz),
                  kErrorSuccess);
        ASSERT_EQ(PutValue(reg, "Software\\Kestrix Inc.\\Menu\\Tips", "Welcome", std::string("1\0", 2), RegType::Sz),
                  kErrorSuccess);
        ASSERT_EQ(PutValue(reg, "Software\\Kestrix Inc.", "Blob", "\x01\x02\xff"), kErrorSuccess);
    }
    const std::string whole = ReadFile(path);
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const std::string cut = whole.substr(0, length);
        WriteFile(path, cut);
        FileRegistry reg(dir.path(), DamageReport::Silent);
        const long status = PutValue(reg, "Software\\Kestrix Inc.", "Added", "x");
        if (status == kErrorSuccess) {
            // Cut at a line boundary: the text was read and rewritten whole.
            EXPECT_FALSE(ParseHiveText(cut).error) << length;
            continue;
        }
        ASSERT_EQ(status, kErrorBadDatabase) << length;
        EXPECT_EQ(reg.LastError().rfind(path + ":", 0), 0u) << reg.LastError();
        EXPECT_EQ(ReadFile(path), cut) << length;
    }
}

TEST(StoreFilesTest, KxregNamesTheDamagedFileAndLine) {
    test::ScratchDirectory dir;
    const std::string path = dir.path() + "/HKEY_LOCAL_MACHINE.reg";
    const std::string damaged = "KestrixRegistry 1\n[K]\n\"V\"=sz(1):\"toolong\"\n";
    WriteFile(path, damaged);
    const std::string errors = dir.path() + "/stderr.txt";
    test::ChildProcess tool([&] {
        const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 2);
        ::execl(KXREG_PATH, "kxreg", "--dir", dir.path().c_str(), "add", "HKLM\\K", "/v", "V", "/d", "x", "/f",
                static_cast<char*>(nullptr));
        return 127;
    });
    EXPECT_TRUE(tool.ExitedWith(1));
    EXPECT_EQ(ReadFile(errors),
              "ERROR: The configuration registry database is corrupt.\n" + path +
                  ":3: text is longer than its declared size\n");
    EXPECT_EQ(ReadFile(path), damaged);
}

TEST(StoreFilesTest, FilesArePrivateToTheUserWhateverTheUmask) {
    test::ScratchDirectory dir;
    const std::string store = dir.path() + "/kestrix/registry";
    ::mkdir((dir.path() + "/kestrix").c_str(), 0755);
    ScopedUmask open_umask(0);
    // A temporary file left by a crashed writer with a wider mode does not leak it.
    ::mkdir(store.c_str(), 0700);
    WriteFile(store + "/HKEY_LOCAL_MACHINE.reg.tmp", "stale");
    ::chmod((store + "/HKEY_LOCAL_MACHINE.reg.tmp").c_str(), 0666);

    FileRegistry reg(store);
    ASSERT_EQ(PutValue(reg, "K", "V", "x"), kErrorSuccess);
    UniqueRegKey key(reg);
    ASSERT_EQ(reg.CreateKey(kHKeyClassesRoot, "CLSID", RegAccess::Write, key.put()), kErrorSuccess);
    EXPECT_EQ(ModeOf(store + "/HKEY_LOCAL_MACHINE.reg"), 0600u);
    EXPECT_EQ(ModeOf(store + "/HKEY_LOCAL_MACHINE.lock"), 0600u);
    EXPECT_EQ(ModeOf(store + "/HKEY_CLASSES_ROOT.reg"), 0600u);
    EXPECT_EQ(ModeOf(store + "/HKEY_CLASSES_ROOT.lock"), 0600u);

    FileRegistry fresh(dir.path() + "/new/registry");
    ASSERT_EQ(PutValue(fresh, "K", "V", "x"), kErrorSuccess);
    EXPECT_EQ(ModeOf(dir.path() + "/new"), 0700u);
    EXPECT_EQ(ModeOf(dir.path() + "/new/registry"), 0700u);
    EXPECT_EQ(ModeOf(dir.path() + "/new/registry/HKEY_LOCAL_MACHINE.reg"), 0600u);
}

}  // namespace
}  // namespace kx
