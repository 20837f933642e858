#include "resources/tip_template.h"

namespace kx {

namespace {

using namespace style;
using namespace tip_control;

constexpr ControlTemplate kControls[] = {
    // id, kind, style, text, x, y, width, height
    {kBrowser, ControlKind::WebBrowser, kVisible | kTabStop, "", 0, 0, 313, 229},
    {kDontShowAgain, ControlKind::AutoCheckBox, kBsAutoCheckBox | kVisible | kTabStop,
     "Don't show this screen again", 0, 230, 107, 15},
    {kClose, ControlKind::DefaultPushButton, kBsDefPushButton | kVisible | kTabStop, "Close",
     278, 230, 35, 14},
};

// No title bar and so no close box: the Close button is the only way out.
constexpr DialogTemplate kTemplate{
    .resource_id = kTipTemplateId,
    .caption = "",
    .style = kPopup | kDsModalFrame | kDsSetFont,
    .font = "MS Sans Serif",
    .point_size = 8,
    .width = 314,
    .height = 246,
    .controls = kControls,
};

}  // namespace

const DialogTemplate& TipTemplate() { return kTemplate; }

}  // namespace kx
