#include "platform/linux/desktop_registration.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "kestrix/game_contract.h"
#include "platform/linux/posix_processes.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

constexpr HResult kSOk = 0;

HResult FromErrno(int error) {
    // HRESULT_FROM_WIN32 of the nearest Windows error: access denied or a write fault.
    return MakeHResult(error == EACCES || error == EPERM ? 0x80070005u : 0x8007001Du);
}

// Writes beside the target and renames over it, so a crash leaves the old file or the new.
HResult WriteAtomically(const fs::path& target, const std::string& text) {
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    const fs::path temporary = target.string() + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            const int saved = errno;
            fs::remove(temporary, error);
            return FromErrno(saved);
        }
    }
    fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary, error);
        return FromErrno(error.value());
    }
    return kSOk;
}

}  // namespace

std::string ExecLine(const std::string& program) {
    bool plain = !program.empty();
    for (const char c : program) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '/' || c == '.' || c == '_' || c == '-' || c == '+';
        plain = plain && ok;
    }
    if (plain) return program;
    std::string quoted = "\"";
    for (const char c : program) {
        // Inside quotes the desktop entry escapes these four; the bus reads the same.
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

DesktopRegistration::DesktopRegistration(std::string data_directory)
    : data_directory_(std::move(data_directory)) {}

std::string DesktopRegistration::ActivationFile() const {
    return data_directory_ + "/dbus-1/services/" + kestrix::kBusName + ".service";
}

std::string DesktopRegistration::DesktopEntry() const {
    return data_directory_ + "/applications/velora.desktop";
}

HResult DesktopRegistration::LoadTypeLib(std::string_view path, TypeLibHandle* library) {
    if (library == nullptr) return kE_INVALIDARG;
    const std::string native = NativePath(path);
    std::error_code error;
    if (native.empty() || !fs::is_regular_file(native, error) || ::access(native.c_str(), X_OK) != 0) {
        return kTYPE_E_CANTLOADLIBRARY;
    }
    const TypeLibHandle handle = next_++;
    loaded_[handle] = native;
    *library = handle;
    return kSOk;
}

HResult DesktopRegistration::RegisterTypeLib(TypeLibHandle library, std::string_view path,
                                             std::string_view /*help_directory*/) {
    if (loaded_.find(library) == loaded_.end()) return kE_INVALIDARG;
    const std::string exec = ExecLine(NativePath(path));
    const std::string service = std::string("[D-BUS Service]\nName=") + kestrix::kBusName +
                                "\nExec=" + exec + "\n";
    if (const HResult result = WriteAtomically(ActivationFile(), service); Failed(result)) {
        return result;
    }
    const std::string entry =
        "[Desktop Entry]\nType=Application\nName=Kestrix Console\n"
        "Comment=Play skill-game tournaments\nExec=" + exec +
        "\nIcon=velora\nTerminal=false\nCategories=Game;\nStartupWMClass=velora\n";
    return WriteAtomically(DesktopEntry(), entry);
}

HResult DesktopRegistration::UnRegisterTypeLib(TypeLibHandle /*library*/) {
    std::error_code error;
    fs::remove(ActivationFile(), error);
    fs::remove(DesktopEntry(), error);
    return kSOk;
}

void DesktopRegistration::Release(TypeLibHandle library) { loaded_.erase(library); }

}  // namespace kx
