#include "app/tip_command.h"
#include "app/tip_command.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/console_harness.h"
#include "resources/tip_template.h"

namespace kx {
namespace {

using test::ConsoleHarness;
using test::ScriptedDialog;

constexpr int kTipTemplate = kTipTemplateId;
constexpr int kCheckBox = tip_control::kDontShowAgain;
constexpr int kClose = tip_control::kClose;

const test::ScriptedWindowSystem::Step kClosed = [](ScriptedDialog& d) { d.Click(kClose); };
const test::ScriptedWindowSystem::Step kTickedAndClosed = [](ScriptedDialog& d) {
    d.Click(kCheckBox);
    d.Click(kClose);
};

std::string TipParams(std::string_view name, std::string_view url) {
    return "TIPNAME=" + std::string(name) + "\r\nURL=" + std::string(url) + "\r\n";
}

// The type and bytes of the tips key's value `name`, when it can be read.
std::optional<std::pair<RegType, std::string>> TipValue(Registry& registry,
                                                        std::string_view name) {
    UniqueRegKey key(registry);
    if (registry.OpenKey(kHKeyCurrentUser, kTipsKey, RegAccess::Read, key.put()) != 0) {
        return std::nullopt;
    }
    std::uint8_t data[64];
    std::uint32_t size = sizeof data;
    RegType type = RegType::None;
    if (registry.QueryValue(key.get(), name, &type, data, &size) != 0) return std::nullopt;
    return std::pair{type, std::string(data, data + size)};
}

// A logged-in console whose TIP runs over a run's own list of shown tips.
struct Tips {
    Tips() {
        // A tip window that nobody expected gives up soon instead of hanging.
        h.windows.SetIdleTimeout(std::chrono::milliseconds(100));
        h.Open();
    }

    // Runs TIP with `params`; a tip window that opens takes `player`, if any.
    void Run(const std::string& params,
             const std::optional<test::ScriptedWindowSystem::Step>& player = std::nullopt) {
        if (player) h.windows.Then(*player);
        h.console.params.Parse(params.c_str(), 1);
        RunTipCommand(h.console, h.ports, shown);
    }
    int TipWindows() const {
        int count = 0;
        for (const auto& d : h.windows.Dialogs()) count += d->TemplateId() == kTipTemplate ? 1 : 0;
        return count;
    }

