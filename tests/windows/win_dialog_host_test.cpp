#include "platform/win32/win_dialog_host.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win_dialog_template.h"
#include "resources/console_template.h"
#include "resources/download_template.h"
#include "resources/login_template.h"
#include "resources/registration_template.h"
#include "resources/server_wait_template.h"
#include "resources/tip_template.h"

namespace kx {
namespace {

// A handler whose steps are the test's own.
struct ScriptedHandler final : DialogHandler {
    std::function<void(DialogHost&)> init;
    std::function<void(int, int)> command;
    std::function<void(unsigned)> timer;
    std::function<void(std::uint32_t, std::uintptr_t, std::intptr_t)> posted;
    DialogHost* host = nullptr;
    bool destroyed = false;

    void OnInitDialog(DialogHost& h) override {
        host = &h;
        if (init) init(h);
    }
    void OnCommand(int id, int notification) override {
        if (command) command(id, notification);
    }
    void OnTimer(unsigned id) override {
        if (timer) timer(id);
    }
    void OnPosted(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override {
        if (posted) posted(message, wparam, lparam);
    }
    void OnDestroy() override { destroyed = true; }
};

constexpr int kEdit = 10;
constexpr int kCheck = 11;
constexpr int kList = 12;
constexpr int kProgress = 13;
constexpr int kButton = 14;

using namespace style;
constexpr ControlTemplate kControls[] = {
    {kEdit, ControlKind::Edit, kBorder | kTabStop | kEsAutoHScroll, "", 10, 10, 100, 12},
    {kCheck, ControlKind::AutoCheckBox, kBsAutoCheckBox | kTabStop, "Sounds", 10, 26, 100, 10},
    {kList, ControlKind::DropDownList, kCbsDropDownList | kVScroll | kTabStop, "", 10, 40, 100, 60},
    {kProgress, ControlKind::ProgressBar, 0, "", 10, 56, 100, 8},
    {kButton, ControlKind::DefaultPushButton, kTabStop, "Enter", 10, 70, 50, 14},
};
const DialogTemplate kDialog{901, "Kx Dialog Probe", kPopup | kCaption | kSysMenu | kDsModalFrame,
                             "MS Sans Serif", 8, 130, 90, kControls};

std::string WindowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

TEST(WinDialogHost, EveryConsoleTemplateMakesItsControlsWithTheirClassesAndTexts) {
    const DialogTemplate* templates[] = {&LoginTemplate(),      &RegistrationTemplate(),
                                         &DownloadTemplate(),   &ServerWaitTemplate(),
                                         &TipTemplate(),        &ConsoleTemplate()};
    WinWindowSystem windows;
    for (const DialogTemplate* dialog : templates) {
        ScriptedHandler handler;
        int found = 0;
        handler.init = [&](DialogHost& host) {
            HWND window = reinterpret_cast<HWND>(host.Window());
            EXPECT_EQ(WindowText(window), std::string(dialog->caption)) << dialog->resource_id;
            for (const ControlTemplate& control : dialog->controls) {
                if (control.id == kIdStatic) continue;
                HWND item = GetDlgItem(window, control.id);
                if (item == nullptr) {
                    ADD_FAILURE() << dialog->resource_id << " has no item " << control.id;
                    continue;
                }
                ++found;
                const std::u16string_view expected = ControlClassName(control.kind);
                const std::string name = ClassOf(item);
                EXPECT_TRUE(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), -1,
                                           std::string(expected.begin(), expected.end()).c_str(),
                                           -1) == CSTR_EQUAL)
                    << dialog->resource_id << "/" << control.id << ": " << name;
                if (control.kind != ControlKind::Edit && control.kind != ControlKind::WebBrowser &&
                    control.kind != ControlKind::DropDownList) {
                    EXPECT_EQ(WindowText(item), std::string(control.text))
                        << dialog->resource_id << "/" << control.id;
                }
            }
            // The client area is the template's size in this font's units.
            const PixelRect expected = host.MapDialogRect({0, 0, dialog->width, dialog->height});
            EXPECT_EQ(host.GetClientRect(), expected) << dialog->resource_id;
            host.EndDialog(5);
        };
        EXPECT_EQ(windows.RunModal(*dialog, handler, kNoWindow), 5) << dialog->resource_id;
        EXPECT_TRUE(handler.destroyed);
        EXPECT_GT(found, 0) << dialog->resource_id;
    }
}

TEST(WinDialogHost, ItemsKeepWhatTheHandlerPutsInThemAsTheSystemsControlsDo) {
    WinWindowSystem windows;
    ScriptedHandler handler;
    handler.init = [](DialogHost& host) {
        host.SetItemText(kEdit, "player-one");
        EXPECT_EQ(host.GetItemText(kEdit, 64), "player-one");
        EXPECT_EQ(host.GetItemText(kEdit, 4), "pla");
        EXPECT_EQ(host.GetItemText(kEdit, 1), "");
        EXPECT_EQ(host.GetItemText(kEdit, 0), "");

        EXPECT_EQ(host.GetCheck(kCheck), CheckState::Unchecked);
        host.SetCheck(kCheck, CheckState::Checked);
        EXPECT_EQ(host.GetCheck(kCheck), CheckState::Checked);

        EXPECT_EQ(host.GetListSelection(kList), kNoListItem);
        for (const char* item : {"Canada", "Cameroon", "Chad"}) host.AddListItem(kList, item);
        EXPECT_EQ(host.SelectListItem(kList, "cha"), 2);
        EXPECT_EQ(host.GetListSelection(kList), 2);
        EXPECT_EQ(host.GetListItemText(kList, 0), "Canada");
        EXPECT_EQ(host.GetListItemText(kList, 7), "");
        EXPECT_EQ(host.SelectListItem(kList, "Peru"), kNoListItem);

        host.SetProgressRange(kProgress, 0, 200);
        host.SetProgressPosition(kProgress, 150);
        HWND window = reinterpret_cast<HWND>(host.Window());
        EXPECT_EQ(SendDlgItemMessageA(window, kProgress, PBM_GETPOS, 0, 0), 150);
        host.SetProgressPosition(kProgress, 999);
        EXPECT_EQ(SendDlgItemMessageA(window, kProgress, PBM_GETPOS, 0, 0), 200);

        host.EnableItem(kButton, Enablement::Disabled);
        EXPECT_FALSE(host.IsItemEnabled(kButton));
        EXPECT_FALSE(host.IsItemEnabled(999));
        host.MoveItem(kButton, {5, 6, 55, 26});
        EXPECT_EQ(host.GetItemRect(kButton), (PixelRect{5, 6, 55, 26}));
        host.SetClientSize(300, 200);
        EXPECT_EQ(host.GetClientRect(), (PixelRect{0, 0, 300, 200}));
        EXPECT_EQ(host.GetBrowser(kEdit), nullptr);
        host.EndDialog(1);
    };
    EXPECT_EQ(windows.RunModal(kDialog, handler, kNoWindow), 1);
}

TEST(WinDialogHost, PostsTimersAndKeysReachTheHandlerUntilTheDialogEnds) {
    WinWindowSystem windows;
    ScriptedHandler handler;
    std::vector<std::uint32_t> posted;
    std::vector<int> commands;
    std::shared_ptr<Notifier> poster;
    std::thread worker;
    int timers = 0;
    handler.init = [&](DialogHost& host) {
        poster = host.Poster();
        host.StartTimer(7, 1);
        worker = std::thread([poster] {
            for (std::uint32_t m = 0x401; m <= 0x403; ++m) poster->Post(m, m, -1);
        });
    };
    handler.timer = [&](unsigned id) {
        EXPECT_EQ(id, 7u);
        if (++timers == 2) {
            handler.host->StopTimer(7);
            // Escape in a control, as a player presses it.
            HWND edit = GetDlgItem(reinterpret_cast<HWND>(handler.host->Window()), kEdit);
            SetFocus(edit);
            PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
        }
    };
    handler.posted = [&](std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
        EXPECT_EQ(wparam, message);
        EXPECT_EQ(lparam, -1);
        posted.push_back(message);
    };
    handler.command = [&](int id, int notification) {
        // Controls' own notifications (the edit's focus) come too, as on Windows.
        if (notification != kBnClicked) return;
        commands.push_back(id);
        if (id == kIdCancel) handler.host->EndDialog(kIdCancel);
    };
    EXPECT_EQ(windows.RunModal(kDialog, handler, kNoWindow), kIdCancel);
    worker.join();
    EXPECT_EQ(posted, (std::vector<std::uint32_t>{0x401, 0x402, 0x403}));
    EXPECT_EQ(timers, 2);
    EXPECT_EQ(commands, std::vector<int>{kIdCancel});
    // A worker that posts after the end reaches nothing.
    poster->Post(0x401, 0, 0);
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0x401, 0x401, PM_REMOVE));
}

