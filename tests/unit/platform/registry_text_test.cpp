#include "platform/common/registry_text.h"

#include <gtest/gtest.h>
#include "unit/platform/registry_printers.h"

namespace kx {
namespace {

RegistryTree SampleTree() {
    RegistryTree tree;
    RegKeyNode& player = tree.Create({"Software", "Kestrix Inc.", "General", "Player"});
    player.SetValue("Username", RegType::Sz, std::string("abc") + std::string(47, '\0'));
    player.SetValue("Password", RegType::Sz, "");
    player.SetValue("SavePWD", RegType::Sz, "1");
    player.SetValue("Flags", RegType::Dword, std::string("\x01\0\0\x80", 4));
    player.SetValue("", RegType::Binary, std::string("\0\xff", 2));
    tree.Create({"Software", "Kestrix Inc.", "Menu", "Tips"});
    return tree;
}

TEST(RegistryTextTest, WritesTheDocumentedForm) {
    EXPECT_EQ(SerializeHiveText(SampleTree(), "HKEY_LOCAL_MACHINE"),
              "KestrixRegistry 1\n"
              "; HKEY_LOCAL_MACHINE\n"
              "\n[Software]\n"
              "\n[Software\\Kestrix Inc.]\n"
              "\n[Software\\Kestrix Inc.\\General]\n"
              "\n[Software\\Kestrix Inc.\\General\\Player]\n"
              "\"Username\"=sz(50):\"abc\"\n"
              "\"Password\"=sz(0):\"\"\n"
              "\"SavePWD\"=sz(1):\"1\"\n"
              "\"Flags\"=dword:80000001\n"
              "@=hex:00,ff\n"
              "\n[Software\\Kestrix Inc.\\Menu]\n"
              "\n[Software\\Kestrix Inc.\\Menu\\Tips]\n");
}

TEST(RegistryTextTest, RoundTripsEveryNameTypeAndByte) {
    RegistryTree tree = SampleTree();
    std::string all_bytes;
    for (int i = 0; i < 256; ++i) all_bytes += static_cast<char>(i);
    RegKeyNode& odd = tree.Create({"Odd%]Name [x]", "\x01\xe9\x7f", "100%"});
    odd.SetValue("quote\"back\\slash\ttab", RegType::Sz, all_bytes);
    odd.SetValue("bin", RegType::Binary, all_bytes);
    odd.SetValue("expand", RegType::ExpandSz, std::string("%PATH%\0\0", 8));
    odd.SetValue("multi", RegType::MultiSz, std::string("a\0\0b\0\0", 6));
    odd.SetValue("zeros", RegType::Sz, std::string(3, '\0'));
    odd.SetValue("short dword", RegType::Dword, "\x01");
    odd.SetValue("qword", RegType::Qword, "\x01\x02\x03\x04\x05\x06\x07\xf8");
    odd.SetValue("long qword", RegType::Qword, "123456789");
    odd.SetValue("none", RegType::None, "");
    odd.SetValue("custom", static_cast<RegType>(0xFFFFFFFFu), "x");
    odd.SetValue("\xff@", RegType::Sz, "\xff");
    tree.root().SetValue("at root", RegType::Sz, "r");

    const std::string text = SerializeHiveText(tree, "HKEY_CLASSES_ROOT");
    const HiveTextParse parsed = ParseHiveText(text);
    ASSERT_FALSE(parsed.error) << parsed.error->line << ": " << parsed.error->message << "\n" << text;
    EXPECT_EQ(parsed.tree, tree);
    EXPECT_EQ(SerializeHiveText(parsed.tree, "HKEY_CLASSES_ROOT"), text);
    // Everything outside printable ASCII is escaped, so the file is plain text.
    for (const char c : text) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c <= 0x7E)) << int(c);
}

