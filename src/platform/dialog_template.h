#pragma once

// Dialog templates as data: every window of the console is described once
// here, in dialog units, and both backends build their windows from it.

#include <cstdint>
#include <span>
#include <string_view>

namespace kx {

// Window and control style bits, with their Win32 values so the Windows
// backend can pass them on unchanged.
namespace style {
inline constexpr std::uint32_t kPopup = 0x80000000;
inline constexpr std::uint32_t kVisible = 0x10000000;
inline constexpr std::uint32_t kDisabled = 0x08000000;
inline constexpr std::uint32_t kCaption = 0x00C00000;
inline constexpr std::uint32_t kBorder = 0x00800000;
inline constexpr std::uint32_t kVScroll = 0x00200000;
inline constexpr std::uint32_t kSysMenu = 0x00080000;
inline constexpr std::uint32_t kGroup = 0x00020000;
inline constexpr std::uint32_t kTabStop = 0x00010000;
inline constexpr std::uint32_t kDsSetFont = 0x00000040;
inline constexpr std::uint32_t kDsModalFrame = 0x00000080;
inline constexpr std::uint32_t kDsSetForeground = 0x00000200;
inline constexpr std::uint32_t kSsLeft = 0x0000;
inline constexpr std::uint32_t kSsCenter = 0x0001;
inline constexpr std::uint32_t kEsMultiline = 0x0004;
inline constexpr std::uint32_t kEsPassword = 0x0020;
inline constexpr std::uint32_t kEsAutoVScroll = 0x0040;
inline constexpr std::uint32_t kEsAutoHScroll = 0x0080;
inline constexpr std::uint32_t kEsReadOnly = 0x0800;
inline constexpr std::uint32_t kBsPushButton = 0x0000;
inline constexpr std::uint32_t kBsDefPushButton = 0x0001;
inline constexpr std::uint32_t kBsAutoCheckBox = 0x0003;
inline constexpr std::uint32_t kBsGroupBox = 0x0007;
inline constexpr std::uint32_t kCbsDropDownList = 0x0003;
}  // namespace style

// The control ids that mean the same in every dialog.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
// Labels and frames that no code addresses.
inline constexpr int kIdStatic = 65535;

enum class ControlKind {
    PushButton,
    DefaultPushButton,
    AutoCheckBox,
    GroupBox,
    Static,
    Edit,
    DropDownList,  // a combo box without typing; its height includes the open list
    ProgressBar,
    WebBrowser,    // hosts the embedded browser
};

struct ControlTemplate {
    int id = kIdStatic;
    ControlKind kind = ControlKind::Static;
    // The kind's own bits and the WS_ bits. WS_CHILD and WS_VISIBLE are implied,
    // as the resource compiler adds them; a hidden control is hidden by code.
    std::uint32_t style = 0;
    std::string_view text;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct DialogTemplate {
    int resource_id = 0;
    std::string_view caption;
    std::uint32_t style = 0;
    std::string_view font = "MS Sans Serif";
    int point_size = 8;
    int width = 0;   // dialog units
    int height = 0;
    std::span<const ControlTemplate> controls;

    const ControlTemplate* Find(int id) const {
        for (const auto& control : controls) {
            if (control.id == id) return &control;
        }
        return nullptr;
    }
};

}  // namespace kx
