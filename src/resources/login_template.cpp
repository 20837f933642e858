#include "resources/login_template.h"

namespace kx {

namespace {

using namespace style;
using namespace login_control;

constexpr std::uint32_t kEditStyle = kBorder | kTabStop;
constexpr std::uint32_t kButtonStyle = kTabStop;

constexpr ControlTemplate kControls[] = {
    {kIdStatic, ControlKind::GroupBox, kBsGroupBox, "Returning Player Login", 2, 3, 181, 67},
    {kIdStatic, ControlKind::Static, kSsLeft, "Username: ", 13, 15, 44, 10},
    {kUserName, ControlKind::Edit, kEditStyle | kEsAutoHScroll, "", 62, 15, 114, 12},
    {kIdStatic, ControlKind::Static, kSsLeft, "Password:", 13, 32, 44, 10},
    {kPassword, ControlKind::Edit, kEditStyle | kEsPassword, "", 62, 31, 114, 12},
    {kRememberPassword, ControlKind::AutoCheckBox, kBsAutoCheckBox | kButtonStyle,
     "Remember my password.", 14, 46, 94, 9},
    {kPlaySounds, ControlKind::AutoCheckBox, kBsAutoCheckBox | kButtonStyle,
     "Enable Console Sounds", 14, 59, 91, 6},
    {kIdOk, ControlKind::DefaultPushButton, kBsDefPushButton | kButtonStyle, "Enter", 123, 50,
     54, 14},
    {kIdStatic, ControlKind::GroupBox, kBsGroupBox, "", 2, 71, 182, 67},
    {kRegisterOffer, ControlKind::Static, kSsLeft,
     "To claim your FREE Game Credits you must create a FREE Account by clicking the Register "
     "button. The registration information is not shared. See our Privacy Statement at our "
     "website.",
     8, 81, 167, 33},
    {kRegister, ControlKind::PushButton, kBsPushButton | kButtonStyle, "Register", 123, 119, 54,
     14},
    {kGuestFrame, ControlKind::GroupBox, kBsGroupBox, "", 2, 139, 182, 45},
    {kIdStatic, ControlKind::Static, kSsLeft,
     "To login as a Guest and play the no prize free games, click Guest Login.", 8, 149, 167,
     17},
    {kGuestLogin, ControlKind::PushButton, kBsPushButton | kButtonStyle, "Guest Login", 123,
     166, 54, 14},
    {kIdCancel, ControlKind::PushButton, kBsPushButton | kButtonStyle, "Cancel", 2, 186, 50, 14},
    {kStatusLine, ControlKind::Static, kSsLeft, "Click Enter to Login", 2, 207, 183, 11},
};

// A caption bar without a system menu: the player leaves only through Cancel.
constexpr DialogTemplate kTemplate{
    kLoginTemplateId,
    "Please enter your username and password",
    kPopup | kCaption | kDsModalFrame | kDsSetFont,
    "MS Sans Serif",
    8,
    186,
    220,
    kControls,
};

}  // namespace

const DialogTemplate& LoginTemplate() { return kTemplate; }

}  // namespace kx
