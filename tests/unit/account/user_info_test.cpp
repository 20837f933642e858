#include "account/user_info.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/registry_paths.h"
#include "platform/common/memory_registry.h"
#include "support/registry_helpers.h"

namespace kx {
namespace {

using test::Sz;

std::string Field50(std::string_view text) {
    std::string bytes(text);
    bytes.resize(kUserTextSize, '\0');
    return bytes;
}

std::optional<std::string> Stored(Registry& registry, std::string_view name) {
    return test::GetValue(registry, kPlayerKey, name, kHKeyCurrentUser);
}

TEST(UserInfoTest, FirstRunWithoutAKeyLeavesEverythingEmptyAndOff) {
    MemoryRegistry registry;
    KXUserInfo info;
    info.bLoggedIn = 1;
    info.LoadCredentials(registry);
    info.LoadSoundOption(registry);
    EXPECT_STREQ(info.szUserName, "");
    EXPECT_STREQ(info.szPassword, "");
    EXPECT_EQ(info.bLoggedIn, 0);
    EXPECT_EQ(info.bSavePassword, 0);
    EXPECT_EQ(info.bPlaySounds, 0);
}

TEST(UserInfoTest, SaveWritesExactBytesUnderTheWrittenNames) {
    MemoryRegistry registry;
    KXUserInfo info;
    CopyToField(info.szUserName, "Ann");
    CopyToField(info.szPassword, "secret");
    info.bSavePassword = 1;
    info.bPlaySounds = 1;
    info.SaveCredentials(registry);
    info.SaveSoundOption(registry);

    EXPECT_EQ(Stored(registry, "Username"), Field50("Ann"));
    EXPECT_EQ(Stored(registry, "Password"), Field50("secret"));
    EXPECT_EQ(Stored(registry, "SavePWD"), Sz("1"));
    EXPECT_EQ(Stored(registry, "PlaySounds"), Sz("1"));

    info.bSavePassword = 0;
    info.bPlaySounds = 0;
    info.SaveCredentials(registry);
    info.SaveSoundOption(registry);
    EXPECT_EQ(Stored(registry, "Password"), "");
    EXPECT_EQ(Stored(registry, "SavePWD"), Sz("0"));
    EXPECT_EQ(Stored(registry, "PlaySounds"), Sz("0"));
}

TEST(UserInfoTest, ValuesRoundTripThroughTheReadersSpellings) {
    MemoryRegistry registry;
    KXUserInfo saved;
    CopyToField(saved.szUserName, "Bob");
    CopyToField(saved.szPassword, "pw with spaces");
    saved.bSavePassword = 1;
    saved.bPlaySounds = 1;
    saved.SaveCredentials(registry);
    saved.SaveSoundOption(registry);

    KXUserInfo loaded;
    loaded.LoadCredentials(registry);
    loaded.LoadSoundOption(registry);
    EXPECT_STREQ(loaded.szUserName, "Bob");
    EXPECT_STREQ(loaded.szPassword, "pw with spaces");
    EXPECT_EQ(loaded.bSavePassword, 1);
    EXPECT_EQ(loaded.bPlaySounds, 1);
}

TEST(UserInfoTest, PasswordIsReadOnlyWhenRemembered) {
    struct Case {
        const char* name;
        std::optional<std::string> save_pwd;
        std::optional<std::string> password;
        int remembered;
        const char* loaded_password;
    } const cases[] = {
        {"remembered", Sz("1"), Field50("pw"), 1, "pw"},
        {"not remembered", Sz("0"), Field50("pw"), 0, "previous"},
        {"remembered but missing", Sz("1"), std::nullopt, 1, "previous"},
        {"flag missing", std::nullopt, Field50("pw"), 0, "previous"},
        {"flag too long to read", Sz("1yes"), Field50("pw"), 0, "previous"},
        {"flag without terminator", std::string("1"), Field50("pw"), 1, "pw"},
    };
    for (const auto& c : cases) {
        MemoryRegistry registry;
        test::CreateKey(registry, kPlayerKey);
        if (c.save_pwd) test::SetValue(registry, kPlayerKey, "SAVEPWD", *c.save_pwd);
        if (c.password) test::SetValue(registry, kPlayerKey, "PASSWORD", *c.password);
        KXUserInfo info;
        CopyToField(info.szPassword, "previous");
        info.LoadCredentials(registry);
        EXPECT_EQ(info.bSavePassword, c.remembered) << c.name;
        EXPECT_STREQ(info.szPassword, c.loaded_password) << c.name;
    }
}

TEST(UserInfoTest, SoundsAreOnOnlyForAValueStartingWithOne) {
    struct Case {
        std::optional<std::string> value;
        int on;
    } const cases[] = {
        {Sz("1"), 1}, {Sz("0"), 0}, {std::nullopt, 0}, {Sz("yes"), 0}, {Sz(""), 0}, {"1", 1},
    };
    for (const auto& c : cases) {
        MemoryRegistry registry;
        test::CreateKey(registry, kPlayerKey);
        if (c.value) test::SetValue(registry, kPlayerKey, "playsounds", *c.value);
        KXUserInfo info;
        info.bPlaySounds = 1;
        info.LoadSoundOption(registry);
        EXPECT_EQ(info.bPlaySounds, c.on) << (c.value ? *c.value : "missing");
    }
}

TEST(UserInfoTest, OddUserNameValuesNeverOverrunOrCorruptTheField) {
    struct Case {
        const char* name;
        std::string stored;
        const char* loaded;
    } const cases[] = {
        {"short without terminator", "Ann", "Ann"},
        {"fifty bytes without terminator", std::string(50, 'n'), "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn"},
        {"longer than the field", Sz(std::string(80, 'n')), "previous-and-longer"},
        {"embedded zero", std::string("Al\0ice", 6), "Al"},
    };
    for (const auto& c : cases) {
        MemoryRegistry registry;
        test::SetValue(registry, kPlayerKey, "Username", c.stored);
        KXUserInfo info;
        CopyToField(info.szUserName, "previous-and-longer");
        info.LoadCredentials(registry);
        EXPECT_STREQ(info.szUserName, c.loaded) << c.name;
        EXPECT_EQ(info.szUserName[kUserTextSize - 1], '\0') << c.name;
    }
}

TEST(UserInfoTest, CopyToFieldCutsAtFortyNineAndClearsTheRest) {
    KXUserInfo info;
    CopyToField(info.szUserName, std::string(49, 'a') + "overflow");
    EXPECT_EQ(FieldText(info.szUserName), std::string(49, 'a'));
    CopyToField(info.szUserName, "b");
    EXPECT_EQ(std::string(info.szUserName, kUserTextSize), Field50("b"));
}

TEST(UserInfoTest, ThreeCharacterNameIsStoredAsFiftyBytesAndReadBackAsThree) {
    MemoryRegistry registry;
    KXUserInfo info;
    CopyToField(info.szUserName, "Eve");
    info.SaveCredentials(registry);
    ASSERT_EQ(Stored(registry, "Username")->size(), 50u);
    KXUserInfo loaded;
    loaded.LoadCredentials(registry);
    EXPECT_EQ(FieldText(loaded.szUserName), "Eve");
}

}  // namespace
}  // namespace kx
