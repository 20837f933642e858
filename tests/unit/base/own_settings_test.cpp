#include "base/own_settings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "account/user_info.h"
#include "base/registry_paths.h"
#include "net/service_interface.h"
#include "net/version_report.h"
#include "platform/common/memory_registry.h"
#include "support/registry_helpers.h"

namespace kx {
namespace {

using test::Sz;

struct Seed {
    RegKeyHandle root;
    std::string data;
};

// Reads one of the console's own values through the reader.
std::optional<std::string> ReadOwn(Registry& registry, std::uint32_t capacity, long* status) {
    OwnSettingsReader reader(registry, kPlayerKey);
    std::string buffer(capacity, '#');
    std::uint32_t size = capacity;
    *status = reader.QueryValue("PlaySounds", nullptr, reinterpret_cast<std::uint8_t*>(buffer.data()), &size);
    if (*status != kErrorSuccess) return std::nullopt;
    return buffer.substr(0, size);
}

TEST(OwnSettingsTest, TheUsersValueWinsAndTheMachinesIsTheFallback) {
    struct Case {
        const char* what;
        std::vector<Seed> seeds;
        long status;
        std::optional<std::string> read;
    };
    const std::vector<Case> cases = {
        {"only the machine's", {{kHKeyLocalMachine, Sz("1")}}, kErrorSuccess, Sz("1")},
        {"only the user's", {{kHKeyCurrentUser, Sz("0")}}, kErrorSuccess, Sz("0")},
        {"both", {{kHKeyLocalMachine, Sz("1")}, {kHKeyCurrentUser, Sz("0")}}, kErrorSuccess, Sz("0")},
        {"neither", {}, kErrorFileNotFound, std::nullopt},
        // Too long in the user's copy: that copy still decides.
        {"user's too long", {{kHKeyLocalMachine, Sz("1")}, {kHKeyCurrentUser, Sz("long")}}, kErrorMoreData,
         std::nullopt},
    };
    for (const Case& c : cases) {
        MemoryRegistry registry;
        for (const Seed& seed : c.seeds) test::SetValue(registry, kPlayerKey, "PlaySounds", seed.data, RegType::Sz, seed.root);
        long status = 0;
        EXPECT_EQ(ReadOwn(registry, 2, &status), c.read) << c.what;
        EXPECT_EQ(status, c.status) << c.what;
        EXPECT_EQ(registry.OpenKeyCount(), 0u) << c.what;
    }
}

TEST(OwnSettingsTest, TheUsersKeyWithoutTheValueFallsBackValueByValue) {
    MemoryRegistry registry;
    test::SetValue(registry, kPlayerKey, "Username", Sz("machine"), RegType::Sz, kHKeyLocalMachine);
    test::SetValue(registry, kPlayerKey, "PlaySounds", Sz("1"), RegType::Sz, kHKeyLocalMachine);
    test::SetValue(registry, kPlayerKey, "Username", Sz("user"), RegType::Sz, kHKeyCurrentUser);
    KXUserInfo info;
    info.LoadCredentials(registry);
    info.LoadSoundOption(registry);
    EXPECT_EQ(FieldText(info.szUserName), "user");
    EXPECT_EQ(info.bPlaySounds, 1);
}

TEST(OwnSettingsTest, SavesGoToTheUserAlone) {
    MemoryRegistry registry;
    KXUserInfo info;
    CopyToField(info.szUserName, "player");
    info.bPlaySounds = 1;
    info.SaveCredentials(registry);
    info.SaveSoundOption(registry);
    for (const char* name : {"Username", "Password", "SavePWD", "PlaySounds"}) {
        EXPECT_TRUE(test::GetValue(registry, kPlayerKey, name, kHKeyCurrentUser).has_value()) << name;
    }
    EXPECT_EQ(registry.tree(Hive::LocalMachine), RegistryTree()) << "nothing is written for the machine";
}

TEST(OwnSettingsTest, AUserCopyThatCannotBeWrittenSavesNothing) {
    MemoryRegistry registry;
    registry.FailWrites(kErrorAccessDenied);
    KXUserInfo info;
    info.SaveCredentials(registry);
    registry.FailWrites(kErrorSuccess);
    EXPECT_EQ(registry.tree(Hive::CurrentUser), RegistryTree());
    EXPECT_EQ(registry.tree(Hive::LocalMachine), RegistryTree());
}

// What installers write is read from the machine alone, whatever the user's copy holds.
TEST(OwnSettingsTest, InstallerValuesIgnoreTheUsersCopy) {
    struct Case {
        RegKeyHandle root;
        std::string host;
        bool client_reported;
    };
    const std::vector<Case> cases = {
        {kHKeyLocalMachine, "machine.example", true},
        {kHKeyCurrentUser, ServiceHost(*std::make_unique<MemoryRegistry>()), false},
    };
    for (const Case& c : cases) {
        MemoryRegistry registry;
        test::SetValue(registry, kGeneralKey, "ServiceHost", Sz("machine.example"), RegType::Sz, c.root);
        test::SetValue(registry, std::string(kClientsKey) + "\\Word Maze", "VERSION", Sz("1.5"), RegType::Sz,
                       c.root);
        EXPECT_EQ(ServiceHost(registry), c.host);
        std::string report;
        BuildVersionReport(registry, report);
        EXPECT_EQ(report.find("Word") != std::string::npos, c.client_reported) << report;
    }
}

}  // namespace
}  // namespace kx
