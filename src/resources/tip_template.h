#pragma once

// Dialog 104: the tip window, a page of the service in a browser of its own
// with a check box and a Close button beneath it.

#include "platform/dialog_template.h"

namespace kx {

inline constexpr int kTipTemplateId = 104;
namespace tip_control {
inline constexpr int kBrowser = 202;
inline constexpr int kDontShowAgain = 211;
// The Close button is the dialog's OK button, so Enter presses it too.
inline constexpr int kClose = kIdOk;
}  // namespace tip_control

const DialogTemplate& TipTemplate();

}  // namespace kx
