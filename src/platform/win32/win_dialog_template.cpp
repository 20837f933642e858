#include "platform/win32/win_dialog_template.h"

#include <windows.h>

#include <string>

namespace kx {

namespace {

constexpr std::uint32_t kChild = 0x40000000;
constexpr std::uint32_t kVisibleBit = 0x10000000;

// The atoms of the predefined classes, as a resource compiler writes them.
constexpr std::uint16_t kButtonAtom = 0x0080;
constexpr std::uint16_t kEditAtom = 0x0081;
constexpr std::uint16_t kStaticAtom = 0x0082;
constexpr std::uint16_t kComboBoxAtom = 0x0085;

class Writer {
public:
    void Word(std::uint16_t value) { words_.push_back(value); }
    void Dword(std::uint32_t value) {
        Word(static_cast<std::uint16_t>(value & 0xFFFF));
        Word(static_cast<std::uint16_t>(value >> 16));
    }
    void Short(int value) { Word(static_cast<std::uint16_t>(static_cast<std::int16_t>(value))); }
    // A zero-terminated UTF-16 text from the ANSI code page.
    void Text(std::string_view ansi) {
        if (!ansi.empty()) {
            const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(),
                                                   static_cast<int>(ansi.size()), nullptr, 0);
            std::u16string wide(static_cast<std::size_t>(length), u'\0');
            MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                reinterpret_cast<wchar_t*>(wide.data()), length);
            for (const char16_t c : wide) Word(static_cast<std::uint16_t>(c));
        }
        Word(0);
    }
    void Text(std::u16string_view wide) {
        for (const char16_t c : wide) Word(static_cast<std::uint16_t>(c));
        Word(0);
    }
    void AlignToDword() {
        if (words_.size() % 2 != 0) Word(0);
    }
    std::vector<std::uint16_t> Take() { return std::move(words_); }

private:
    std::vector<std::uint16_t> words_;
};

std::uint16_t AtomOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton:
        case ControlKind::AutoCheckBox:
        case ControlKind::GroupBox: return kButtonAtom;
        case ControlKind::Edit: return kEditAtom;
        case ControlKind::DropDownList: return kComboBoxAtom;
        case ControlKind::Static:
        case ControlKind::WebBrowser: return kStaticAtom;
        case ControlKind::ProgressBar: return 0;
    }
    return kStaticAtom;
}

}  // namespace

std::u16string_view ControlClassName(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton:
        case ControlKind::AutoCheckBox:
        case ControlKind::GroupBox: return u"Button";
        case ControlKind::Edit: return u"Edit";
        case ControlKind::DropDownList: return u"ComboBox";
        case ControlKind::ProgressBar: return u"msctls_progress32";
        case ControlKind::Static:
        case ControlKind::WebBrowser: return u"Static";
    }
    return u"Static";
}

std::uint32_t ControlKindStyle(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton: return style::kBsPushButton;
        case ControlKind::DefaultPushButton: return style::kBsDefPushButton;
        case ControlKind::AutoCheckBox: return style::kBsAutoCheckBox;
        case ControlKind::GroupBox: return style::kBsGroupBox;
        case ControlKind::DropDownList: return style::kCbsDropDownList;
        case ControlKind::Edit:
        case ControlKind::Static:
        case ControlKind::ProgressBar:
        case ControlKind::WebBrowser: return 0;
    }
    return 0;
}

std::vector<std::uint16_t> BuildDialogTemplate(const DialogTemplate& dialog) {
    Writer out;
    std::uint32_t dialog_style = dialog.style;
    if (!dialog.font.empty()) dialog_style |= style::kDsSetFont;
    // Shown by the host once its handler has run, as the dialog manager would.
    dialog_style &= ~kVisibleBit;
    out.Dword(dialog_style);
    out.Dword(0);  // extended style
    out.Word(static_cast<std::uint16_t>(dialog.controls.size()));
    out.Short(0);
    out.Short(0);
    out.Short(dialog.width);
    out.Short(dialog.height);
    out.Word(0);  // no menu
    out.Word(0);  // the dialog class
    out.Text(dialog.caption);
    if (!dialog.font.empty()) {
        out.Short(dialog.point_size);
        out.Text(dialog.font);
    }
    for (const ControlTemplate& control : dialog.controls) {
        out.AlignToDword();
        out.Dword(control.style | ControlKindStyle(control.kind) | kChild | kVisibleBit);
        out.Dword(0);
        out.Short(control.x);
        out.Short(control.y);
        out.Short(control.width);
        out.Short(control.height);
        out.Word(static_cast<std::uint16_t>(control.id));
        if (const std::uint16_t atom = AtomOf(control.kind); atom != 0) {
            out.Word(0xFFFF);
            out.Word(atom);
        } else {
            out.Text(ControlClassName(control.kind));
        }
        out.Text(control.kind == ControlKind::WebBrowser ? std::string_view() : control.text);
        out.Word(0);  // no creation data
    }
    return out.Take();
}

}  // namespace kx
