#include "resources/console_template.h"

namespace kx {

namespace {

using namespace style;
using namespace console_control;

// The window sizes itself and fits the browser to its client area when it
// starts, so the browser's place here only matters until then.
constexpr ControlTemplate kControls[] = {
    // id, kind, style, text, x, y, width, height
    {kBrowser, ControlKind::WebBrowser, kVisible | kTabStop, "", 0, 0, 541, 343},
};

// A close box but no minimise or maximise box and no sizing border.
constexpr DialogTemplate kTemplate{
    .resource_id = kConsoleTemplateId,
    .caption = "Kestrix Console",
    .style = kPopup | kCaption | kSysMenu | kDsModalFrame | kDsSetForeground | kDsSetFont,
    .font = "MS Sans Serif",
    .point_size = 8,
    .width = 541,
    .height = 343,
    .controls = kControls,
};

}  // namespace

const DialogTemplate& ConsoleTemplate() { return kTemplate; }

}  // namespace kx
