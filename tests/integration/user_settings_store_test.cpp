// The player settings and the version report over the real Linux store: what
// one run saves, the next run (a new store object, as a new process) reads.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "account/user_info.h"
#include "base/registry_paths.h"
#include "net/version_report.h"
#include "platform/linux/file_registry.h"
#include "support/registry_helpers.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

class UserSettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kx_settings_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string HiveText() const {
        std::ifstream in(dir_ / "HKEY_LOCAL_MACHINE.reg", std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir_;
};

TEST_F(UserSettingsStoreTest, SettingsSavedByOneRunAreLoadedByTheNext) {
    {
        FileRegistry registry(dir_.string());
        KXUserInfo info;
        CopyToField(info.szUserName, "Ann Lee");
        CopyToField(info.szPassword, "p=w&rd");
        info.bSavePassword = 1;
        info.bPlaySounds = 1;
        info.SaveCredentials(registry);
        info.SaveSoundOption(registry);
    }

    FileRegistry registry(dir_.string());
    KXUserInfo info;
    info.LoadCredentials(registry);
    info.LoadSoundOption(registry);
    EXPECT_STREQ(info.szUserName, "Ann Lee");
    EXPECT_STREQ(info.szPassword, "p=w&rd");
    EXPECT_EQ(info.bSavePassword, 1);
    EXPECT_EQ(info.bPlaySounds, 1);
    EXPECT_EQ(test::GetValue(registry, kPlayerKey, "username", kHKeyCurrentUser)->size(), kUserTextSize);
    EXPECT_EQ(test::GetValue(registry, kPlayerKey, "savepwd", kHKeyCurrentUser), test::Sz("1"));
}

TEST_F(UserSettingsStoreTest, ForgettingThePasswordStoresAnEmptyValue) {
    FileRegistry registry(dir_.string());
    KXUserInfo info;
    CopyToField(info.szUserName, "Bo");
    CopyToField(info.szPassword, "secret");
    info.bSavePassword = 1;
    info.SaveCredentials(registry);
    info.bSavePassword = 0;
    info.SaveCredentials(registry);

    EXPECT_EQ(test::GetValue(registry, kPlayerKey, "Password", kHKeyCurrentUser), "");
    EXPECT_EQ(HiveText().find("secret"), std::string::npos) << HiveText();

    FileRegistry next(dir_.string());
    KXUserInfo next_run;
    CopyToField(next_run.szPassword, "typed");
    next_run.LoadCredentials(next);
    EXPECT_EQ(next_run.bSavePassword, 0);
    EXPECT_STREQ(next_run.szPassword, "typed");
}

TEST_F(UserSettingsStoreTest, VersionReportReadsClientsWrittenByAnotherStoreObject) {
    {
        FileRegistry installer(dir_.string());
        test::SetValue(installer, std::string(kClientsKey) + "\\Word Maze", "VERSION",
                       test::Sz("1.5"));
    }
    FileRegistry registry(dir_.string());
    std::string report;
    BuildVersionReport(registry, report);
    EXPECT_EQ(report, "CONSOLEVER=2%2E01&CONSOLEBUILD=2%2E01%2E0000&Word+Ma%7Ae=1%2E5");
}

}  // namespace
}  // namespace kx
