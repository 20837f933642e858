#pragma once

// The type-library port: the OLE Automation calls that register the
// description of the game interface. Windows forwards them to oleaut32; the
// entries RegisterTypeLib writes are the platform's own, not the console's.

#include <cstdint>
#include <string_view>

#include "platform/com_server.h"

namespace kx {

// A loaded type library (an ITypeLib reference); 0 is none.
using TypeLibHandle = std::uintptr_t;
inline constexpr TypeLibHandle kNoTypeLib = 0;

class TypeLibraries {
public:
    virtual ~TypeLibraries() = default;

    // LoadTypeLib: from a file that carries the library as resource TYPELIB 1
    // (an executable) or is a library itself (a .tlb file). Sets `library`
    // only on success.
    virtual HResult LoadTypeLib(std::string_view path, TypeLibHandle* library) = 0;

    // RegisterTypeLib: records the library as loaded from `path`, with its
    // help files in `help_directory`.
    virtual HResult RegisterTypeLib(TypeLibHandle library, std::string_view path,
                                    std::string_view help_directory) = 0;

    // Reads the library's id, version, locale and system kind and passes them
    // to UnRegisterTypeLib when oleaut32 offers it (looked up at run time);
    // S_OK without doing anything when it does not.
    virtual HResult UnRegisterTypeLib(TypeLibHandle library) = 0;

    // Releases the reference LoadTypeLib gave.
    virtual void Release(TypeLibHandle library) = 0;
};

}  // namespace kx
