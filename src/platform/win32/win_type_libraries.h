#pragma once

// Windows backend: the type-library calls of the registration switches.
//
// Implements:
//  - kx::TypeLibraries over oleaut32: LoadTypeLibEx with REGKIND_NONE (the
//    load registers nothing by itself), RegisterTypeLib, and
//    UnRegisterTypeLib with the library's own TLIBATTR, looked up by name
//    at run time; paths converted from the ANSI code page;
//  - the handles it gave out, each one ITypeLib reference: Release drops
//    it once, and a handle it never gave (or gave and took back) is refused
//    with E_INVALIDARG before it reaches oleaut32.
//
// Missing: help files; the library carries none.

#include <mutex>
#include <set>

#include "platform/type_libraries.h"

namespace kx {

class WinTypeLibraries final : public TypeLibraries {
public:
    WinTypeLibraries() = default;
    WinTypeLibraries(const WinTypeLibraries&) = delete;
    WinTypeLibraries& operator=(const WinTypeLibraries&) = delete;
    // Releases every library still held.
    ~WinTypeLibraries() override;

    HResult LoadTypeLib(std::string_view path, TypeLibHandle* library) override;
    HResult RegisterTypeLib(TypeLibHandle library, std::string_view path,
                            std::string_view help_directory) override;
    HResult UnRegisterTypeLib(TypeLibHandle library) override;
    void Release(TypeLibHandle library) override;

    // Libraries loaded and not yet released.
    std::size_t HeldCount() const;

private:
    bool Holds(TypeLibHandle library) const;

    mutable std::mutex mutex_;
    // oleaut32 may hand out one library twice, each with its own reference.
    std::multiset<TypeLibHandle> held_;
};

}  // namespace kx
