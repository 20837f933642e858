#include "tools/reg_tool.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/common/memory_registry.h"
#include "support/scratch_directory.h"
#include "unit/platform/registry_printers.h"

namespace kx {
namespace {

class RegToolTest : public ::testing::Test {
protected:
    struct Result {
        int code;
        std::string out;
        std::string err;
    };

    Result Run(std::vector<std::string> args, const std::string& answers = "") {
        std::istringstream in(answers);
        std::ostringstream out;
        std::ostringstream err;
        const int code = RunRegTool(reg_, args, RegToolStreams{in, out, err});
        EXPECT_EQ(reg_.OpenKeyCount(), 0u) << "a handle leaked";
        return {code, out.str(), err.str()};
    }

    void RunOk(std::vector<std::string> args) {
        const Result r = Run(args);
        ASSERT_EQ(r.code, 0) << r.err;
    }

    // The stored value as (type, bytes), or nullopt.
    std::optional<RegValue> Stored(const KeyPath& path, std::string_view name, Hive hive = Hive::LocalMachine) {
        const RegKeyNode* key = reg_.tree(hive).Find(path);
        if (key == nullptr || key->FindValue(name) == nullptr) return std::nullopt;
        return *key->FindValue(name);
    }

    MemoryRegistry reg_;
};

TEST_F(RegToolTest, AddStoresDataAsRegDoes) {
    struct Case {
        std::vector<std::string> switches;
        RegType type;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {{"/d", "abc"}, RegType::Sz, std::string("abc\0", 4)},
        {{}, RegType::Sz, std::string("\0", 1)},
        {{"/t", "reg_expand_sz", "/d", "%TEMP%"}, RegType::ExpandSz, std::string("%TEMP%\0", 7)},
        {{"/t", "REG_MULTI_SZ", "/d", "a\\0bc"}, RegType::MultiSz, std::string("a\0bc\0\0", 6)},
        {{"/t", "REG_MULTI_SZ", "/s", "|", "/d", "a|b"}, RegType::MultiSz, std::string("a\0b\0\0", 5)},
        {{"/t", "REG_DWORD", "/d", "4294967295"}, RegType::Dword, "\xff\xff\xff\xff"},
        {{"/t", "REG_DWORD", "/d", "0x10"}, RegType::Dword, std::string("\x10\0\0\0", 4)},
        {{"/t", "REG_DWORD"}, RegType::Dword, std::string(4, '\0')},
        {{"/t", "REG_QWORD", "/d", "0x0102030405060708"}, RegType::Qword, "\x08\x07\x06\x05\x04\x03\x02\x01"},
        {{"/t", "REG_BINARY", "/d", "00ffA0"}, RegType::Binary, std::string("\0\xff\xa0", 3)},
        {{"-t", "REG_NONE"}, RegType::None, ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "V" + std::to_string(n++);
        std::vector<std::string> args = {"add", "HKLM\\Software\\Kestrix Inc.", "/v", name};
        args.insert(args.end(), c.switches.begin(), c.switches.end());
        const Result r = Run(args);
        ASSERT_EQ(r.code, 0) << name << ": " << r.err;
        EXPECT_EQ(r.out, "The operation completed successfully.\n");
        EXPECT_EQ(Stored({"Software", "Kestrix Inc."}, name), (RegValue{name, c.type, c.bytes})) << name;
    }
}

TEST_F(RegToolTest, RefusesBadCommandLinesAndData) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate", "HKLM\\K"},
        {"add"},
        {"add", "HKU\\Software"},  // a root the tool does not know
        {"add", "HKLM\\\\Software"},
        {"add", "HKLM\\K", "/v"},
        {"add", "HKLM\\K", "/v", "A", "/ve"},
        {"add", "HKLM\\K", "/d", "x"},
        {"add", "HKLM\\K", "/v", "A", "/d", "x", "/d", "y"},
        {"add", "HKLM\\K", "/v", "A", "/x"},
        {"add", "HKLM\\K", "/v", "A", "/t", "REG_FOO"},
        {"add", "HKLM\\K", "/v", "A", "/t", "REG_DWORD", "/d", "4294967296"},
        {"add", "HKLM\\K", "/v", "A", "/t", "REG_DWORD", "/d", "12ab"},
        {"add", "HKLM\\K", "/v", "A", "/t", "REG_BINARY", "/d", "abc"},
        {"add", "HKLM\\K", "extra"},
        {"query", "HKLM\\K", "/va"},
        {"delete", "HKLM"},
        {"export", "HKLM\\K"},
        {"import", "HKLM\\K", "file"},
    };
    for (const auto& args : cases) {
        const Result r = Run(args);
        EXPECT_EQ(r.code, 1) << ::testing::PrintToString(args);
        EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << r.err;
        EXPECT_EQ(reg_.tree(Hive::LocalMachine), RegistryTree()) << ::testing::PrintToString(args);
    }
}

TEST_F(RegToolTest, AsksBeforeOverwritingOrDeletingUnlessForced) {
    RunOk({"add", "HKLM\\K", "/v", "A", "/d", "old"});
    struct Case {
        std::vector<std::string> args;
        std::string answer;
        int code;
        std::optional<std::string> stored;  // the value A afterwards
    };
    const std::vector<Case> cases = {
        {{"add", "HKLM\\K", "/v", "a", "/d", "new"}, "", 1, std::string("old\0", 4)},
        {{"add", "HKLM\\K", "/v", "a", "/d", "new"}, "no\n", 1, std::string("old\0", 4)},
        {{"add", "HKLM\\K", "/v", "a", "/d", "new"}, "Yes\n", 0, std::string("new\0", 4)},
        {{"add", "HKLM\\K", "/v", "a", "/d", "forced", "/F"}, "", 0, std::string("forced\0", 7)},
        {{"delete", "HKLM\\K", "/v", "A"}, "n\n", 1, std::string("forced\0", 7)},
        {{"delete", "HKLM\\K", "/v", "A"}, "y\n", 0, std::nullopt},
    };
    for (const Case& c : cases) {
        const Result r = Run(c.args, c.answer);
        EXPECT_EQ(r.code, c.code) << ::testing::PrintToString(c.args) << c.answer;
        const auto stored = Stored({"K"}, "A");
        EXPECT_EQ(stored ? std::optional<std::string>(stored->data) : std::nullopt, c.stored)
            << ::testing::PrintToString(c.args) << c.answer;
    }
}

TEST_F(RegToolTest, DeletesValuesAndKeys) {
    RunOk({"add", "HKLM\\K\\Sub", "/v", "A", "/d", "1"});
    RunOk({"add", "HKLM\\K", "/v", "A", "/d", "1"});
    RunOk({"add", "HKLM\\K", "/v", "B", "/d", "1"});
    RunOk({"add", "HKLM\\K", "/ve", "/d", "1"});

    RunOk({"delete", "HKLM\\K", "/ve", "/f"});
    EXPECT_FALSE(Stored({"K"}, ""));
    EXPECT_EQ(Run({"delete", "HKLM\\K", "/ve", "/f"}).code, 1);
    RunOk({"delete", "HKLM\\K", "-va", "-f"});
    EXPECT_TRUE(reg_.tree(Hive::LocalMachine).Find({"K"})->values.empty());
    EXPECT_TRUE(Stored({"K", "Sub"}, "A")) << "/va leaves subkeys alone";

    EXPECT_EQ(Run({"delete", "HKLM\\K"}, "no\n").code, 1);
    EXPECT_NE(reg_.tree(Hive::LocalMachine).Find({"K"}), nullptr);
    RunOk({"delete", "hkey_local_machine\\k", "/f"});
    EXPECT_EQ(reg_.tree(Hive::LocalMachine).Find({"K"}), nullptr);
    const Result again = Run({"delete", "HKLM\\K", "/f"});
    EXPECT_EQ(again.code, 1);
    EXPECT_EQ(again.err, "ERROR: The system was unable to find the specified registry key or value.\n");
}

TEST_F(RegToolTest, QueriesLikeReg) {
    RunOk({"add", "HKLM\\Software\\Kestrix Inc.\\General\\Player", "/v", "Username", "/d", "abc"});
    RunOk({"add", "HKLM\\Software\\Kestrix Inc.\\General\\Player", "/ve", "/t", "REG_DWORD", "/d", "255"});
    RunOk({"add", "HKLM\\Software\\Kestrix Inc.\\Menu\\Tips", "/v", "Welcome", "/t", "REG_BINARY", "/d", "0aFF"});
    RunOk({"add", "HKLM\\Software\\Kestrix Inc.", "/v", "Multi", "/t", "REG_MULTI_SZ", "/d", "a\\0b"});
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out;
    };
    const std::vector<Case> cases = {
        // The key is shown as typed, its subkeys as stored.
        {{"query", "hklm\\software\\kestrix inc."}, 0,
         "\nHKEY_LOCAL_MACHINE\\software\\kestrix inc.\n"
         "    Multi    REG_MULTI_SZ    a\\0b\n"
         "\nHKEY_LOCAL_MACHINE\\software\\kestrix inc.\\General\n"
         "HKEY_LOCAL_MACHINE\\software\\kestrix inc.\\Menu\n"},
        {{"query", "HKLM\\Software\\Kestrix Inc.\\General\\Player", "/v", "USERNAME"}, 0,
         "\nHKEY_LOCAL_MACHINE\\Software\\Kestrix Inc.\\General\\Player\n"
         "    Username    REG_SZ    abc\n"},
        {{"query", "HKLM\\Software\\Kestrix Inc.\\General\\Player", "/ve"}, 0,
         "\nHKEY_LOCAL_MACHINE\\Software\\Kestrix Inc.\\General\\Player\n"
         "    (Default)    REG_DWORD    0xff\n"},
        {{"query", "HKLM\\Software\\Kestrix Inc.", "/s"}, 0,
         "\nHKEY_LOCAL_MACHINE\\Software\\Kestrix Inc.\n"
         "    Multi    REG_MULTI_SZ    a\\0b\n"
         "\nHKEY_LOCAL_MACHINE\\Software\\Kestrix Inc.\\General\n"
         "\nHKEY_LOCAL_MACHINE\\Software\\Kestrix Inc.\\General\\Player\n"
         "    Username    REG_SZ    abc\n"
         "    (Default)    REG_DWORD    0xff\n"
         "\nHKEY_LOCAL_MACHINE\\Software\\Kestrix Inc.\\Menu\n"
         "\nHKEY_LOCAL_MACHINE\\Software\\Kestrix Inc.\\Menu\\Tips\n"
         "    Welcome    REG_BINARY    0AFF\n"
         "\nEnd of search: 4 match(es) found.\n"},
        {{"query", "HKLM\\Software", "/v", "welcome", "/s"}, 0,
         "\nHKEY_LOCAL_MACHINE\\Software\\Kestrix Inc.\\Menu\\Tips\n"
         "    Welcome    REG_BINARY    0AFF\n"
         "\nEnd of search: 1 match(es) found.\n"},
        {{"query", "HKLM\\Software\\Kestrix Inc.", "/v", "Nothing"}, 1, ""},
        {{"query", "HKLM\\Software\\Nothing"}, 1, ""},
    };
    for (const Case& c : cases) {
        const Result r = Run(c.args);
        EXPECT_EQ(r.code, c.code) << ::testing::PrintToString(c.args);
        EXPECT_EQ(r.out, c.out) << ::testing::PrintToString(c.args);
    }
}

