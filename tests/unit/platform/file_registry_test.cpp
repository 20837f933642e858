// What the file-backed registry adds to the common contract: persistence,
// sharing a hive with other instances, and refusing damaged files.

#include "platform/linux/file_registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "support/scratch_directory.h"

namespace kx {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

long SetSz(Registry& reg, std::string_view path, std::string_view name, const std::string& bytes) {
    UniqueRegKey key(reg);
    const long status = reg.CreateKey(kHKeyLocalMachine, path, RegAccess::Write, key.put());
    if (status != kErrorSuccess) return status;
    return reg.SetValue(key.get(), name, RegType::Sz, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                        static_cast<std::uint32_t>(bytes.size()));
}

// The value's bytes, or the error code as text.
std::string GetValue(Registry& reg, std::string_view path, std::string_view name) {
    UniqueRegKey key(reg);
    long status = reg.OpenKey(kHKeyLocalMachine, path, RegAccess::Read, key.put());
    if (status != kErrorSuccess) return "error " + std::to_string(status);
    std::uint8_t buffer[256];
    std::uint32_t size = sizeof buffer;
    status = reg.QueryValue(key.get(), name, nullptr, buffer, &size);
    if (status != kErrorSuccess) return "error " + std::to_string(status);
    return std::string(reinterpret_cast<char*>(buffer), size);
}

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class FileRegistryTest : public ::testing::Test {
protected:
    test::ScratchDirectory scratch_;
    std::string dir_ = scratch_.path();
    std::string hklm_ = dir_ + "/HKEY_LOCAL_MACHINE.reg";
};

TEST_F(FileRegistryTest, KeepsEachHiveInItsOwnTextFile) {
    {
        FileRegistry reg(dir_);
        ASSERT_EQ(SetSz(reg, "Software\\Kestrix Inc.\\General\\Player", "Username", std::string("abc\0", 4)),
                  kErrorSuccess);
        UniqueRegKey clsid(reg);
        ASSERT_EQ(reg.CreateKey(kHKeyClassesRoot, "CLSID", RegAccess::Write, clsid.put()), kErrorSuccess);
        EXPECT_EQ(reg.HivePath(Hive::LocalMachine), hklm_);
    }
    EXPECT_NE(ReadFile(hklm_).find("\"Username\"=sz(4):\"abc\"\n"), std::string::npos) << ReadFile(hklm_);
    EXPECT_EQ(ReadFile(dir_ + "/HKEY_CLASSES_ROOT.reg"), "KestrixRegistry 1\n; HKEY_CLASSES_ROOT\n\n[CLSID]\n");

    FileRegistry later(dir_);
    EXPECT_EQ(GetValue(later, "software\\kestrix inc.\\general\\player", "USERNAME"), std::string("abc\0", 4));
}

TEST_F(FileRegistryTest, InstancesSeeEachOthersWritesAndLoseNone) {
    FileRegistry first(dir_);
    FileRegistry second(dir_);
    for (int i = 0; i < 20; ++i) {
        FileRegistry& writer = i % 2 == 0 ? first : second;
        FileRegistry& reader = i % 2 == 0 ? second : first;
        const std::string value = "v" + std::to_string(i);
        ASSERT_EQ(SetSz(writer, "K", value, value), kErrorSuccess);
        // Same size, written within the same clock tick: still seen.
        ASSERT_EQ(SetSz(writer, "K", "Last", value), kErrorSuccess);
        ASSERT_EQ(GetValue(reader, "K", "Last"), value);
    }
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(GetValue(first, "K", "v" + std::to_string(i)), "v" + std::to_string(i));
    }
    // A handle opened through one instance sees a deletion made through the other.
    UniqueRegKey key(first);
    ASSERT_EQ(first.OpenKey(kHKeyLocalMachine, "K", RegAccess::Read, key.put()), kErrorSuccess);
    ASSERT_EQ(second.DeleteKeyTree(kHKeyLocalMachine, "K"), kErrorSuccess);
    std::uint32_t size = 0;
    EXPECT_EQ(first.QueryValue(key.get(), "Last", nullptr, nullptr, &size), kErrorKeyDeleted);
}

TEST_F(FileRegistryTest, PicksUpAnEditOfTheFile) {
    FileRegistry reg(dir_);
    ASSERT_EQ(SetSz(reg, "K", "V", "old"), kErrorSuccess);
    ASSERT_EQ(GetValue(reg, "K", "V"), "old");
    WriteFile(hklm_, "KestrixRegistry 1\n[K]\n\"V\"=sz(3):\"new\"\n");
    EXPECT_EQ(GetValue(reg, "K", "V"), "new");
    std::filesystem::remove(hklm_);
    EXPECT_EQ(GetValue(reg, "K", "V"), "error " + std::to_string(kErrorFileNotFound));
}

