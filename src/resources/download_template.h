#pragma once

// Dialog 251: the progress window of one file download.

#include "platform/dialog_template.h"

namespace kx {

inline constexpr int kDownloadTemplateId = 251;
namespace download_control {
inline constexpr int kProgressBar = 207;
inline constexpr int kFileName = 208;
inline constexpr int kProgressText = 209;
}  // namespace download_control

const DialogTemplate& DownloadTemplate();

}  // namespace kx
