// QtDocument: the document model over the page script's snapshots, without
// a web engine.

#include "platform/linux/qt/qt_document.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kx {
namespace {

PageReport Load() {
    PageReport load;
    load.kind = PageReport::Kind::Load;
    load.document_id = QStringLiteral("doc-1");
    load.url = u"https://service.test/play";
    load.element = ElementSnapshot{{{u"KXParams", u"tour"}, {u"class", u"page"}}, std::nullopt};
    load.named_key = u"tour";
    load.named = ElementSnapshot{{{u"id", u"tour"}}, u"Game 7\r\nround 2"};
    return load;
}

std::optional<std::u16string> AttributeOf(Element& element, std::u16string_view name) {
    std::optional<std::u16string> value = u"unset";
    EXPECT_EQ(element.GetAttribute(name, 0, value), kS_OK);
    return value;
}

struct AttributeCase {
    const char* name;
    std::u16string asked;
    std::optional<std::u16string> value;
};

class BodyAttributeTest : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(BodyAttributeTest, NamesMatchIgnoringCase) {
    QtDocument document(Load());
    std::shared_ptr<Element> body;
    ASSERT_EQ(document.GetBody(body), kS_OK);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(AttributeOf(*body, GetParam().asked), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Names, BodyAttributeTest,
    ::testing::Values(AttributeCase{"as_written", u"KXParams", u"tour"},
                      AttributeCase{"lower_case", u"kxparams", u"tour"},
                      AttributeCase{"upper_case", u"CLASS", u"page"},
                      AttributeCase{"absent", u"style", std::nullopt},
                      AttributeCase{"prefix_only", u"KXParam", std::nullopt},
                      AttributeCase{"empty", u"", std::nullopt}),
    [](const ::testing::TestParamInfo<AttributeCase>& param) { return std::string(param.param.name); });

TEST(QtDocument, OnlyTheNamedElementIsFoundAndHasText) {
    QtDocument document(Load());
    std::shared_ptr<ElementCollection> all;
    ASSERT_EQ(document.GetAll(all), kS_OK);

    std::shared_ptr<Element> named;
    ASSERT_EQ(all->Item(u"tour", 0, named), kS_OK);
    ASSERT_NE(named, nullptr);
    std::u16string text;
    EXPECT_EQ(named->GetInnerText(text), kS_OK);
    EXPECT_EQ(text, u"Game 7\r\nround 2");

    std::shared_ptr<Element> other = named;
    EXPECT_EQ(all->Item(u"Tour", 0, other), kS_OK);
    EXPECT_EQ(other, nullptr) << "the collection's names keep their case";
    other = named;
    EXPECT_EQ(all->Item(u"tour", 1, other), kE_NOTIMPL);
    EXPECT_EQ(other, nullptr);

    std::shared_ptr<Element> body;
    ASSERT_EQ(document.GetBody(body), kS_OK);
    EXPECT_EQ(body->GetInnerText(text), kE_NOTIMPL);
}

TEST(QtDocument, AClickReplacesTheActiveAndNamedElementsAndKeepsTheBody) {
    QtDocument document(Load());
    std::shared_ptr<Element> body;
    std::shared_ptr<Element> active;
    ASSERT_EQ(document.GetBody(body), kS_OK);
    ASSERT_EQ(document.GetActiveElement(active), kS_OK);
    EXPECT_EQ(active, body) << "before any click the body is active";

    PageReport click;
    click.kind = PageReport::Kind::Click;
    click.element = ElementSnapshot{{{u"id", u"go"}}, std::nullopt};
    document.TakeClick(click);
    ASSERT_EQ(document.GetActiveElement(active), kS_OK);
    EXPECT_EQ(AttributeOf(*active, u"ID"), u"go");
    std::shared_ptr<ElementCollection> all;
    std::shared_ptr<Element> named;
    ASSERT_EQ(document.GetAll(all), kS_OK);
    ASSERT_EQ(all->Item(u"tour", 0, named), kS_OK);
    EXPECT_EQ(named, nullptr) << "the click named nothing";

    // A click that reports no element goes to the body.
    document.TakeClick(PageReport{});
    ASSERT_EQ(document.GetActiveElement(active), kS_OK);
    EXPECT_EQ(active, body);

    std::u16string url;
    ASSERT_EQ(document.GetUrl(url), kS_OK);
    EXPECT_EQ(url, u"https://service.test/play");
    EXPECT_EQ(document.Id(), QStringLiteral("doc-1"));
}

class CountingSink final : public DocumentEvents {
public:
    std::function<void()> during;
    int clicks = 0;

    bool OnClick() override {
        ++clicks;
        if (during) during();
        return true;
    }
};

TEST(QtDocument, SinksDetachedDuringAClickAreNotCalledAgain) {
    QtDocument document(Load());
    CountingSink first;
    CountingSink second;
    std::uint32_t first_cookie = kNoConnection;
    std::uint32_t second_cookie = kNoConnection;
    ASSERT_EQ(document.AttachClickSink(first, first_cookie), kS_OK);
    ASSERT_EQ(document.AttachClickSink(second, second_cookie), kS_OK);
    EXPECT_NE(first_cookie, kNoConnection);
    EXPECT_NE(first_cookie, second_cookie);

    first.during = [&] { EXPECT_EQ(document.DetachClickSink(second_cookie), kS_OK); };
    document.FireClick();
    EXPECT_EQ(first.clicks, 1);
    EXPECT_EQ(second.clicks, 0);

    EXPECT_EQ(document.DetachClickSink(second_cookie), kE_INVALIDARG);
    EXPECT_EQ(document.DetachClickSink(kNoConnection), kE_INVALIDARG);
    EXPECT_EQ(document.DetachClickSink(first_cookie), kS_OK);
    document.FireClick();
    EXPECT_EQ(first.clicks, 1);
}

}  // namespace
}  // namespace kx
