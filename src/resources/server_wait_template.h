#pragma once

// Dialog 103: the small window that waits for one command request.

#include "platform/dialog_template.h"

namespace kx {

inline constexpr int kServerWaitTemplateId = 103;
namespace server_wait_control {
inline constexpr int kTitle = 208;
inline constexpr int kStatus = 210;
}  // namespace server_wait_control

const DialogTemplate& ServerWaitTemplate();

}  // namespace kx
