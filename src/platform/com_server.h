#pragma once

// The COM server port: the few COM calls that make the console a local
// server for the game clients it starts. Windows forwards them to ole32; the
// Linux backend serves the same classes on the session bus instead.

#include <array>
#include <cstdint>

#include "platform/hresult.h"

namespace kx {

// A class or interface id with the memory layout of the Windows GUID.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    friend bool operator==(const Guid&, const Guid&) = default;
};

// CLSCTX_LOCAL_SERVER: the class object serves other processes.
enum class ClassContext : std::uint32_t { LocalServer = 4 };
// REGCLS_MULTIPLEUSE: one registration serves every creation request.
enum class ClassUse : std::uint32_t { MultipleUse = 1 };

// CoRegisterClassObject's registration cookie.
using ClassCookie = std::uint32_t;

class ComServer {
public:
    virtual ~ComServer() = default;

    // CoInitialize(nullptr): the calling thread becomes a single-threaded
    // apartment. S_OK, or S_FALSE when it already was one; each success is
    // balanced by one Uninitialize.
    virtual HResult Initialize() = 0;

    // CoUninitialize.
    virtual void Uninitialize() = 0;

    // Makes the class object of `clsid` (the backend's factory of that
    // class's objects) and registers it with CoRegisterClassObject. The
    // registration then holds the only reference to the class object; the
    // cookie identifies it for RevokeClassObject.
    virtual HResult RegisterClassObject(const Guid& clsid, ClassContext context, ClassUse use,
                                        ClassCookie* cookie) = 0;

    // CoRevokeClassObject: creation requests no longer reach the class object.
    virtual HResult RevokeClassObject(ClassCookie cookie) = 0;
};

}  // namespace kx
