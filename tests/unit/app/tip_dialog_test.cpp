#include "app/tip_dialog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "resources/tip_template.h"
#include "support/scripted_browser.h"
#include "support/scripted_window_system.h"

namespace kx {
namespace {

using test::ScriptedDialog;

constexpr WindowId kConsole = 0x42;
constexpr std::string_view kTipUrl = "http://tournaments.test/tips/welcome.asp";
constexpr int kBrowser = tip_control::kBrowser;
constexpr int kCheckBox = tip_control::kDontShowAgain;
constexpr int kClose = tip_control::kClose;
constexpr std::int32_t kHuge = std::numeric_limits<std::int32_t>::max();

std::string Text(const PixelRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
           std::to_string(r.width()) + "x" + std::to_string(r.height());
}

struct Rig {
    // One dialog unit is one pixel, so the template's numbers read directly.
    Rig() {
        windows.SetBaseUnits(4, 8);
        windows.AttachBrowser(kBrowser, browser);
    }
    int Run() {
        TipDialog dialog(&request);
        return dialog.RunModal(windows, kConsole);
    }

    test::ScriptedWindowSystem windows;
    test::ScriptedBrowser browser;
    TipRequest request{.bShowAgain = 1, .url = std::string(kTipUrl)};
};

TEST(TipDialogTest, LaysTheWindowOutForTheRequestedSize) {
    struct Case {
        std::int32_t width;
        std::int32_t height;
        std::optional<PixelRect> client;  // nothing: the template's size stays
        PixelRect browser;
        PixelRect check_box;
        PixelRect close;
    } const cases[] = {
        {400, 300, PixelRect{0, 0, 400, 330}, {0, 0, 395, 300}, {0, 300, 107, 315},
         {360, 302, 395, 316}},
        // One side given: the window keeps the template's other side.
        {400, -1, PixelRect{0, 0, 400, 246}, {0, 0, 395, 216}, {0, 216, 107, 231},
         {360, 218, 395, 232}},
        {-1, 300, PixelRect{0, 0, 314, 330}, {0, 0, 309, 300}, {0, 300, 107, 315},
         {274, 302, 309, 316}},
        {kHuge, kHuge, PixelRect{0, 0, 32767, 32797}, {0, 0, 32762, 32767},
         {0, 32767, 107, 32782}, {32727, 32769, 32762, 32783}},
        // Nothing given: the template's layout.
        {-1, -1, std::nullopt, {0, 0, 313, 229}, {0, 230, 107, 245}, {278, 230, 313, 244}},
        {0, 0, std::nullopt, {0, 0, 313, 229}, {0, 230, 107, 245}, {278, 230, 313, 244}},
        {0, -7, std::nullopt, {0, 0, 313, 229}, {0, 230, 107, 245}, {278, 230, 313, 244}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        Rig rig;
        rig.request.width = c.width;
        rig.request.height = c.height;
        rig.windows.Then([](ScriptedDialog& d) { d.Click(kClose); });
        EXPECT_EQ(rig.Run(), 1);

        ScriptedDialog& d = rig.windows.Last();
        const auto client = d.ClientSize();
        EXPECT_EQ(client ? Text(*client) : "template", c.client ? Text(*c.client) : "template");
        EXPECT_EQ(Text(d.GetItemRect(kBrowser)), Text(c.browser));
        EXPECT_EQ(Text(d.GetItemRect(kCheckBox)), Text(c.check_box));
        EXPECT_EQ(Text(d.GetItemRect(kClose)), Text(c.close));
        EXPECT_EQ(rig.browser.PlainNavigations(), std::vector<std::string>{std::string(kTipUrl)});
        EXPECT_TRUE(rig.browser.Navigations().empty());
        EXPECT_FALSE(rig.browser.Listening()) << "a tip page takes no page commands";
        EXPECT_TRUE(d.Centred());
        EXPECT_EQ(d.Owner(), kConsole);
    }
}

TEST(TipDialogTest, CloseReportsWhetherTheBoxWasTicked) {
    using Step = std::function<void(ScriptedDialog&)>;
    const Step tick = [](ScriptedDialog& d) { d.Click(kCheckBox); };
    const Step close = [](ScriptedDialog& d) { d.Click(kClose); };
    const Step enter = [](ScriptedDialog& d) { d.PressEnter(); };
    struct Case {
        const char* name;
        std::int32_t before;
        std::vector<Step> steps;
        std::int32_t show_again;
    } const cases[] = {
        {"untouched", 0, {close}, 1},
        {"ticked", 1, {tick, close}, 0},
        {"ticked and unticked", 0, {tick, tick, close}, 1},
        {"ticked, closed by Enter", 1, {tick, enter}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.request.bShowAgain = c.before;
        for (const Step& step : c.steps) rig.windows.Then(step);
        EXPECT_EQ(rig.Run(), 1);
        EXPECT_EQ(rig.request.bShowAgain, c.show_again);
    }
}

TEST(TipDialogTest, EscapeDoesNothing) {
    Rig rig;
    rig.windows.Then([](ScriptedDialog& d) {
        d.Click(kCheckBox);
        d.PressEscape();
        EXPECT_FALSE(d.HasEnded());
    });
    rig.windows.Then([](ScriptedDialog& d) { d.Click(kClose); });
    EXPECT_EQ(rig.Run(), 1);
    EXPECT_EQ(rig.request.bShowAgain, 0);
}

TEST(TipDialogTest, WithoutARequestItSaysSoAndEndsWithZero) {
    test::ScriptedWindowSystem windows;
    test::ScriptedBrowser browser;
    windows.AttachBrowser(kBrowser, browser);
    TipDialog dialog(nullptr);
    EXPECT_EQ(dialog.RunModal(windows, kConsole), 0);

    ASSERT_EQ(windows.MessageBoxes().size(), 1u);
    EXPECT_EQ(windows.MessageBoxes()[0].text, "No parameters passed to tip dialog");
    EXPECT_EQ(windows.MessageBoxes()[0].caption, "Error");
    EXPECT_EQ(windows.MessageBoxes()[0].buttons, MessageBoxButtons::Ok);
    EXPECT_EQ(windows.MessageBoxes()[0].owner, windows.Last().Window());
    EXPECT_TRUE(browser.PlainNavigations().empty());
    EXPECT_FALSE(windows.Last().ClientSize().has_value());
}

}  // namespace
}  // namespace kx
