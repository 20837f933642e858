#pragma once

// Windows backend: a DLL's own registration, as regsvr32 does it.
//
// Implements:
//  - kx::DllRegistration: LoadLibraryExA of the path with
//    LOAD_WITH_ALTERED_SEARCH_PATH (the DLL's own imports are looked for
//    beside it first), GetProcAddress of DllRegisterServer or
//    DllUnregisterServer, the call, FreeLibrary on every path out. A DLL that
//    cannot be loaded, or has no such export, gives HRESULT_FROM_WIN32 of
//    the system's error.

#include "platform/dll_registration.h"

namespace kx {

class WinDllRegistration final : public DllRegistration {
public:
    HResult RegisterServer(std::string_view path) override;
    HResult UnregisterServer(std::string_view path) override;
};

}  // namespace kx
