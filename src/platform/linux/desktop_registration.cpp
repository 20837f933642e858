#include "platform/linux/desktop_registration.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "kestrix/game_contract.h"
#include "platform/linux/posix_processes.h"
#include "platform/linux/unique_fd.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

constexpr HResult kSOk = 0;

HResult FromErrno(int error) {
    // HRESULT_FROM_WIN32 of the nearest Windows error: access denied or a write fault.
    return MakeHResult(error == EACCES || error == EPERM ? 0x80070005u : 0x8007001Du);
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Writes beside the target and renames over it, so a crash leaves the old file or the new.
HResult WriteAtomically(const fs::path& target, const std::string& text) {
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    const fs::path temporary = target.string() + ".tmp" + std::to_string(::getpid());
    {
        UniqueFd out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
        if (!out || !WriteAll(out.get(), text)) {
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

// The folder whose media/ holds the rank sounds, which the console finds
// below its working directory: beside the program in a build, the shared
// data folder in an installation; empty when neither has them.
std::string SoundsFolder(const fs::path& program) {
    std::error_code error;
    const fs::path beside = program.parent_path();
    const fs::path installed = beside.parent_path() / "share" / "velora";
    for (const fs::path& folder : {beside, installed}) {
        if (fs::is_directory(folder / "media", error)) return folder.lexically_normal().string();
    }
    return {};
}

}  // namespace

namespace {

bool IsPlainPathCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
           c == '.' || c == '_' || c == '-' || c == '+';
}

bool IsPlainPath(const std::string& program) {
    return !program.empty() && std::all_of(program.begin(), program.end(), IsPlainPathCharacter);
}

// Both files are key files whose values unescape "\\", "\n", "\t", "\r".
std::string EscapedAsStringValue(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out += c; break;
        }
    }
    return out;
}

bool IsReservedInDesktopExec(char c) {
    static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    return kReserved.find(c) != std::string_view::npos;
}

}  // namespace

std::string DesktopExecValue(const std::string& program) {
    const bool quoted = program.empty() ||
                        std::any_of(program.begin(), program.end(), IsReservedInDesktopExec);
    std::string argument = quoted ? "\"" : "";
    for (const char c : program) {
        if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) argument += '\\';
        argument += c;
        // A lone "%" would start a field code.
        if (c == '%') argument += '%';
    }
    if (quoted) argument += '"';
    return EscapedAsStringValue(argument);
}

std::string BusExecValue(const std::string& program) {
    if (IsPlainPath(program)) return program;
    // The bus splits Exec= as a shell would; inside single quotes only "'" needs care.
    std::string argument = "'";
    for (const char c : program) {
        if (c == '\'') {
            argument += "'\\''";
        } else {
            argument += c;
        }
    }
    argument += '\'';
    return EscapedAsStringValue(argument);
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
    const std::string program = NativePath(path);
    const std::string service = std::string("[D-BUS Service]\nName=") + kestrix::kBusName +
                                "\nExec=" + BusExecValue(program) + "\n";
    if (const HResult result = WriteAtomically(ActivationFile(), service); Failed(result)) {
        return result;
    }
    const std::string sounds = SoundsFolder(program);
    const std::string entry =
        "[Desktop Entry]\nType=Application\nName=Kestrix Console\n"
        "Comment=Play skill-game tournaments\nExec=" + DesktopExecValue(program) +
        (sounds.empty() ? "" : "\nPath=" + EscapedAsStringValue(sounds)) +
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