TEST(RegistryTextTest, ReadsHandEditedText) {
    const std::string text =
        "KestrixRegistry 1\r\n"
        "; comment\r\n"
        "  ; indented comment\n"
        "\n"
        "[SOFTWARE\\Kestrix Inc.\\]   \n"
        "  \"A\" = sz(4):\"\\x41\\0\"  \n"
        "\"raw\"=sz(2):\"\xe9\"\n"
        "\"B\"=hex(2):41, 42 ,00\n"
        "\"C\"=hex(0):\n"
        "\"D\"=dword:DEADbeef\n"
        "[software\\kestrix inc.]\n"
        "\"E\"=hex:\n";
    const HiveTextParse parsed = ParseHiveText(text);
    ASSERT_FALSE(parsed.error) << parsed.error->line << ": " << parsed.error->message;
    const RegKeyNode* key = parsed.tree.Find({"Software", "Kestrix Inc."});
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->values, (std::vector<RegValue>{
                               {"A", RegType::Sz, std::string("A\0\0\0", 4)},
                               {"raw", RegType::Sz, std::string("\xe9\0", 2)},
                               {"B", RegType::ExpandSz, std::string("AB\0", 3)},
                               {"C", RegType::None, ""},
                               {"D", RegType::Dword, "\xef\xbe\xad\xde"},
                               {"E", RegType::Binary, ""},
                           }));
    // Serializing what was read and reading it again changes nothing.
    const std::string once = SerializeHiveText(parsed.tree, "HKLM");
    EXPECT_EQ(SerializeHiveText(ParseHiveText(once).tree, "HKLM"), once);
}

TEST(RegistryTextTest, RefusesMalformedTextNamingTheLine) {
    struct Case {
        std::string body;  // after the first line
        std::size_t line;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"[K]\n\"A\" sz(1):\"x\"\n", 3, "expected '=' after value name"},
        {"\"A\"=sz(1):\"x\"\n", 2, "value before the first key header"},
        {"[K\n", 2, "expected ']' at the end of the key header"},
        {"[K]x\n", 2, "unexpected text after the key header"},
        {"[K\\\\L]\n", 2, "invalid key path"},
        {"[%4]\n", 2, "expected two hex digits after '%' in key name"},
        {"[K]\n\n\n\"A\"=sz(2):\"abc\"\n", 5, "text is longer than its declared size"},
        {"[K]\n\"A\"=sz():\"abc\"\n", 3, "expected the size in bytes"},
        {"[K]\n\"A\"=sz(99999999):\"\"\n", 3, "value size exceeds 1048576 bytes"},
        {"[K]\n\"A\"=sz(3):\"abc\n", 3, "missing '\"' at the end of the text"},
        {"[K]\n\"A\"=sz(3):\"\\q\"\n", 3, "unknown escape '\\q'"},
        {"[K]\n\"A\"=sz(3):\"\\x4\"\n", 3, "expected two hex digits after '\\x'"},
        {"[K]\n\"A\"=dword:1\n", 3, "expected 8 hex digits"},
        {"[K]\n\"A\"=hex:1,22\n", 3, "expected a byte as two hex digits"},
        {"[K]\n\"A\"=hex:11,\n", 3, "expected a byte as two hex digits"},
        {"[K]\n\"A\"=hex(x):11\n", 3, "expected a hex type number"},
        {"[K]\n\"A\"=str:\"x\"\n", 3, "unknown value type"},
        {"[K]\n\"A\"=dword:00000001 x\n", 3, "unexpected text after the value"},
        {"[K]\n\"A\"=hex:\n\"a\"=hex:\n", 4, "value \"a\" is given twice"},
        {"[K]\n@=hex:\n\"\"=hex:\n", 4, "value \"\" is given twice"},
        {"[K]\n\"A\\0\"=hex:\n", 3, "invalid value name"},
        {"[K]\n\"A\n", 3, "missing '\"' at the end of the value name"},
        {"[K]\nA=hex:\n", 3, "expected a key header"},
    };
    for (const Case& c : cases) {
        const HiveTextParse parsed = ParseHiveText("KestrixRegistry 1\n" + c.body);
        ASSERT_TRUE(parsed.error) << c.body;
        EXPECT_EQ(parsed.error->line, c.line) << c.body;
        EXPECT_NE(parsed.error->message.find(c.message), std::string::npos)
            << c.body << " gave: " << parsed.error->message;
        EXPECT_EQ(parsed.tree, RegistryTree());
    }
}

TEST(RegistryTextTest, RequiresTheHeaderLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "expected the first line 'KestrixRegistry 1'"},
        {"[K]\n", "expected the first line 'KestrixRegistry 1'"},
        {"KestrixRegistry 2\n", "unsupported format version '2'"},
    };
    for (const auto& [text, message] : cases) {
        const HiveTextParse parsed = ParseHiveText(text);
        ASSERT_TRUE(parsed.error) << text;
        EXPECT_EQ(parsed.error->line, 1u);
        EXPECT_EQ(parsed.error->message, message);
    }
    EXPECT_FALSE(ParseHiveText("KestrixRegistry 1").error);
}

}  // namespace
}  // namespace kx
