#pragma once

// The registry contract: one typed suite that every Registry backend runs, so
// the stores that stand in for Windows cannot drift from it. A file
// instantiates it with INSTANTIATE_TYPED_TEST_SUITE_P for its backends.
//
// A backend type is default-constructible and provides:
//   Registry& registry();
//   std::vector<RegKeyHandle> roots();  // at least two separate, empty keys
//   std::size_t OpenKeyCount();         // handles open besides the roots
//   RegistryRules rules();              // whose rules the registry follows
// The cases work under roots()[0]. A backend on a real registry makes its
// roots scratch keys and removes them when it is destroyed.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace kx {

// Whose rules a backend's registry follows. The stores imitate Windows; Wine,
// on which the Win32 backend's tests run, parts from Windows in a few places,
// each noted in the case it touches.
enum class RegistryRules { Windows, Wine };

template <typename Backend>
class RegistryContractTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(backend_.OpenKeyCount(), 0u) << "a handle leaked"; }

    Registry& reg() { return backend_.registry(); }
    RegKeyHandle root() { return backend_.roots().front(); }
    bool UnderWine() { return backend_.rules() == RegistryRules::Wine; }

    UniqueRegKey Create(std::string_view path, RegAccess access = RegAccess::AllAccess) {
        UniqueRegKey key(reg());
        EXPECT_EQ(reg().CreateKey(root(), path, access, key.put()), kErrorSuccess) << path;
        return key;
    }

    UniqueRegKey Open(std::string_view path, long expected = kErrorSuccess,
                      RegAccess access = RegAccess::AllAccess) {
        UniqueRegKey key(reg());
        EXPECT_EQ(reg().OpenKey(root(), path, access, key.put()), expected) << path;
        return key;
    }

    // Windows reads one byte past a text's data and, when the data lacks its
    // terminator and that byte is zero, stores it too. The stores cannot read
    // past what they are given, so every write here is followed by a byte
    // that is not zero, and Windows keeps exactly the bytes given as well.
    long Set(RegKeyHandle key, std::string_view name, RegType type, const std::string& bytes) {
        const std::string guarded = bytes + '#';
        return reg().SetValue(key, name, type, reinterpret_cast<const std::uint8_t*>(guarded.data()),
                              static_cast<std::uint32_t>(bytes.size()));
    }

    // Queries into a buffer of `capacity` bytes prefilled with '#'.
    struct Query {
        long status;
        RegType type;
        std::uint32_t size;
        std::string buffer;
    };
    Query Get(RegKeyHandle key, std::string_view name, std::uint32_t capacity = 512) {
        Query q{0, RegType::Qword, capacity, std::string(capacity, '#')};
        q.status = reg().QueryValue(key, name, &q.type, reinterpret_cast<std::uint8_t*>(q.buffer.data()),
                                    &q.size);
        return q;
    }

    std::vector<std::string> SubkeyNames(RegKeyHandle key) {
        std::vector<std::string> names;
        for (std::uint32_t i = 0;; ++i) {
            char name[kMaxRegNameLength + 1];
            std::uint32_t chars = sizeof name;
            const long status = reg().EnumKey(key, i, name, &chars);
            if (status != kErrorSuccess) {
                EXPECT_EQ(status, kErrorNoMoreItems);
                return names;
            }
            names.emplace_back(name, chars);
        }
    }

    std::vector<std::string> ValueNames(RegKeyHandle key) {
        std::vector<std::string> names;
        for (std::uint32_t i = 0;; ++i) {
            std::string name;
            const long status = reg().EnumValue(key, i, &name, nullptr, nullptr);
            if (status != kErrorSuccess) {
                EXPECT_EQ(status, kErrorNoMoreItems);
                return names;
            }
            names.push_back(name);
        }
    }

    Backend backend_;
};

TYPED_TEST_SUITE_P(RegistryContractTest);

