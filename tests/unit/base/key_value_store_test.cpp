#include "base/key_value_store.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <type_traits>

namespace kx {
namespace {

using Pairs = std::map<std::string, std::string>;

Pairs ParseOnce(const char* text) {
    KeyValueStore store;
    EXPECT_EQ(store.Parse(text, 1), 1);
    return store.Values();
}

TEST(KeyValueStoreTest, ParsesReplyLinesAsTheServiceWritesThem) {
    struct Case {
        const char* name;
        const char* text;
        Pairs expected;
    } const cases[] = {
        {"login reply", "ERRORCODE=0\r\nUSERID=77\r\nSESSIONID=abc\r\n",
         {{"ERRORCODE", "0"}, {"USERID", "77"}, {"SESSIONID", "abc"}}},
        {"last line without CR LF", "A=1\r\nB=2", {{"A", "1"}, {"B", "2"}}},
        {"empty value kept", "ERRORCODE=0\r\nERRORTEXT=\r\n", {{"ERRORCODE", "0"}, {"ERRORTEXT", ""}}},
        {"repeated key, last wins", "A=1\r\nA=2\r\n", {{"A", "2"}}},
        {"value keeps further equals", "K=v=w", {{"K", "v=w"}}},
        {"empty key", "=v\r\n", {{"", "v"}}},
        {"LF only is one line", "A=1\nB=2", {{"A", "1\nB=2"}}},
        {"lone CR eats the next byte", "A=1\rB=2\r\n", {{"A", "1"}, {"", "2"}}},
        {"nothing trimmed", " K = v \r\n", {{" K ", " v "}}},
        {"lines without equals skipped", "junk\r\n\r\nA=1\r\nmore junk\r\nB=\r\n",
         {{"A", "1"}, {"B", ""}}},
        {"nothing decoded", "A=a+b%20c\r\n", {{"A", "a+b%20c"}}},
        {"CR at the very end", "A=1\r", {{"A", "1"}}},
        {"empty text", "", {}},
        {"only CR LF", "\r\n\r\n", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseOnce(c.text), c.expected) << c.name;
}

TEST(KeyValueStoreTest, ParseStopsAtTheTextsTerminatingZero) {
    const std::string text("A=1\r\nB=2\0C=3", 12);
    EXPECT_EQ(ParseOnce(text.c_str()), (Pairs{{"A", "1"}, {"B", "2"}}));
}

TEST(KeyValueStoreTest, ClearFlagZeroReparsesTheAccumulatedText) {
    KeyValueStore store;
    store.Parse("A=1\r\n", 1);
    store.Parse("B=2\r\n", 0);
    EXPECT_EQ(store.Values(), (Pairs{{"A", "1"}, {"B", "2"}}));
    store.Parse("A=3\r\n", 0);
    EXPECT_EQ(store.Values(), (Pairs{{"A", "3"}, {"B", "2"}}));
    EXPECT_EQ(store.Text(), "A=1\r\nB=2\r\nA=3\r\n");
}

TEST(KeyValueStoreTest, ClearFlagOneForgetsEarlierReplies) {
    KeyValueStore store;
    store.Parse("A=1\r\n", 1);
    store.Parse("B=2\r\n", 1);
    EXPECT_EQ(store.Values(), (Pairs{{"B", "2"}}));
    store.Parse("", 1);
    EXPECT_TRUE(store.Values().empty());
}

TEST(KeyValueStoreTest, LookupIsExactAndLeavesOutputAloneWhenAbsent) {
    KeyValueStore store;
    store.Parse("ERRORCODE=0\r\nERRORTEXT=\r\n", 1);

    std::string out = "untouched";
    EXPECT_FALSE(store.Lookup("errorcode", out));
    EXPECT_EQ(out, "untouched");
    EXPECT_FALSE(store.Lookup("ERRORCODE ", out));
    EXPECT_EQ(out, "untouched");

    EXPECT_TRUE(store.Lookup("ERRORTEXT", out));
    EXPECT_EQ(out, "");
    EXPECT_TRUE(store.Lookup("ERRORCODE", out));
    EXPECT_EQ(out, "0");
}

TEST(KeyValueStoreTest, SetReplacesAndSerializeEncodesKeysAndValuesInKeyOrder) {
    KeyValueStore store;
    store.Set("B", "2 3");
    store.Set("A", "x");
    EXPECT_EQ(store.Serialize(), "A=%78&B=2+3");
    store.Set("A", "new");
    store.Set("a key", "&");
    EXPECT_EQ(store.Serialize(), "A=new&B=2+3&a+ke%79=%26");
    EXPECT_EQ(KeyValueStore().Serialize(), "");
}

TEST(KeyValueStoreTest, KeysOrderByUnsignedBytes) {
    KeyValueStore store;
    store.Set("\xE9", "1");
    store.Set("Z", "2");
    store.Set("ZZ", "3");
    store.Set("a", "4");
    EXPECT_EQ(store.Serialize(), "Z=2&ZZ=3&a=4&%E9=1");
}

TEST(KeyValueStoreTest, ParseCanBeOverriddenAndDeletedThroughTheBase) {
    static_assert(std::has_virtual_destructor_v<KeyValueStore>);
    struct Counting : KeyValueStore {
        int calls = 0;
        int Parse(const char* text, int clear) override {
            ++calls;
            return KeyValueStore::Parse(text, clear);
        }
    };
    Counting counting;
    KeyValueStore& base = counting;
    base.Parse("A=1", 1);
    EXPECT_EQ(counting.calls, 1);
}

}  // namespace
}  // namespace kx
