#pragma once

// Linux backend: what makes the console reachable and findable on a desktop,
// registered and removed with the registration switches.
//
// Implements:
//  - kx::TypeLibraries for the registration switches. The game interface is
//    described by the executable itself (the bus interface it serves), so
//    "loading the library" checks that the executable is there, and
//    registering it writes the desktop's own records: the session bus's
//    activation file, so a game client started first starts the console,
//    and the desktop entry with which the player finds it. Unregistering
//    removes both. Files are replaced atomically.
//
// Missing: system-wide registration (only the user's data directory); an
// installation's own copies are written by its install rules
// (qt/resources/velora-desktop-files.cmake).

#include <map>
#include <string>

#include "platform/type_libraries.h"

namespace kx {

class DesktopRegistration final : public TypeLibraries {
public:
    // `data_directory` is the user's XDG data directory (~/.local/share).
    explicit DesktopRegistration(std::string data_directory);

    HResult LoadTypeLib(std::string_view path, TypeLibHandle* library) override;
    HResult RegisterTypeLib(TypeLibHandle library, std::string_view path,
                            std::string_view help_directory) override;
    HResult UnRegisterTypeLib(TypeLibHandle library) override;
    void Release(TypeLibHandle library) override;

    std::string ActivationFile() const;
    std::string DesktopEntry() const;

private:
    std::string data_directory_;
    std::map<TypeLibHandle, std::string> loaded_;
    TypeLibHandle next_ = 1;
};

// The desktop entry's Exec= value that starts `program`: double-quoted when
// it holds a reserved character, "%" doubled, then escaped as a string value.
std::string DesktopExecValue(const std::string& program);

// The bus activation file's Exec= value: single-quoted unless plain, as the
// bus splits it like a shell, then escaped as the bus unescapes values.
std::string BusExecValue(const std::string& program);

}  // namespace kx