TEST_F(RegToolTest, ExportsAKeyThatImportRestoresExactly) {
    RunOk({"add", "HKCR\\CLSID\\{EDD57D80}\\LocalServer32", "/ve", "/d", "/usr/bin/console"});
    RunOk({"add", "HKCR\\CLSID\\{EDD57D80}", "/v", "AppID", "/t", "REG_BINARY", "/d", "00ff"});
    RunOk({"add", "HKCR\\Other", "/v", "X", "/d", "not exported"});
    test::ScratchDirectory scratch;
    const std::string file = scratch.path() + "/clsid.reg";

    RunOk({"export", "hkcr\\clsid\\{edd57d80}", file});
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text,
              "KestrixRegistry 1\n; HKEY_CLASSES_ROOT\n"
              "\n[CLSID]\n"
              "\n[CLSID\\{EDD57D80}]\n\"AppID\"=hex:00,ff\n"
              "\n[CLSID\\{EDD57D80}\\LocalServer32]\n@=sz(17):\"/usr/bin/console\"\n");
    EXPECT_EQ(Run({"export", "HKCR\\CLSID", file}, "no\n").code, 1) << "an existing file needs /y or a yes";

    const RegistryTree exported = reg_.tree(Hive::ClassesRoot);
    RunOk({"delete", "HKCR\\CLSID", "/f"});
    RunOk({"import", "HKCR", file});
    EXPECT_EQ(reg_.tree(Hive::ClassesRoot), exported);

    std::ofstream(file, std::ios::binary | std::ios::trunc) << "KestrixRegistry 1\n[K]\nbroken\n";
    const Result broken = Run({"import", "HKLM", file});
    EXPECT_EQ(broken.code, 1);
    EXPECT_NE(broken.err.find(file + ":3: expected a key header"), std::string::npos) << broken.err;
}

TEST_F(RegToolTest, ReportsStoreFailures) {
    RunOk({"add", "HKLM\\K", "/v", "A", "/d", "1"});
    reg_.FailWrites(kErrorBadDatabase);
    const Result r = Run({"add", "HKLM\\K", "/v", "A", "/d", "2", "/f"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "ERROR: The configuration registry database is corrupt.\n");
    const Result help = Run({"/?"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("kxreg add"), std::string::npos);
}

}  // namespace
}  // namespace kx
