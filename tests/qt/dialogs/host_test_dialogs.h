#pragma once

// The dialogs the host, controls and keys tests run: one of every control
// kind, and one around a page; and a run of test steps inside the modal loop.

#include <functional>

#include <QTest>

#include "dialog_test_support.h"
#include "platform/dialog_template.h"
#include "platform/linux/qt/qt_dialog_metrics.h"

namespace kx::qt_test {

namespace every {
inline constexpr int kFrame = 100;
inline constexpr int kLabel = 101;
inline constexpr int kCentred = 102;
inline constexpr int kEdit = 103;
inline constexpr int kPassword = 104;
inline constexpr int kMemo = 105;
inline constexpr int kReadOnly = 106;
inline constexpr int kList = 107;
inline constexpr int kBar = 108;
inline constexpr int kCheck = 109;
inline constexpr int kOff = 110;
inline constexpr int kOther = 111;
inline constexpr int kHiddenStyle = 112;

using namespace style;
constexpr ControlTemplate kControls[] = {
    {kFrame, ControlKind::GroupBox, kBsGroupBox, "Frame", 2, 2, 200, 100},
    {kLabel, ControlKind::Static, kSsLeft, "Label", 5, 12, 60, 10},
    {kCentred, ControlKind::Static, kSsCenter, "Centred", 70, 12, 60, 10},
    {kEdit, ControlKind::Edit, kBorder | kTabStop | kEsAutoHScroll, "initial", 5, 25, 100, 12},
    {kPassword, ControlKind::Edit, kBorder | kTabStop | kEsPassword, "", 5, 40, 100, 12},
    {kMemo, ControlKind::Edit, kEsMultiline | kEsAutoVScroll | kVScroll | kBorder | kTabStop, "",
     5, 55, 100, 40},
    {kReadOnly, ControlKind::Edit, kBorder | kEsReadOnly, "fixed", 110, 25, 60, 12},
    {kList, ControlKind::DropDownList, kCbsDropDownList | kVScroll | kTabStop, "", 110, 40, 80,
     100},
    {kBar, ControlKind::ProgressBar, 0, "", 5, 110, 150, 8},
    {kCheck, ControlKind::AutoCheckBox, kBsAutoCheckBox | kTabStop, "Check", 5, 125, 80, 10},
    {kOff, ControlKind::PushButton, kBsPushButton | kTabStop | kDisabled, "Off", 90, 125, 50, 14},
    {kOther, ControlKind::PushButton, kBsPushButton | kTabStop, "Other", 145, 125, 50, 14},
    {kHiddenStyle, ControlKind::Static, kSsLeft, "no WS_VISIBLE", 5, 140, 80, 8},
    {kIdOk, ControlKind::DefaultPushButton, kBsDefPushButton | kTabStop, "OK", 90, 145, 50, 14},
    {kIdCancel, ControlKind::PushButton, kBsPushButton | kTabStop, "Cancel", 145, 145, 50, 14},
};
constexpr DialogTemplate kTemplate{
    .resource_id = 900,
    .caption = "Every control",
    .style = kPopup | kCaption | kSysMenu | kDsModalFrame | kDsSetFont,
    .width = 210,
    .height = 165,
    .controls = kControls,
};
}  // namespace every

namespace page {
inline constexpr int kBrowser = 300;
using namespace style;
constexpr ControlTemplate kControls[] = {
    {kBrowser, ControlKind::WebBrowser, kVisible | kTabStop, "", 10, 5, 200, 100},
    {kIdOk, ControlKind::DefaultPushButton, kBsDefPushButton | kTabStop, "OK", 160, 110, 50, 14},
};
constexpr DialogTemplate kTemplate{
    .resource_id = 901,
    .caption = "A page",
    .style = kPopup | kCaption | kSysMenu | kDsModalFrame | kDsSetFont,
    .width = 220,
    .height = 130,
    .controls = kControls,
};
}  // namespace page

// Runs `steps` from inside the dialog's modal loop, once it is shown, then
// ends the dialog with 1.
inline int RunSteps(QtWindowSystem& windows, ScriptedHandler& handler, const std::function<void()>& steps,
             const DialogTemplate& dialog = every::kTemplate) {
    auto previous_init = handler.on_init;
    handler.on_init = [&handler, previous_init, steps](DialogHost& host) {
        if (previous_init) previous_init(host);
        Later([&handler, steps] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(handler.Window()));
            steps();
            if (handler.HasHost()) handler.host().EndDialog(1);
        });
    };
    return RunGuarded(windows, dialog, handler, kNoWindow);
}

inline qt_dialog::BaseUnits BaseOf(DialogHost& host) {
    const PixelRect unit = host.MapDialogRect({0, 0, 4, 8});
    return {unit.right, unit.bottom};
}

}  // namespace kx::qt_test
