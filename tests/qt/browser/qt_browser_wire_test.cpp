#include "platform/linux/qt/qt_browser_wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kx {
namespace {

struct FormCase {
    const char* form;
    std::vector<std::pair<std::u16string, std::u16string>> fields;
};

TEST(QtBrowserWire, DecodesFormFieldsAsWindows1252) {
    const FormCase cases[] = {
        {"a=1&b=x+y", {{u"a", u"1"}, {u"b", u"x y"}}},
        {"n=J%E9r%f4me&t=%26%3D%25%2B", {{u"n", u"J\u00e9r\u00f4me"}, {u"t", u"&=%+"}}},
        {"raw=caf\xe9&euro=%80", {{u"raw", u"caf\u00e9"}, {u"euro", u"\u20ac"}}},
        {"m=l1%0D%0Al2", {{u"m", u"l1\r\nl2"}}},
        {"bad=%zz%4&end=%", {{u"bad", u"%zz%4"}, {u"end", u"%"}}},
        {"&&flag&e=&=v&x=a=b", {{u"flag", u""}, {u"e", u""}, {u"", u"v"}, {u"x", u"a=b"}}},
        {"", {}},
    };
    for (const FormCase& c : cases) {
        std::vector<std::pair<std::u16string, std::u16string>> got;
        for (const FormField& field : DecodeFormFields(c.form)) {
            got.emplace_back(field.name.toStdU16String(), field.value.toStdU16String());
        }
        EXPECT_EQ(got, c.fields) << c.form;
    }
}

TEST(QtBrowserWire, SplitsHeaderLines) {
    const auto lines = SplitHeaderLines(
        "Content-Type: application/x-www-form-urlencoded\r\n\r\nno colon\r\n: nameless\r\n"
        "X-A:b\nX-Caf\xe9: v\xe9 \r\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].name, "Content-Type");
    EXPECT_EQ(lines[0].value, "application/x-www-form-urlencoded");
    EXPECT_EQ(lines[1].name, "X-A");
    EXPECT_EQ(lines[1].value, "b");
    EXPECT_EQ(lines[2].name, "X-Caf\xe9");
    EXPECT_EQ(lines[2].value, "v\xe9");
}

TEST(QtBrowserWire, MakesLineBreaksCrLf) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"a\nb", u"a\r\nb"},   {u"a\rb", u"a\r\nb"},           {u"a\r\nb", u"a\r\nb"},
        {u"\n\r", u"\r\n\r\n"}, {u"\r\r\n\n", u"\r\n\r\n\r\n"}, {u"", u""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(WithCrLf(in), out);
}

TEST(QtBrowserWire, RefusesMalformedReports) {
    const char* cases[] = {
        "",
        "not json",
        "[1,2]",
        R"({"top":true,"doc":"d","url":"u"})",
        R"({"kind":"unload","top":true,"doc":"d","url":"u"})",
        R"({"kind":"load","top":"yes","doc":"d","url":"u"})",
        R"({"kind":"load","top":true,"doc":7,"url":"u"})",
        R"({"kind":"load","top":true,"doc":"d"})",
        R"({"kind":"click","top":true,"doc":"d","url":"u","element":{"a":"b"}})",
        R"({"kind":"click","top":true,"doc":"d","url":"u","element":[["a","b","c"]]})",
        R"({"kind":"click","top":true,"doc":"d","url":"u","element":[["a",1]]})",
        R"({"kind":"click","top":true,"doc":"d","url":"u","named":"kxp1"})",
        R"({"kind":"click","top":true,"doc":"d","url":"u","named":{"key":1}})",
        R"({"kind":"click","top":true,"doc":"d","url":"u","named":{"key":"k","attributes":[]}})",
        R"({"kind":"click","top":true,"doc":"d","url":"u","named":{"key":"k","attributes":5}})",
        R"({"kind":"click","top":true,"doc":"d","url":"u","click":0})",
        R"({"kind":"click","top":true,"doc":"d","url":"u","click":1.5})",
        R"({"kind":"click","top":true,"doc":"d","url":"u","click":"3"})",
        R"({"kind":"click","top":true,"doc":"d","url":"u","click":4294967296})",
        R"({"kind":"load","top":true,"doc":"d","url":"u","click":3})",
    };
    for (const char* text : cases) {
        EXPECT_FALSE(ParsePageReport(QString::fromUtf8(text))) << text;
    }
}

TEST(QtBrowserWire, ReadsAClickReport) {
    const auto report = ParsePageReport(QString::fromUtf8(
        R"({"kind":"click","top":false,"doc":"d1","url":"http://h/p",)"
        R"("element":[["kxcommand","Go"]],)"
        R"("named":{"key":"kxp1","attributes":[["id","kxp1"]],"text":"a=1\nb=\u00e9\rc"}})"));
    ASSERT_TRUE(report);
    EXPECT_EQ(report->kind, PageReport::Kind::Click);
    EXPECT_EQ(report->frame, PageReport::Frame::Sub);
    EXPECT_EQ(report->document_id, "d1");
    EXPECT_EQ(report->url, u"http://h/p");
    ASSERT_TRUE(report->element);
    EXPECT_EQ(report->element->attributes, (AttributeList{{u"kxcommand", u"Go"}}));
    EXPECT_EQ(report->named_key, u"kxp1");
    ASSERT_TRUE(report->named);
    EXPECT_EQ(report->named->text, u"a=1\r\nb=\u00e9\r\nc");
    EXPECT_EQ(report->click_number, 0u);
    EXPECT_TRUE(NamesCommand(*report->element));
    EXPECT_TRUE(NamesCommand(ElementSnapshot{{{u"id", u"x"}, {u"KXCommand", u""}}, {}}));
    EXPECT_FALSE(NamesCommand(ElementSnapshot{{{u"kxparams", u"p"}}, {}}));

    const auto numbered = ParsePageReport(
        QString::fromUtf8(R"({"kind":"click","top":true,"doc":"d","url":"u","click":4294967295})"));
    ASSERT_TRUE(numbered);
    EXPECT_EQ(numbered->click_number, 4294967295u);

    const auto unnamed = ParsePageReport(
        QString::fromUtf8(R"({"kind":"load","top":true,"doc":"d","url":"u","element":null,)"
                          R"("named":{"key":"k","attributes":null}})"));
    ASSERT_TRUE(unnamed);
    EXPECT_FALSE(unnamed->element);
    EXPECT_EQ(unnamed->named_key, u"k");
    EXPECT_FALSE(unnamed->named);
}

}  // namespace
}  // namespace kx
