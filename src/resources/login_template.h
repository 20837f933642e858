#pragma once

// The login dialog's window: the returning player's fields, the offers to
// register or to play as a guest, and a status line.

#include "platform/dialog_template.h"

namespace kx {

inline constexpr int kLoginTemplateId = 250;

namespace login_control {
inline constexpr int kUserName = 203;
inline constexpr int kPassword = 204;
inline constexpr int kRememberPassword = 205;
inline constexpr int kStatusLine = 206;
inline constexpr int kRegister = 212;
inline constexpr int kGuestLogin = 213;
inline constexpr int kPlaySounds = 242;
inline constexpr int kRegisterOffer = 243;
inline constexpr int kGuestFrame = 244;
}  // namespace login_control

const DialogTemplate& LoginTemplate();

}  // namespace kx
