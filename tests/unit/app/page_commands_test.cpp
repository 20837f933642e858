#include "app/page_commands.h"

#include <gtest/gtest.h>

#include "support/console_harness.h"
#include "net/service_interface.h"
#include "platform/hresult.h"

namespace kx {
namespace {

using test::ConsoleHarness;
using test::ScriptedDocument;
using test::ScriptedElement;
using test::Url;
using Step = ScriptedDocument::Step;


using Params = std::map<std::string, std::string>;

// A console showing a service page. REFRESH only reloads the last page, so
// each of its runs is one navigation and shows no box; what it saw is the
// console's parameters afterwards.
struct PageScene {
    PageScene() {
        h.Open();
        navigations_at_open = h.browser.Navigations().size();
    }

    std::size_t Refreshes() const { return h.browser.Navigations().size() - navigations_at_open; }

    // The page arrives as the browser's top-level document.
    void Load() { h.browser.LoadPage(page); }

    ScriptedElement& Link(std::u16string command) {
        return page->Body().AddChild().Set(u"KXCommand", std::move(command));
    }
    ScriptedElement& Hidden(std::u16string id, std::u16string text) {
        return page->Body().AddChild().Set(u"id", std::move(id)).SetText(std::move(text));
    }

    ConsoleHarness h;
    std::shared_ptr<ScriptedDocument> page = h.ServicePage();
    std::size_t navigations_at_open = 0;
};


TEST(PageCommandTest, AClickOnAnElementWithoutCommandDoesNothing) {
    PageScene t;
    t.h.console.params.Parse("OLD=1\r\n", 1);
    ScriptedElement& plain = t.page->Body().AddChild().Set(u"KXParams", u"p");
    t.Hidden(u"p", u"NEW=2");
    t.Load();
    EXPECT_EQ(t.page->Click(plain), false);
    EXPECT_EQ(t.h.console.params.Values(), (Params{{"OLD", "1"}}));
    EXPECT_TRUE(t.h.windows.MessageBoxes().empty());
}

TEST(PageCommandTest, AClickRunsTheCommandWithTheNamedElementsParameters) {
    PageScene t;
    ScriptedElement& tip = t.Link(u"REFRESH").Set(u"KXParams", u"tipdata");
    t.Hidden(u"tipdata", u"TIPNAME=news\r\nURL=http://x/y?a=b\r\n");
    t.Load();
    EXPECT_EQ(t.page->Click(tip), true);
    EXPECT_EQ(t.Refreshes(), 1u);
    EXPECT_EQ(t.h.console.params.Values(),
              (Params{{"TIPNAME", "news"}, {"URL", "http://x/y?a=b"}}));
    EXPECT_TRUE(t.h.windows.MessageBoxes().empty()) << "only a page load shows the parameters";
    EXPECT_EQ(tip.AttributeFlags(), (std::vector<std::int32_t>{2, 2}));
}

TEST(PageCommandTest, ParametersAreReplacedOnlyWhenAParameterElementIsFound) {
    struct Case {
        const char* name;
        void (*arrange)(PageScene&, ScriptedElement& link);
        Params seen;
    } const cases[] = {
        {"no KXParams", [](PageScene&, ScriptedElement&) {}, {{"OLD", "1"}}},
        {"names nothing", [](PageScene&, ScriptedElement& l) { l.Set(u"KXParams", u"gone"); },
         {{"OLD", "1"}}},
        {"names a non-HTML element",
         [](PageScene& t, ScriptedElement& l) {
             l.Set(u"KXParams", u"p");
             t.Hidden(u"p", u"NEW=2").NotHtml();
         },
         {{"OLD", "1"}}},
        {"KXParams not a string",
         [](PageScene& t, ScriptedElement& l) {
             l.SetNonString(u"KXParams");
             t.Hidden(u"p", u"NEW=2");
         },
         {{"OLD", "1"}}},
        {"found by name, first in document order",
         [](PageScene& t, ScriptedElement& l) {
             l.Set(u"KXParams", u"p");
             t.page->Body().AddChild().AddChild().Set(u"name", u"p").SetText(u"FIRST=1");
             t.Hidden(u"p", u"SECOND=2");
         },
         {{"FIRST", "1"}}},
        {"one line without a break",
         [](PageScene& t, ScriptedElement& l) {
             l.Set(u"KXParams", u"p");
             t.Hidden(u"p", u"TOURNAMENTID=17");
         },
         {{"TOURNAMENTID", "17"}}},
        {"empty text empties the record",
         [](PageScene& t, ScriptedElement& l) {
             l.Set(u"KXParams", u"p");
             t.Hidden(u"p", u"");
         },
         {}},
        {"text converted to the ANSI code page",
         [](PageScene& t, ScriptedElement& l) {
             l.Set(u"KXParams", u"p");
             t.Hidden(u"p", u"NAME=Caf\u00e9 \u20ac \u4e2d");
         },
         {{"NAME", "Caf\xe9 \x80 ?"}}},
    };
    for (const Case& c : cases) {
        PageScene t;
        t.h.console.params.Parse("OLD=1\r\n", 1);
        ScriptedElement& link = t.Link(u"REFRESH");
        c.arrange(t, link);
        t.Load();
        EXPECT_EQ(t.page->Click(link), true) << c.name;
        EXPECT_EQ(t.Refreshes(), 1u) << c.name;
        EXPECT_EQ(t.h.console.params.Values(), c.seen) << c.name;
        EXPECT_TRUE(t.h.windows.MessageBoxes().empty()) << c.name;
    }
}

TEST(PageCommandTest, OnlyExactKnownCommandWordsAreTakenAndAttributeNamesIgnoreCase) {
    struct Case {
        std::u16string attribute;
        std::u16string word;
        bool result;
    } const cases[] = {
        {u"KXCommand", u"REFRESH", true},     {u"kxcommand", u"REFRESH", true},
        {u"KXCOMMAND", u"REFRESH", true},     {u"KXCommand", u"refresh", false},
        {u"KXCommand", u"REFRESH ", false},   {u"KXCommand", u"", false},
        {u"KXCommand", u"NOSUCH", false},     {u"KXOnLoad", u"REFRESH", false},
    };
    for (const auto& c : cases) {
        PageScene t;
        ScriptedElement& link = t.page->Body().AddChild().Set(c.attribute, c.word);
        t.Load();
        EXPECT_EQ(t.page->Click(link), c.result);
        EXPECT_EQ(t.Refreshes(), c.result ? 1u : 0u);
        EXPECT_TRUE(t.h.windows.MessageBoxes().empty());
    }
}

TEST(PageCommandTest, AClickOnNothingOrANonStringCommandIsNoCommand) {
    PageScene t;
    ScriptedElement& odd = t.page->Body().AddChild().SetNonString(u"KXCommand");
    t.Load();
    EXPECT_EQ(t.page->Click(odd), false);
    t.page->SetActiveElement(nullptr);
    EXPECT_EQ(t.h.console.OnClickHTMLDocument(), false);
    EXPECT_TRUE(t.h.windows.MessageBoxes().empty());
}

TEST(PageCommandTest, APageLoadShowsTheParameterTextThenRunsTheCommand) {
    PageScene t;
    // TOURDETAIL without its parameter answers with a box, so the order of
    // the two boxes shows which came first.
    t.page->Body().Set(u"KXOnLoad", u"TOURDETAIL").Set(u"KXParams", u"p");
    t.Hidden(u"p", u"TIPNAME=news\r\nURL=u\r\n");
    t.Load();
    ASSERT_EQ(t.h.windows.MessageBoxes().size(), 2u);
    EXPECT_EQ(t.h.windows.MessageBoxes()[0].text, "TIPNAME=news\r\nURL=u\r\n");
    EXPECT_EQ(t.h.windows.MessageBoxes()[0].caption, "00");
    EXPECT_EQ(t.h.windows.MessageBoxes()[0].owner, t.h.console.Window());
    EXPECT_EQ(t.h.windows.MessageBoxes()[1].text,
              "TOURNAMENTID parameter not supplied for TOURDETAIL command.");
    EXPECT_EQ(t.h.console.params.Values(), (Params{{"TIPNAME", "news"}, {"URL", "u"}}));
}

TEST(PageCommandTest, APageWithoutOnLoadCommandOrBodyRunsNothing) {
    PageScene t;
    t.page->Body().Set(u"KXCommand", u"REFRESH");  // a click attribute on the body is not an on-load
    t.Load();
    auto bodiless = t.h.ServicePage();
    bodiless->RemoveBody();
    t.h.browser.LoadPage(bodiless);
    EXPECT_EQ(t.Refreshes(), 0u);
    EXPECT_TRUE(t.h.windows.MessageBoxes().empty());
}

// Every failure of the document model is shown once, with the failing code,
// and the command does not run.
TEST(PageCommandFailureTest, EachFailingStepShowsItsMessageAndRunsNothing) {
    struct Case {
        PageCommandSource source;
        std::optional<Step> step;        // a document step that fails
        const char16_t* failing_attribute;  // or an attribute read that fails
        bool failing_text;               // or the parameter text
        HResult code;
        std::string message;
    } const cases[] = {
        {PageCommandSource::Click, Step::QueryHtmlDocument, nullptr, false, kE_NOINTERFACE,
         "QueryInterface for IHtmlDocment2 failed: 0x80004002 (OnClickHTMLDocument)"},
        {PageCommandSource::Click, Step::ActiveElement, nullptr, false, kE_FAIL,
         "Unable to acquire active element: 0x80004005 (OnClickHTMLDocument)"},
        {PageCommandSource::Click, std::nullopt, u"KXCommand", false, kE_ACCESSDENIED,
         "Unable to acquire element attribute: 0x80070005 (OnClickHTMLDocument)"},
        {PageCommandSource::Click, std::nullopt, u"KXParams", false, kE_OUTOFMEMORY,
         "Unable to acquire element attribute: 0x8007000e (OnClickHTMLDocument)"},
        {PageCommandSource::Click, Step::All, nullptr, false, kE_FAIL,
         "Unable to acquire IHTMLElementCollection: 0x80004005 (OnClickHTMLDocument)"},
        {PageCommandSource::Click, std::nullopt, nullptr, true, kE_POINTER,
         "Unable to get command parameters: 0x80004003 (OnClickHTMLDocument)"},
        {PageCommandSource::PageLoad, Step::QueryHtmlDocument, nullptr, false, kE_NOINTERFACE,
         "QueryInterface for IHtmlDocment2 failed: 0x80004002 (DoPageLoad)"},
        {PageCommandSource::PageLoad, Step::Body, nullptr, false, kE_FAIL,
         "Unable to acquire body element: 0x80004005 (DoPageLoad)"},
        {PageCommandSource::PageLoad, std::nullopt, u"KXOnLoad", false, kE_FAIL,
         "Unable to acquire element attribute: 0x80004005 (DoPageLoad)"},
        {PageCommandSource::PageLoad, std::nullopt, u"KXParams", false, kE_FAIL,
         "Unable to acquire element attribute: 0x80004005 (DoPageLoad)"},
        {PageCommandSource::PageLoad, Step::All, nullptr, false, kE_INVALIDARG,
         "Unable to acquire IHTMLElementCollection: 0x80070057 (DoPageLoad)"},
        {PageCommandSource::PageLoad, std::nullopt, nullptr, true, kE_FAIL,
         "Unable to get command parameters: 0x80004005 (DoPageLoad)"},
    };
    for (const Case& c : cases) {
        const HResult code = c.code;
        ConsoleHarness h;
        h.Open();
        h.console.params.Parse("OLD=1\r\n", 1);
        const std::size_t navigations = h.browser.Navigations().size();

        auto page = h.ServicePage();
        ScriptedElement& element = c.source == PageCommandSource::Click
                                       ? page->Body().AddChild().Set(u"KXCommand", u"REFRESH")
                                       : page->Body().Set(u"KXOnLoad", u"REFRESH");
        element.Set(u"KXParams", u"p");
        ScriptedElement& parameters =
            page->Body().AddChild().Set(u"id", u"p").SetText(u"NEW=2");
        if (c.step) page->Fail(*c.step, code);
        if (c.failing_attribute != nullptr) element.FailAttribute(c.failing_attribute, code);
        if (c.failing_text) parameters.FailText(code);

        h.browser.LoadPage(page);
        if (c.source == PageCommandSource::Click) {
            if (c.step == Step::QueryHtmlDocument) {
                // Such a document never gets a sink; the check still guards a direct call.
                EXPECT_FALSE(h.console.OnClickHTMLDocument()) << c.message;
            } else {
                EXPECT_EQ(page->Click(element), false) << c.message;
            }
        } else if (c.step == Step::QueryHtmlDocument) {
            h.console.DoPageLoad();
        }

        ASSERT_EQ(h.windows.MessageBoxes().size(), 1u) << c.message;
        EXPECT_EQ(h.windows.MessageBoxes()[0].text, c.message);
        EXPECT_EQ(h.windows.MessageBoxes()[0].caption, "Console Error");
        EXPECT_EQ(h.windows.MessageBoxes()[0].owner, h.console.Window());
        EXPECT_EQ(h.browser.Navigations().size(), navigations) << c.message;
        EXPECT_EQ(h.console.params.Values(), (Params{{"OLD", "1"}})) << c.message;
    }
}

TEST(PageOriginTest, OnlyTheServiceHostCountsWhateverSchemePortOrCase) {
    struct Case {
        const char* url;
        bool service;
    } const cases[] = {
        {"http://console.kestrix.com/ws_Console/tournamentconsole.asp", true},
        {"https://CONSOLE.Kestrix.COM/x", true},
        {"http://console.kestrix.com:8080/x", true},
        {"http://console.kestrix.com", true},
        {"http://console.kestrix.com?q", true},
        {"res://console.kestrix.com/x", true},
        {"http://player@console.kestrix.com/x", true},
        {"http://evil.example/?console.kestrix.com", false},
        {"http://console.kestrix.com.evil.example/x", false},
        {"http://evil.console.kestrix.com/x", false},
        {"http://console.kestrix.com@evil.example/x", false},
        {"http://evil.example\\@console.kestrix.com/x", false},
        {"http://console.kestrix.co/x", false},
        {"http://console.kestrix.com./x", false},
        {"about:blank", false},
        {"console.kestrix.com/x", false},
        {"://console.kestrix.com/x", false},
        {"http:///x", false},
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsServiceOrigin(c.url, "console.kestrix.com"), c.service) << c.url;
    }
}

TEST(PageOriginTest, AForeignPageCannotRunCommandsAndShowsNothing) {
    const std::u16string foreign[] = {u"http://evil.example/ws_Console/tournamentconsole.asp",
                                      u"about:blank"};
    for (const std::u16string& url : foreign) {
        ConsoleHarness h;
        h.Open();
        const std::size_t navigations = h.browser.Navigations().size();
        auto page = h.ServicePage(url);
        page->Body().Set(u"KXOnLoad", u"REFRESH").Set(u"KXParams", u"p");
        ScriptedElement& link = page->Body().AddChild().Set(u"KXCommand", u"REFRESH");
        page->Body().AddChild().Set(u"id", u"p").SetText(u"NEW=2");
        h.browser.LoadPage(page);
        EXPECT_EQ(page->Click(link), false);
        EXPECT_EQ(h.browser.Navigations().size(), navigations);
        EXPECT_TRUE(h.windows.MessageBoxes().empty());
        EXPECT_TRUE(h.console.params.Values().empty());
    }
}

TEST(PageOriginTest, ThePageOfAConfiguredServiceHostMayRunCommands) {
    ConsoleHarness h;
    test::SetValue(h.registry, kGeneralKey, "ServiceHost", test::Sz("Demo.Example"));
    h.Open();
    auto page = h.ServicePage(u"https://demo.example:8443/ws_Console/tournamentconsole.asp");
    ScriptedElement& link = page->Body().AddChild().Set(u"KXCommand", u"REFRESH");
    h.browser.LoadPage(page);
    EXPECT_EQ(page->Click(link), true);

    auto unreadable = h.ServicePage();
    unreadable->Fail(Step::Url, kE_FAIL);
    ScriptedElement& other = unreadable->Body().AddChild().Set(u"KXCommand", u"REFRESH");
    h.browser.LoadPage(unreadable);
    EXPECT_EQ(unreadable->Click(other), false) << "an origin that cannot be read is foreign";
}

}  // namespace
}  // namespace kx