    ConsoleHarness h;
    ShownTips shown;
};

TEST(TipCommandTest, EachTipNameIsShownOncePerRun) {
    Tips t;
    t.Run(TipParams("news", "http://tips.test/news.asp"), kClosed);
    t.Run(TipParams("news", "http://tips.test/news-again.asp"));
    t.Run(TipParams("promo", "http://tips.test/promo.asp"), kTickedAndClosed);
    t.Run(TipParams("promo", "http://tips.test/promo.asp"));
    // Names are compared exactly within a run.
    t.Run(TipParams("News", "http://tips.test/News.asp"), kClosed);

    EXPECT_EQ(t.h.browser.PlainNavigations(),
              (std::vector<std::string>{"http://tips.test/news.asp", "http://tips.test/promo.asp",
                                        "http://tips.test/News.asp"}));
    EXPECT_EQ(t.shown, (ShownTips{"news", "promo", "News"}));
    EXPECT_EQ(t.TipWindows(), 3);
    for (const auto& d : t.h.windows.Dialogs()) {
        EXPECT_EQ(d->Owner(), t.h.dialog->Window());
        EXPECT_EQ(d->Result(), 1);
    }
    EXPECT_TRUE(t.h.windows.MessageBoxes().empty());
}

TEST(TipCommandTest, OnlyATickedBoxSuppressesTheTipInLaterRuns) {
    struct Case {
        const char* name;
        test::ScriptedWindowSystem::Step player;
        std::optional<std::pair<RegType, std::string>> stored;
        int windows_next_run;
    } const cases[] = {
        {"ticked", kTickedAndClosed, std::pair{RegType::Sz, test::Sz("1")}, 0},
        {"not ticked", kClosed, std::nullopt, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Outlives both runs, as the registry outlives the process.
        MemoryRegistry registry;
        {
            Tips first;
            first.h.ports.registry = &registry;
            first.Run(TipParams("welcome", "http://tips.test/welcome.asp"), c.player);
        }
        EXPECT_EQ(TipValue(registry, "welcome"), c.stored);

        Tips next;
        next.h.ports.registry = &registry;
        next.Run(TipParams("welcome", "http://tips.test/welcome.asp"),
                 c.windows_next_run > 0 ? std::optional(kClosed) : std::nullopt);
        EXPECT_EQ(next.TipWindows(), c.windows_next_run);
        EXPECT_EQ(next.shown, ShownTips{"welcome"});
    }
}

TEST(TipCommandTest, AnyReadableValueSuppressesTheTipYetItsNameCountsAsShown) {
    struct Case {
        const char* name;
        std::string value_name;
        std::string data;
        int windows;
    } const cases[] = {
        {"the value the console writes", "daily", test::Sz("1"), 0},
        {"other data", "daily", test::Sz("0"), 0},
        {"empty data", "daily", "", 0},
        {"name in other letter case", "DAILY", test::Sz("1"), 0},
        {"25 bytes fit the read", "daily", std::string(24, 'x') + '\0', 0},
        {"26 bytes do not", "daily", std::string(25, 'x') + '\0', 1},
        {"another tip's value", "weekly", test::Sz("1"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tips t;
        test::SetValue(t.h.registry, kTipsKey, c.value_name, c.data);
        t.Run(TipParams("daily", "http://tips.test/daily.asp"),
              c.windows > 0 ? std::optional(kClosed) : std::nullopt);
        EXPECT_EQ(t.TipWindows(), c.windows);
        EXPECT_EQ(t.shown, ShownTips{"daily"});
    }
}

TEST(TipCommandTest, AMissingParameterIsReportedAndNothingRecorded) {
    struct Case {
        const char* params;
        const char* message;
    } const cases[] = {
        {"TIPNAME=news\r\n", "URL parameter not supplied for TIP command."},
        {"URL=http://tips.test/news.asp\r\n", "TIPNAME parameter not supplied for TIP command."},
        {"url=http://tips.test/news.asp\r\ntipname=news\r\n",
         "URL parameter not supplied for TIP command."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params);
        Tips t;
        t.Run(c.params);
        ASSERT_EQ(t.h.windows.MessageBoxes().size(), 1u);
        const test::MessageBoxRecord& box = t.h.windows.MessageBoxes()[0];
        EXPECT_EQ(box.text, c.message);
        EXPECT_EQ(box.caption, "Command Error");
        EXPECT_EQ(box.buttons, MessageBoxButtons::Ok);
        EXPECT_EQ(box.owner, t.h.dialog->Window());
        EXPECT_TRUE(t.shown.empty());
        EXPECT_EQ(t.TipWindows(), 0);
    }
}

TEST(TipCommandTest, WidthAndHeightAreReadAsLeadingIntegers) {
    struct Case {
        const char* size_params;
        std::optional<PixelRect> client;  // nothing: the template's layout stays
    } const cases[] = {
        {"WIDTH= 400px\r\nHEIGHT=+300.5\r\n", PixelRect{0, 0, 400, 330}},
        {"WIDTH=wide\r\nHEIGHT=-3\r\n", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size_params);
        Tips t;
        t.Run(TipParams("sized", "http://tips.test/sized.asp") + c.size_params, kClosed);
        ASSERT_EQ(t.TipWindows(), 1);
        EXPECT_EQ(t.h.windows.Last().ClientSize(), c.client);
    }
}

TEST(TipCommandTest, TheConsoleCommandsReachTheirHandlers) {
    ConsoleHarness h;
    h.Open();
    h.windows.Then(kClosed);
    // A name no other test uses: this runs over the console-wide list.
    h.console.params.Parse(TipParams("wiring-check", "http://tips.test/w.asp").c_str(), 1);
    EXPECT_TRUE(h.console.DispatchCommand("TIP"));
    EXPECT_EQ(h.browser.PlainNavigations(), std::vector<std::string>{"http://tips.test/w.asp"});
    EXPECT_EQ(TheShownTips().back(), "wiring-check");

    h.console.params.Parse("", 1);
    EXPECT_TRUE(h.console.DispatchCommand("INSTALL"));
    EXPECT_TRUE(h.console.DispatchCommand("UPGRADE"));
    std::vector<std::string> texts = h.MessageTexts();
    EXPECT_EQ(texts, (std::vector<std::string>{"URL parameter not supplied for INSTALL command.",
                                               "URL parameter not supplied for INSTALL command."}));
}

}  // namespace
}  // namespace kx