TYPED_TEST_P(RegistryContractTest, ValuesKeepTheirExactBytesAndType) {
    struct Case {
        const char* name;
        RegType type;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"Sz50", RegType::Sz, std::string("abc") + std::string(47, '\0')},
        {"Empty", RegType::Sz, ""},
        {"NoTerminator", RegType::Sz, "1"},
        {"Binary", RegType::Binary, std::string("\0\xff\x80\n\"\\]%", 8)},
        {"Dword", RegType::Dword, std::string("\x01\0\0\0", 4)},
        {"ShortDword", RegType::Dword, "\x01\x02"},
        {"Multi", RegType::MultiSz, std::string("a\0b\0\0", 5)},
        {"Expand", RegType::ExpandSz, std::string("%TEMP%\\x\0", 9)},
        {"BareExpand", RegType::ExpandSz, "%TEMP%"},
        {"Qword", RegType::Qword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {"None", RegType::None, "\x7f"},
        {"Odd type", static_cast<RegType>(0x12345678), "z"},
        {"", RegType::Sz, std::string("default\0", 8)},
    };
    UniqueRegKey key = this->Create("Software\\Kestrix Inc.\\General\\Player");
    for (const Case& c : cases) ASSERT_EQ(this->Set(key.get(), c.name, c.type, c.bytes), kErrorSuccess) << c.name;
    for (const Case& c : cases) {
        const auto q = this->Get(key.get(), c.name);
        ASSERT_EQ(q.status, kErrorSuccess) << c.name;
        EXPECT_EQ(q.type, c.type) << c.name;
        EXPECT_EQ(q.size, c.bytes.size()) << c.name;
        EXPECT_EQ(q.buffer.substr(0, q.size), c.bytes) << c.name;
        // A text without its terminator is given one where the buffer has room.
        const bool text = c.type == RegType::Sz || c.type == RegType::ExpandSz || c.type == RegType::MultiSz;
        const bool terminated = text && !c.bytes.empty() && c.bytes.back() != '\0';
        const std::string after = terminated ? '\0' + std::string(511 - q.size, '#') : std::string(512 - q.size, '#');
        EXPECT_EQ(q.buffer.substr(q.size), after) << c.name << ": wrote past the value";
    }
}

TYPED_TEST_P(RegistryContractTest, NamesMatchWithoutCaseAndKeepTheirWrittenCase) {
    UniqueRegKey key = this->Create("Software\\Kestrix Inc.\\General\\Player");
    ASSERT_EQ(this->Set(key.get(), "PlaySounds", RegType::Sz, std::string("1\0", 2)), kErrorSuccess);
    ASSERT_EQ(this->Set(key.get(), "PLAYSOUNDS", RegType::Sz, std::string("0\0", 2)), kErrorSuccess);

    UniqueRegKey again = this->Open("SOFTWARE\\kestrix inc.\\GENERAL\\player");
    const auto q = this->Get(again.get(), "playsounds");
    EXPECT_EQ(q.status, kErrorSuccess);
    EXPECT_EQ(q.buffer.substr(0, q.size), std::string("0\0", 2));
    EXPECT_EQ(this->ValueNames(again.get()), std::vector<std::string>{"PlaySounds"});

    UniqueRegKey vendor = this->Open("software");
    EXPECT_EQ(this->SubkeyNames(vendor.get()), std::vector<std::string>{"Kestrix Inc."});
    // Windows-1252 letters fold as well, as their characters do on Windows;
    // signs that look alike do not, and sharp s has no capital.
    struct Case {
        const char* stored;
        const char* asked;
        long status;
    };
    const std::vector<Case> cases = {
        {"\xc9t\xe9", "\xe9T\xc9", kErrorSuccess},      // E acute
        {"\x8a\x8c\x8e", "\x9a\x9c\x9e", kErrorSuccess},  // S caron, OE, Z caron
        {"\xff", "\x9f", kErrorSuccess},                // y diaeresis
        {"\xd7", "\xf7", kErrorFileNotFound},           // times and division signs
        {"\xdf", "SS", kErrorFileNotFound},              // sharp s
    };
    for (const Case& c : cases) {
        ASSERT_EQ(this->Set(key.get(), c.stored, RegType::Sz, "x"), kErrorSuccess) << c.stored;
        EXPECT_EQ(this->Get(key.get(), c.asked).status, c.status) << c.stored;
        EXPECT_EQ(this->Get(key.get(), c.stored).status, kErrorSuccess) << c.stored;
    }
}