TEST(WinDialogHost, AMessageBoxShowsItsTextAndCaptionAndAnswersTheButtonPressed) {
    struct Case {
        MessageBoxButtons buttons;
        int press;
        MessageBoxResult expected;
    };
    const Case cases[] = {
        {MessageBoxButtons::YesNo, IDNO, MessageBoxResult::No},
        {MessageBoxButtons::YesNo, IDYES, MessageBoxResult::Yes},
        {MessageBoxButtons::Ok, IDOK, MessageBoxResult::Ok},
    };
    for (const Case& c : cases) {
        WinWindowSystem windows;
        ScriptedHandler handler;
        std::string seen_text;
        std::string seen_caption;
        MessageBoxResult answer{};
        std::atomic<bool> stop{false};
        handler.init = [&](DialogHost& host) {
            std::thread presser([&] {
                for (int i = 0; i < 500 && !stop; ++i) {
                    if (HWND box = FindWindowA("#32770", "Kx Probe Caption")) {
                        seen_caption = WindowText(box);
                        seen_text = WindowText(GetDlgItem(box, 0xFFFF));
                        PostMessageA(box, WM_COMMAND, MAKEWPARAM(c.press, BN_CLICKED), 0);
                        return;
                    }
                    Sleep(10);
                }
            });
            answer = host.ShowMessageBox("Invalid email address.", "Kx Probe Caption", c.buttons);
            stop = true;
            presser.join();
            host.EndDialog(0);
        };
        windows.RunModal(kDialog, handler, kNoWindow);
        EXPECT_EQ(answer, c.expected);
        EXPECT_EQ(seen_caption, "Kx Probe Caption");
        EXPECT_EQ(seen_text, "Invalid email address.");
    }
}

}  // namespace
}  // namespace kx
