#include "platform/common/registry_tree.h"

#include <gtest/gtest.h>

namespace kx {
namespace {

TEST(RegistryTreeTest, NameComparisonFoldsAsciiLettersOnly) {
    struct Case {
        std::string a, b;
        int order;
    };
    const Case cases[] = {
        {"Player", "PLAYER", 0},
        {"a", "B", -1},
        {"_", "a", 1},        // letters fold to upper case, so '_' sorts after them, as on Windows
        {"abc", "ABCD", -1},
        {"\xc9", "\xe9", 0},  // Windows-1252 letters fold as Windows folds them
        {"\xd7", "\xf7", -1}, // times and division signs are not letters
        {"z", "\x80", -1},    // the euro sign's character sorts after every letter
        {"\x80", "\xc0", 1},  // by character, not by byte
        {"", "", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareNames(c.a, c.b), c.order) << c.a << " / " << c.b;
        EXPECT_EQ(CompareNames(c.b, c.a), -c.order) << c.b << " / " << c.a;
        EXPECT_EQ(NamesEqual(c.a, c.b), c.order == 0);
    }
}

TEST(RegistryTreeTest, ParsesKeyPaths) {
    struct Case {
        std::string text;
        long status;
        KeyPath path;
    };
    const std::string longest(kMaxRegNameLength, 'x');
    std::string deepest;
    for (std::size_t i = 0; i < kMaxKeyDepth; ++i) deepest += "k\\";
    const std::vector<Case> cases = {
        {"", kErrorSuccess, {}},
        {"Software", kErrorSuccess, {"Software"}},
        {"Software\\Kestrix Inc.\\", kErrorSuccess, {"Software", "Kestrix Inc."}},
        {"\\Software", kErrorInvalidParameter, {}},
        {"\\", kErrorInvalidParameter, {}},
        {"Software\\\\X", kErrorInvalidParameter, {}},
        {"Software\\\\", kErrorInvalidParameter, {}},
        {longest, kErrorSuccess, {longest}},
        {longest + "x", kErrorInvalidParameter, {}},
        {deepest, kErrorSuccess, KeyPath(kMaxKeyDepth, "k")},
        {deepest + "k", kErrorInvalidParameter, {}},
    };
    for (const Case& c : cases) {
        KeyPath path{"untouched"};
        EXPECT_EQ(ParseKeyPath(c.text, &path), c.status) << c.text.substr(0, 40);
        const KeyPath expected = c.status == kErrorSuccess ? c.path : KeyPath{"untouched"};
        EXPECT_EQ(path, expected) << c.text.substr(0, 40);
    }
}

TEST(RegistryTreeTest, CreateFindAndRemoveMatchWithoutCase) {
    RegistryTree tree;
    RegKeyNode& player = tree.Create({"Software", "Kestrix Inc.", "Player"});
    player.SetValue("Username", RegType::Sz, "abc");
    EXPECT_EQ(&tree.Create({"SOFTWARE", "kestrix inc."}), tree.Find({"software", "KESTRIX INC."}));
    ASSERT_NE(tree.Find({"software", "kestrix inc.", "player"}), nullptr);
    EXPECT_EQ(tree.Find({"software", "kestrix inc.", "player"})->name, "Player");

    player.SetValue("USERNAME", RegType::Binary, "x");
    ASSERT_EQ(player.values.size(), 1u);
    EXPECT_EQ(player.values[0], (RegValue{"Username", RegType::Binary, "x"}));

    EXPECT_FALSE(tree.Remove({}));
    EXPECT_FALSE(tree.Remove({"Software", "Nothing"}));
    EXPECT_TRUE(tree.Remove({"software", "KESTRIX INC."}));
    EXPECT_EQ(tree.Find({"Software", "Kestrix Inc."}), nullptr);
    EXPECT_NE(tree.Find({"Software"}), nullptr);
}

}  // namespace
}  // namespace kx