TEST_F(FileRegistryTest, RefusesADamagedFileAndNeverOverwritesIt) {
    const std::string damaged = "KestrixRegistry 1\n[K]\n\"V\"=sz(3):\"new\"\n\"W\" hex:00\n";
    WriteFile(hklm_, damaged);
    FileRegistry reg(dir_, DamageReport::Silent);
    const std::string expected_error = hklm_ + ":4: expected '=' after value name";

    EXPECT_EQ(GetValue(reg, "K", "V"), "error " + std::to_string(kErrorBadDatabase));
    EXPECT_EQ(reg.LastError(), expected_error);
    EXPECT_EQ(SetSz(reg, "K", "V", "x"), kErrorBadDatabase);
    EXPECT_EQ(reg.DeleteKeyTree(kHKeyLocalMachine, "K"), kErrorBadDatabase);
    EXPECT_EQ(reg.LastError(), expected_error);
    EXPECT_EQ(ReadFile(hklm_), damaged);

    // The other hive is unaffected.
    UniqueRegKey classes(reg);
    EXPECT_EQ(reg.CreateKey(kHKeyClassesRoot, "CLSID", RegAccess::Write, classes.put()), kErrorSuccess);

    // Once the file is mended the hive works again.
    WriteFile(hklm_, "KestrixRegistry 1\n[K]\n\"V\"=sz(4):\"ok\"\n");
    EXPECT_EQ(GetValue(reg, "K", "V"), std::string("ok\0\0", 4));
}

TEST_F(FileRegistryTest, CreatesItsDirectoryOnlyWhenWriting) {
    const std::string nested = dir_ + "/config/kestrix/registry";
    FileRegistry reg(nested);
    EXPECT_EQ(GetValue(reg, "K", "V"), "error " + std::to_string(kErrorFileNotFound));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/config"));

    ASSERT_EQ(SetSz(reg, "K", "V", "x"), kErrorSuccess);
    for (const std::string& made : {dir_ + "/config", dir_ + "/config/kestrix", nested}) {
        struct stat info {};
        ASSERT_EQ(::stat(made.c_str(), &info), 0) << made;
        EXPECT_EQ(info.st_mode & 0777, 0700u) << made;
    }
}

TEST_F(FileRegistryTest, ReportsAStoreThatCannotBeWritten) {
    WriteFile(dir_ + "/blocker", "a file where a directory should be");
    FileRegistry reg(dir_ + "/blocker/registry");
    EXPECT_EQ(SetSz(reg, "K", "V", "x"), kErrorRegistryIoFailed);
    EXPECT_NE(reg.LastError().find(dir_ + "/blocker"), std::string::npos) << reg.LastError();
}

TEST_F(FileRegistryTest, WritesOnlyRealChangesThroughTheAtomicSteps) {
    FileRegistry reg(dir_);
    ASSERT_EQ(SetSz(reg, "K", "V", "old"), kErrorSuccess);
    std::vector<WriteStep> steps;
    reg.SetWriteHook([&](WriteStep step) { steps.push_back(step); });
    ASSERT_EQ(SetSz(reg, "K", "V", "x"), kErrorSuccess);
    EXPECT_EQ(steps, (std::vector<WriteStep>{WriteStep::TempWritten, WriteStep::TempSynced, WriteStep::Renamed,
                                             WriteStep::DirectorySynced}));
    steps.clear();
    ASSERT_EQ(SetSz(reg, "k", "v", "x"), kErrorSuccess);
    EXPECT_TRUE(steps.empty()) << "an unchanged hive is not rewritten";
    EXPECT_FALSE(std::filesystem::exists(hklm_ + ".tmp"));
}

TEST(FileRegistryDefaultDirectoryTest, FollowsTheConfigHomeConvention) {
    struct Case {
        const char* xdg;
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        {"/xdg", "/home/p", "/xdg/kestrix/registry"},
        {"", "/home/p", "/home/p/.config/kestrix/registry"},
        {"relative/dir", "/home/p", "/home/p/.config/kestrix/registry"},
        {nullptr, "/home/q", "/home/q/.config/kestrix/registry"},
    };
    for (const Case& c : cases) {
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(FileRegistry::DefaultDirectory(), c.expected);
    }
}

}  // namespace
}  // namespace kx
