#include "resources/download_template.h"

namespace kx {

namespace {

using namespace style;
using namespace download_control;

constexpr ControlTemplate kControls[] = {
    // id, kind, style, text, x, y, width, height
    {kIdStatic, ControlKind::Static, kSsLeft | kVisible, "File:", 3, 2, 37, 9},
    {kFileName, ControlKind::Static, kSsLeft | kVisible, "File Name", 46, 2, 180, 10},
    {kIdStatic, ControlKind::Static, kSsLeft | kVisible, "Progress", 3, 17, 37, 9},
    {kProgressText, ControlKind::Static, kSsLeft | kVisible, "X of Y", 46, 17, 180, 11},
    {kProgressBar, ControlKind::ProgressBar, kVisible, "", 5, 36, 221, 7},
    {kIdCancel, ControlKind::PushButton, kBsPushButton | kVisible | kTabStop, "Cancel", 90, 48, 50,
     14},
};

constexpr DialogTemplate kTemplate{
    .resource_id = kDownloadTemplateId,
    .caption = "File Download Progress",
    .style = kPopup | kCaption | kDsModalFrame | kDsSetFont,
    .font = "MS Sans Serif",
    .point_size = 8,
    .width = 231,
    .height = 66,
    .controls = kControls,
};

}  // namespace

const DialogTemplate& DownloadTemplate() { return kTemplate; }

}  // namespace kx
