#pragma once

// Dialog 201: the console window, a fixed-size frame around one browser.
// Its caption is also how a second start finds the running console.

#include "platform/dialog_template.h"

namespace kx {

inline constexpr int kConsoleTemplateId = 201;
namespace console_control {
inline constexpr int kBrowser = 202;
}  // namespace console_control

const DialogTemplate& ConsoleTemplate();

}  // namespace kx
