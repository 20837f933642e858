#include "resources/registration_template.h"

namespace kx {

namespace {

using namespace style;
using namespace registration_control;

// Each row: a label at the left edge, its input in the right-hand column.
constexpr int kLabelX = 7;
constexpr int kLabelWidth = 112;
constexpr int kLabelHeight = 10;
constexpr int kInputX = 123;
constexpr int kInputWidth = 130;
constexpr int kEditHeight = 12;

constexpr std::uint32_t kEditStyle = kBorder | kTabStop | kEsAutoHScroll;
constexpr std::uint32_t kPasswordStyle = kEditStyle | kEsPassword;
// Not sorted: the items keep the order in which they are added.
constexpr std::uint32_t kListStyle = kCbsDropDownList | kVScroll | kTabStop;

constexpr ControlTemplate Label(std::string_view text, int y) {
    return {kIdStatic, ControlKind::Static, kSsLeft, text, kLabelX, y, kLabelWidth, kLabelHeight};
}

constexpr ControlTemplate Edit(int id, std::uint32_t edit_style, int y) {
    return {id, ControlKind::Edit, edit_style, "", kInputX, y, kInputWidth, kEditHeight};
}

// The height of a drop-down list includes its open list.
constexpr ControlTemplate List(int id, int y, int list_height) {
    return {id, ControlKind::DropDownList, kListStyle, "", kInputX, y, kInputWidth, list_height};
}

constexpr ControlTemplate kControls[] = {
    Label("User Name (required)", 7),
    Edit(kUserName, kEditStyle, 7),
    Label("Password (required)", 21),
    Edit(kPassword, kPasswordStyle, 21),
    Label("Confirm Password (required)", 35),
    Edit(kConfirmPassword, kPasswordStyle, 35),
    Label("Email (required)", 49),
    Edit(kEmail, kEditStyle, 49),
    Label("First Name (required)", 63),
    Edit(kFirstName, kEditStyle, 63),
    Label("Last Name (required)", 77),
    Edit(kLastName, kEditStyle, 77),
    Label("Address (required)", 91),
    Edit(kAddress, kEditStyle, 91),
    Label("Address 2", 105),
    Edit(kAddress2, kEditStyle, 105),
    Label("City (required)", 119),
    Edit(kCity, kEditStyle, 119),
    Label("State (required)", 133),
    List(kState, 133, 120),
    Label("Other (State/Province)", 147),
    Edit(kOtherState, kEditStyle, 147),
    Label("Zip / Postal Code (required)", 161),
    Edit(kZip, kEditStyle, 161),
    Label("Country (required)", 175),
    List(kCountry, 175, 151),
    Label("How did you hear about us?", 189),
    List(kHearAbout, 189, 78),
    {kAgreement, ControlKind::Edit, kEsMultiline | kEsReadOnly | kVScroll | kBorder, "", 7, 203,
     246, 89},
    {kIdOk, ControlKind::DefaultPushButton, kBsDefPushButton | kTabStop, "I Agree", 167, 296, 50,
     14},
    {kIdCancel, ControlKind::PushButton, kBsPushButton | kTabStop, "Cancel", 47, 296, 50, 14},
    {kStatusLine, ControlKind::Static, kSsLeft, "", 7, 314, 246, 8},
};

// A caption bar without a system menu: the player leaves only through Cancel.
constexpr DialogTemplate kTemplate{
    kRegistrationTemplateId,
    "Please Fill in the Registration Form",
    kPopup | kCaption | kDsModalFrame | kDsSetFont,
    "MS Sans Serif",
    8,
    260,
    330,
    kControls,
};

}  // namespace

const DialogTemplate& RegistrationTemplate() { return kTemplate; }

}  // namespace kx
