#include "resources/server_wait_template.h"

namespace kx {

namespace {

using namespace style;
using namespace server_wait_control;

constexpr ControlTemplate kControls[] = {
    // id, kind, style, text, x, y, width, height
    {kIdCancel, ControlKind::PushButton, kBsPushButton | kVisible | kTabStop, "Cancel", 129, 24,
     50, 14},
    {kTitle, ControlKind::Static, kSsCenter | kVisible, "Command Title", 5, 5, 174,
     11},
    {kStatus, ControlKind::Static, kSsLeft | kVisible, "Status", 5, 24, 117, 12},
};

// A thin border and no title bar, so neither a caption nor a close box.
constexpr DialogTemplate kTemplate{
    .resource_id = kServerWaitTemplateId,
    .caption = "",
    .style = kPopup | kBorder | kDsSetFont,
    .font = "MS Sans Serif",
    .point_size = 8,
    .width = 186,
    .height = 43,
    .controls = kControls,
};

}  // namespace

const DialogTemplate& ServerWaitTemplate() { return kTemplate; }

}  // namespace kx