TYPED_TEST_P(RegistryContractTest, FailedQueriesLeaveTheBufferUntouched) {
    UniqueRegKey key = this->Create("K");
    ASSERT_EQ(this->Set(key.get(), "Name", RegType::Sz, std::string("abcdef\0", 7)), kErrorSuccess);

    const auto missing = this->Get(key.get(), "Other", 16);
    EXPECT_EQ(missing.status, kErrorFileNotFound);
    EXPECT_EQ(missing.buffer, std::string(16, '#'));
    EXPECT_EQ(missing.size, 16u);

    for (std::uint32_t capacity : {0u, 1u, 6u}) {
        const auto small = this->Get(key.get(), "Name", capacity);
        EXPECT_EQ(small.status, kErrorMoreData) << capacity;
        EXPECT_EQ(small.buffer, std::string(capacity, '#')) << capacity;
        EXPECT_EQ(small.size, 7u) << "the size needed is reported";
        EXPECT_EQ(small.type, RegType::Sz);
    }
    const auto exact = this->Get(key.get(), "Name", 7);
    EXPECT_EQ(exact.status, kErrorSuccess);
    EXPECT_EQ(exact.buffer, std::string("abcdef\0", 7));

    // A text stored without its terminator gets one only where the buffer has room.
    ASSERT_EQ(this->Set(key.get(), "Bare", RegType::Sz, "abc"), kErrorSuccess);
    struct Case {
        std::uint32_t capacity;
        std::string buffer;
    };
    for (const Case& c : {Case{3, "abc"}, Case{4, std::string("abc\0", 4)}, Case{5, std::string("abc\0#", 5)}}) {
        const auto bare = this->Get(key.get(), "Bare", c.capacity);
        EXPECT_EQ(bare.status, kErrorSuccess) << c.capacity;
        EXPECT_EQ(bare.size, 3u) << c.capacity;
        EXPECT_EQ(bare.buffer, c.buffer) << c.capacity;
    }

    // Without a buffer only the size and type are reported.
    std::uint32_t size = 0;
    RegType type = RegType::None;
    EXPECT_EQ(this->reg().QueryValue(key.get(), "name", &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(type, RegType::Sz);
    EXPECT_EQ(this->reg().QueryValue(key.get(), "name", nullptr, nullptr, nullptr), kErrorSuccess);
    std::uint8_t byte = 0;
    EXPECT_EQ(this->reg().QueryValue(key.get(), "name", nullptr, &byte, nullptr), kErrorInvalidParameter);
}

TYPED_TEST_P(RegistryContractTest, EnumeratesSubkeysAlphabeticallyAndValuesInCreationOrder) {
    UniqueRegKey clients = this->Create("Software\\Kestrix Inc.\\General\\Clients");
    for (const char* name : {"zeta", "Alpha", "beta", "Gamma", "_under", "a"}) {
        UniqueRegKey child(this->reg());
        ASSERT_EQ(this->reg().CreateKey(clients.get(), name, RegAccess::Write, child.put()), kErrorSuccess);
    }
    // Windows sorts names folded to upper case, so '_' comes after 'Z'; Wine
    // folds them to lower case, which puts it before 'a'.
    const std::vector<std::string> windows_order = {"a", "Alpha", "beta", "Gamma", "zeta", "_under"};
    const std::vector<std::string> wine_order = {"_under", "a", "Alpha", "beta", "Gamma", "zeta"};
    EXPECT_EQ(this->SubkeyNames(clients.get()), this->UnderWine() ? wine_order : windows_order);

    for (const char* name : {"VERSION", "EXEPATH", "Alpha"}) {
        ASSERT_EQ(this->Set(clients.get(), name, RegType::Sz, "x"), kErrorSuccess);
    }
    // Windows lists values in the order they were made; Wine sorts them by name.
    const std::vector<std::string> made = {"VERSION", "EXEPATH", "Alpha"};
    const std::vector<std::string> sorted = {"Alpha", "EXEPATH", "VERSION"};
    EXPECT_EQ(this->ValueNames(clients.get()), this->UnderWine() ? sorted : made);

    std::string name = "unchanged";
    RegType type = RegType::Qword;
    std::string data = "unchanged";
    EXPECT_EQ(this->reg().EnumValue(clients.get(), 1, &name, &type, &data), kErrorSuccess);
    EXPECT_EQ(name, "EXEPATH");
    EXPECT_EQ(type, RegType::Sz);
    EXPECT_EQ(data, "x");
    EXPECT_EQ(this->reg().EnumValue(clients.get(), 3, &name, &type, &data), kErrorNoMoreItems);
}

TYPED_TEST_P(RegistryContractTest, EnumKeyNeedsRoomForTheTerminator) {
    UniqueRegKey parent = this->Create("P\\Player");
    UniqueRegKey p = this->Open("P");
    struct Case {
        std::uint32_t capacity;
        long status;
        std::uint32_t reported;
        std::string buffer;
    };
    const std::vector<Case> cases = {
        {0, kErrorMoreData, 6, "########"},
        {6, kErrorMoreData, 6, "########"},
        {7, kErrorSuccess, 6, std::string("Player\0#", 8)},
        {8, kErrorSuccess, 6, std::string("Player\0#", 8)},
    };
    for (const Case& c : cases) {
        char buffer[8];
        std::memset(buffer, '#', sizeof buffer);
        std::uint32_t chars = c.capacity;
        EXPECT_EQ(this->reg().EnumKey(p.get(), 0, buffer, &chars), c.status) << c.capacity;
        EXPECT_EQ(chars, c.reported) << c.capacity;
        EXPECT_EQ(std::string(buffer, 8), c.buffer) << c.capacity;
    }
    char buffer[8];
    std::uint32_t chars = sizeof buffer;
    EXPECT_EQ(this->reg().EnumKey(p.get(), 1, buffer, &chars), kErrorNoMoreItems);
}

TYPED_TEST_P(RegistryContractTest, KeyPathRules) {
    const std::string longest(kMaxRegNameLength, 'n');
    struct Case {
        std::string path;
        long create;
        std::string opens_as;  // the key it created, opened by a clean path
    };
    const std::vector<Case> cases = {
        {"A\\B", kErrorSuccess, "a\\b"},
        {"A\\C\\", kErrorSuccess, "A\\C"},
        {"\\A", kErrorBadPathname, ""},
        {"A\\\\D", kErrorSuccess, "A\\D"},  // a run of separators is one
        {"A\\E\\\\", kErrorSuccess, "A\\E"},
        {"\\", kErrorBadPathname, ""},
        {"A\\" + longest, kErrorSuccess, "A\\" + longest},
        {"A\\" + longest + "n", kErrorInvalidParameter, ""},
        {std::string("A\\nul\0l", 7), kErrorInvalidParameter, ""},
    };
    for (const Case& c : cases) {
        UniqueRegKey key(this->reg());
        if (this->UnderWine() && c.path.size() == longest.size() + 3) {
            // Wine takes a key name one longer than Windows allows.
            EXPECT_EQ(this->reg().CreateKey(this->root(), c.path, RegAccess::Write, key.put()), kErrorSuccess);
            key.reset();
            EXPECT_EQ(this->reg().DeleteKeyTree(this->root(), c.path), kErrorSuccess);
            continue;
        }
        EXPECT_EQ(this->reg().CreateKey(this->root(), c.path, RegAccess::Write, key.put()), c.create)
            << c.path;
        EXPECT_EQ(key.get() == kNullKey, c.create != kErrorSuccess) << c.path;
        if (!c.opens_as.empty()) this->Open(c.opens_as);
        UniqueRegKey opened(this->reg());
        EXPECT_EQ(this->reg().OpenKey(this->root(), c.path, RegAccess::Read, opened.put()), c.create)
            << c.path;
    }
    UniqueRegKey a = this->Open("A");
    EXPECT_EQ(this->SubkeyNames(a.get()), (std::vector<std::string>{"B", "C", "D", "E", longest}));
    // Value names may be far longer than key names.
    EXPECT_EQ(this->Set(a.get(), longest + "n", RegType::Sz, "x"), kErrorSuccess);
    EXPECT_EQ(this->Get(a.get(), longest + "N").status, kErrorSuccess);
    const std::string longest_value_name(kMaxRegValueNameLength, 'v');
    EXPECT_EQ(this->Set(a.get(), longest_value_name, RegType::Sz, "x"), kErrorSuccess);
    EXPECT_EQ(this->Set(a.get(), longest_value_name + "v", RegType::Sz, "x"), kErrorInvalidParameter);
    EXPECT_EQ(this->Set(a.get(), "back\\slash", RegType::Sz, "x"), kErrorSuccess)
        << "value names may hold a backslash";
}

TYPED_TEST_P(RegistryContractTest, OpenAndCreateResults) {
    UniqueRegKey missing = this->Open("Software\\Nothing", kErrorFileNotFound);
    EXPECT_FALSE(missing);

    UniqueRegKey key = this->Create("Software\\Kestrix Inc.");
    UniqueRegKey same(this->reg());
    ASSERT_EQ(this->reg().OpenKey(key.get(), "", RegAccess::Read, same.put()), kErrorSuccess);
    EXPECT_NE(same.get(), key.get());
    ASSERT_EQ(this->Set(key.get(), "V", RegType::Sz, "1"), kErrorSuccess);
    EXPECT_EQ(this->Get(same.get(), "V").status, kErrorSuccess);

    UniqueRegKey root = this->Open("");
    EXPECT_EQ(this->SubkeyNames(root.get()), std::vector<std::string>{"Software"});
}

TYPED_TEST_P(RegistryContractTest, EachRootIsSeparate) {
    const std::vector<RegKeyHandle> roots = this->backend_.roots();
    ASSERT_GE(roots.size(), 2u);
    for (std::size_t i = 0; i < roots.size(); ++i) {
        UniqueRegKey key(this->reg());
        ASSERT_EQ(this->reg().CreateKey(roots[i], "Only" + std::to_string(i), RegAccess::Write, key.put()),
                  kErrorSuccess);
    }
    for (std::size_t i = 0; i < roots.size(); ++i) {
        UniqueRegKey key(this->reg());
        ASSERT_EQ(this->reg().OpenKey(roots[i], "", RegAccess::Read, key.put()), kErrorSuccess);
        EXPECT_EQ(this->SubkeyNames(key.get()), std::vector<std::string>{"Only" + std::to_string(i)}) << i;
    }
}

TYPED_TEST_P(RegistryContractTest, PredefinedRootsOpenCloseAndAreNeverDeleted) {
    for (const RegKeyHandle root : {kHKeyClassesRoot, kHKeyCurrentUser, kHKeyLocalMachine}) {
        UniqueRegKey key(this->reg());
        EXPECT_EQ(this->reg().OpenKey(root, "", RegAccess::Read, key.put()), kErrorSuccess) << root;
        EXPECT_TRUE(key) << root;
        EXPECT_FALSE(IsPredefinedKey(key.get())) << "a new handle, not the root itself";
        EXPECT_EQ(this->reg().CloseKey(root), kErrorSuccess) << root;
        EXPECT_EQ(this->reg().DeleteKeyTree(root, ""), kErrorAccessDenied) << root;
    }
}

TYPED_TEST_P(RegistryContractTest, NamesWithAZeroByteAreRefusedNotCut) {
    UniqueRegKey key = this->Create("Z");
    ASSERT_EQ(this->Set(key.get(), "cut", RegType::Sz, "kept"), kErrorSuccess);
    const std::string zero_name("cut\0tail", 8);
    EXPECT_EQ(this->Set(key.get(), zero_name, RegType::Sz, "x"), kErrorInvalidParameter);
    EXPECT_EQ(this->Get(key.get(), zero_name).status, kErrorInvalidParameter);
    EXPECT_EQ(this->reg().DeleteValue(key.get(), zero_name), kErrorInvalidParameter);
    EXPECT_EQ(this->reg().DeleteKeyTree(this->root(), std::string("Z\0", 2)), kErrorInvalidParameter);
    const auto q = this->Get(key.get(), "cut");
    EXPECT_EQ(q.status, kErrorSuccess);
    EXPECT_EQ(q.buffer.substr(0, q.size), "kept");
    this->Open("Z");
}

TYPED_TEST_P(RegistryContractTest, HandlesAreCheckedForValidityAndAccess) {
    UniqueRegKey writable = this->Create("K", RegAccess::Write);
    UniqueRegKey readable = this->Open("K", kErrorSuccess, RegAccess::Read);
    const RegKeyHandle users = 0x80000003u;  // a predefined root the port does not name
    const RegKeyHandle closed = [&] {
        UniqueRegKey temporary = this->Open("K");
        return temporary.get();
    }();
    for (const RegKeyHandle bad : {users, closed, RegKeyHandle{12345}}) {
        EXPECT_EQ(this->Set(bad, "V", RegType::Sz, "x"), kErrorInvalidHandle);
        EXPECT_EQ(this->Get(bad, "V").status, kErrorInvalidHandle);
        EXPECT_EQ(this->reg().CloseKey(bad), kErrorInvalidHandle);
        RegKeyHandle result = 77;
        EXPECT_EQ(this->reg().OpenKey(bad, "", RegAccess::Read, &result), kErrorInvalidHandle);
        EXPECT_EQ(result, kNullKey);
    }
    EXPECT_EQ(this->reg().CloseKey(kHKeyLocalMachine), kErrorSuccess);

    // A key opened to read cannot be written, nor one opened to write be read, as on Windows.
    EXPECT_EQ(this->Set(readable.get(), "V", RegType::Sz, "x"), kErrorAccessDenied);
    EXPECT_EQ(this->reg().DeleteValue(readable.get(), "V"), kErrorAccessDenied);
    UniqueRegKey child(this->reg());
    // Wine lets a key opened to read make subkeys, which Windows refuses.
    EXPECT_EQ(this->reg().CreateKey(readable.get(), "Sub", RegAccess::Write, child.put()),
              this->UnderWine() ? kErrorSuccess : kErrorAccessDenied);
    ASSERT_EQ(this->Set(writable.get(), "V", RegType::Sz, "x"), kErrorSuccess);
    EXPECT_EQ(this->Get(writable.get(), "V").status, kErrorAccessDenied);
    EXPECT_EQ(this->Get(readable.get(), "V").status, kErrorSuccess);
    EXPECT_EQ(this->reg().CreateKey(writable.get(), "Sub", RegAccess::Read, child.put()), kErrorSuccess);
}

TYPED_TEST_P(RegistryContractTest, DeletesValuesAndKeyTrees) {
    UniqueRegKey tips = this->Create("Software\\Kestrix Inc.\\Menu\\Tips");
    this->Create("Software\\Kestrix Inc.\\Menu\\Tips\\Deep\\Deeper");
    ASSERT_EQ(this->Set(tips.get(), "Welcome", RegType::Sz, "1"), kErrorSuccess);
    EXPECT_EQ(this->reg().DeleteValue(tips.get(), "WELCOME"), kErrorSuccess);
    EXPECT_EQ(this->reg().DeleteValue(tips.get(), "Welcome"), kErrorFileNotFound);
    EXPECT_EQ(this->Get(tips.get(), "Welcome").status, kErrorFileNotFound);

    EXPECT_EQ(this->reg().DeleteKeyTree(this->root(), "software\\kestrix inc.\\menu"), kErrorSuccess);
    this->Open("Software\\Kestrix Inc.\\Menu", kErrorFileNotFound);
    this->Open("Software\\Kestrix Inc.");
    EXPECT_EQ(this->reg().DeleteKeyTree(this->root(), "Software\\Kestrix Inc.\\Menu"), kErrorFileNotFound);
    EXPECT_EQ(this->reg().DeleteKeyTree(kHKeyLocalMachine, ""), kErrorAccessDenied);

    // An empty sub-key deletes the key the handle names.
    UniqueRegKey vendor = this->Open("Software\\Kestrix Inc.");
    EXPECT_EQ(this->reg().DeleteKeyTree(vendor.get(), ""), kErrorSuccess);
    this->Open("Software\\Kestrix Inc.", kErrorFileNotFound);
}

TYPED_TEST_P(RegistryContractTest, HandleOfADeletedKeyFailsWithKeyDeleted) {
    UniqueRegKey player = this->Create("Software\\Kestrix Inc.\\General\\Player");
    ASSERT_EQ(this->Set(player.get(), "Username", RegType::Sz, "abc"), kErrorSuccess);
    ASSERT_EQ(this->reg().DeleteKeyTree(this->root(), "Software\\Kestrix Inc."), kErrorSuccess);

    const RegKeyHandle h = player.get();
    const auto q = this->Get(h, "Username", 8);
    EXPECT_EQ(q.status, kErrorKeyDeleted);
    EXPECT_EQ(q.buffer, std::string(8, '#'));
    EXPECT_EQ(this->Set(h, "Username", RegType::Sz, "x"), kErrorKeyDeleted);
    EXPECT_EQ(this->reg().DeleteValue(h, "Username"), kErrorKeyDeleted);
    std::string name;
    EXPECT_EQ(this->reg().EnumValue(h, 0, &name, nullptr, nullptr), kErrorKeyDeleted);
    char buffer[16];
    std::uint32_t chars = sizeof buffer;
    EXPECT_EQ(this->reg().EnumKey(h, 0, buffer, &chars), kErrorKeyDeleted);
    UniqueRegKey child(this->reg());
    EXPECT_EQ(this->reg().CreateKey(h, "Child", RegAccess::Write, child.put()), kErrorKeyDeleted);
    EXPECT_EQ(this->reg().OpenKey(h, "", RegAccess::Read, child.put()), kErrorKeyDeleted);
    EXPECT_EQ(this->reg().DeleteKeyTree(h, "Child"), kErrorKeyDeleted);
    this->Open("Software\\Kestrix Inc.\\General", kErrorFileNotFound);
    EXPECT_EQ(this->reg().CloseKey(player.release()), kErrorSuccess);
}

REGISTER_TYPED_TEST_SUITE_P(RegistryContractTest,
                            ValuesKeepTheirExactBytesAndType,
                            NamesMatchWithoutCaseAndKeepTheirWrittenCase,
                            FailedQueriesLeaveTheBufferUntouched,
                            EnumeratesSubkeysAlphabeticallyAndValuesInCreationOrder,
                            EnumKeyNeedsRoomForTheTerminator,
                            KeyPathRules,
                            OpenAndCreateResults,
                            EachRootIsSeparate,
                            PredefinedRootsOpenCloseAndAreNeverDeleted,
                            NamesWithAZeroByteAreRefusedNotCut,
                            HandlesAreCheckedForValidityAndAccess,
                            DeletesValuesAndKeyTrees,
                            HandleOfADeletedKeyFailsWithKeyDeleted);

}  // namespace kx
