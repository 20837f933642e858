#pragma once

// The self-registration port: a DLL's own DllRegisterServer and
// DllUnregisterServer, called the way regsvr32 calls them. Windows loads the
// DLL and calls its export; a platform whose interprocess calls need no
// marshalling code has nothing to register and succeeds.

#include <string_view>

#include "platform/hresult.h"

namespace kx {

class DllRegistration {
public:
    virtual ~DllRegistration() = default;

    // LoadLibraryA of `path`, its exported DllRegisterServer, FreeLibrary.
    // The DLL's own result, or the load's or the lookup's failure as a
    // result code.
    virtual HResult RegisterServer(std::string_view path) = 0;

    // The same with DllUnregisterServer.
    virtual HResult UnregisterServer(std::string_view path) = 0;
};

}  // namespace kx
