#pragma once

// The registration dialog's window: the form's fourteen fields, the
// agreement, and a status line.

#include "platform/dialog_template.h"

namespace kx {

inline constexpr int kRegistrationTemplateId = 243;

namespace registration_control {
inline constexpr int kConfirmPassword = 220;
inline constexpr int kEmail = 221;
inline constexpr int kFirstName = 222;
inline constexpr int kLastName = 223;
inline constexpr int kAddress = 224;
inline constexpr int kAddress2 = 225;
inline constexpr int kCity = 226;
inline constexpr int kState = 227;
inline constexpr int kOtherState = 228;
inline constexpr int kZip = 229;
inline constexpr int kCountry = 230;
inline constexpr int kHearAbout = 231;
inline constexpr int kAgreement = 235;
inline constexpr int kStatusLine = 236;
inline constexpr int kUserName = 239;
inline constexpr int kPassword = 240;
}  // namespace registration_control

const DialogTemplate& RegistrationTemplate();

}  // namespace kx
