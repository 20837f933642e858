// Writes the Windows console's resource script from the core's own data, so
// the executable's dialogs and registry scripts cannot drift from what the
// core and the Linux front use: the six dialog templates, the two registry
// scripts (as files beside the script), the type library, the version
// resource, the icon and the manifest.
//
// Usage: kx_resource_script OUTPUT_DIRECTORY TYPELIB ICON MANIFEST
// Writes velora.rc, velora-100.rgs and velora-102.rgs into the directory.
// Built and run on the build machine, whatever the target.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "app/server_registration.h"
#include "resources/console_template.h"
#include "resources/download_template.h"
#include "resources/login_template.h"
#include "resources/registration_template.h"
#include "resources/server_wait_template.h"
#include "resources/tip_template.h"

namespace {

constexpr std::uint32_t kChildVisible = 0x50000000;

// A string of the resource language: quotes doubled, backslashes escaped,
// everything else as the code page's bytes.
std::string RcString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') {
            out += "\"\"";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A path as the resource compiler reads it.
std::string RcPath(const std::string& path) { return RcString(path); }

// By name in capitals, as the resource compiler writes any class name, and
// as the in-memory templates of the Windows build name them too.
const char* ClassOf(kx::ControlKind kind) {
    switch (kind) {
        case kx::ControlKind::PushButton:
        case kx::ControlKind::DefaultPushButton:
        case kx::ControlKind::AutoCheckBox:
        case kx::ControlKind::GroupBox: return "\"BUTTON\"";
        case kx::ControlKind::Edit: return "\"EDIT\"";
        case kx::ControlKind::DropDownList: return "\"COMBOBOX\"";
        case kx::ControlKind::ProgressBar: return "\"MSCTLS_PROGRESS32\"";
        case kx::ControlKind::Static:
        case kx::ControlKind::WebBrowser: return "\"STATIC\"";
    }
    return "\"STATIC\"";
}

std::uint32_t KindStyle(kx::ControlKind kind) {
    using namespace kx::style;
    switch (kind) {
        case kx::ControlKind::PushButton: return kBsPushButton;
        case kx::ControlKind::DefaultPushButton: return kBsDefPushButton;
        case kx::ControlKind::AutoCheckBox: return kBsAutoCheckBox;
        case kx::ControlKind::GroupBox: return kBsGroupBox;
        case kx::ControlKind::DropDownList: return kCbsDropDownList;
        default: return 0;
    }
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

void WriteDialog(std::ostream& out, const kx::DialogTemplate& dialog) {
    // The window is shown by the host once its handler has run.
    std::uint32_t style = dialog.style & ~kx::style::kVisible;
    if (!dialog.font.empty()) style |= kx::style::kDsSetFont;
    out << dialog.resource_id << " DIALOG 0, 0, " << dialog.width << ", " << dialog.height << "\n";
    out << "STYLE " << Hex(style) << "\n";
    if (!dialog.caption.empty()) out << "CAPTION " << RcString(dialog.caption) << "\n";
    if (!dialog.font.empty()) {
        out << "FONT " << dialog.point_size << ", " << RcString(dialog.font) << "\n";
    }
    out << "BEGIN\n";
    for (const kx::ControlTemplate& control : dialog.controls) {
        const std::string_view text =
            control.kind == kx::ControlKind::WebBrowser ? std::string_view() : control.text;
        out << "    CONTROL " << RcString(text) << ", " << control.id << ", "
            << ClassOf(control.kind) << ", "
            << Hex(control.style | KindStyle(control.kind) | kChildVisible) << ", " << control.x
            << ", " << control.y << ", " << control.width << ", " << control.height << "\n";
    }
    out << "END\n\n";
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: kx_resource_script OUTPUT_DIRECTORY TYPELIB ICON MANIFEST\n";
        return 2;
    }
    const std::string directory = argv[1];
    const std::string app_script = directory + "/velora-100.rgs";
    const std::string class_script = directory + "/velora-102.rgs";
    if (!WriteFile(app_script, kx::RegistryScriptText(kx::RegistryScript::Application)) ||
        !WriteFile(class_script, kx::RegistryScriptText(kx::RegistryScript::Class))) {
        std::cerr << "kx_resource_script: cannot write the registry scripts\n";
        return 1;
    }

    std::ofstream out(directory + "/velora.rc", std::ios::binary);
    out << "// Made at build time from the core's templates; edit those instead.\n"
           "#pragma code_page(1252)\n"
           "LANGUAGE 0x09, 0x01\n\n";
    for (const kx::DialogTemplate* dialog :
         {&kx::ServerWaitTemplate(), &kx::TipTemplate(), &kx::ConsoleTemplate(),
          &kx::RegistrationTemplate(), &kx::LoginTemplate(), &kx::DownloadTemplate()}) {
        WriteDialog(out, *dialog);
    }
    out << "100 REGISTRY " << RcPath(app_script) << "\n"
        << "102 REGISTRY " << RcPath(class_script) << "\n"
        << "1 TYPELIB " << RcPath(argv[2]) << "\n"
        << "1 ICON " << RcPath(argv[3]) << "\n"
        << "1 24 " << RcPath(argv[4]) << "\n\n"
        << "1 VERSIONINFO\n"
           "FILEVERSION 2, 0, 0, 1\n"
           "PRODUCTVERSION 2, 0, 0, 1\n"
           "FILEOS 0x40004\n"
           "FILETYPE 0x1\n"
           "BEGIN\n"
           "    BLOCK \"StringFileInfo\"\n"
           "    BEGIN\n"
           "        BLOCK \"040904B0\"\n"
           "        BEGIN\n"
           "            VALUE \"CompanyName\", \"Kestrix Inc.\"\n"
           "            VALUE \"FileDescription\", \"Kestrix Console\"\n"
           "            VALUE \"FileVersion\", \"2, 0, 0, 1\"\n"
           "            VALUE \"InternalName\", \"velora\"\n"
           "            VALUE \"OLESelfRegister\", \"\"\n"
           "            VALUE \"OriginalFilename\", \"velora.exe\"\n"
           "            VALUE \"ProductName\", \"Kestrix Console\"\n"
           "            VALUE \"ProductVersion\", \"2, 0, 0, 1\"\n"
           "        END\n"
           "    END\n"
           "    BLOCK \"VarFileInfo\"\n"
           "    BEGIN\n"
           "        VALUE \"Translation\", 0x409, 1200\n"
           "    END\n"
           "END\n";
    if (!out) {
        std::cerr << "kx_resource_script: cannot write velora.rc\n";
        return 1;
    }
    return 0;
}
