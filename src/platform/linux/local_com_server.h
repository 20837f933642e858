#pragma once

// Linux backend: the type-library calls, which have nothing to load until
// the console's interface description is installed on Linux.
//
// Implements:
//  - kx::TypeLibraries that load nothing (registration switches report it);
//  - kx::DllRegistration that registers nothing and succeeds: the session
//    bus carries the game interface's calls without marshalling code.
//
// The class objects and the single-instance test live on the session bus
// (bus_game_services.h, bus_single_instance.h).

#include "platform/dll_registration.h"
#include "platform/type_libraries.h"

namespace kx {

class NoTypeLibraries final : public TypeLibraries {
public:
    HResult LoadTypeLib(std::string_view, TypeLibHandle*) override {
        return kTYPE_E_CANTLOADLIBRARY;
    }
    HResult RegisterTypeLib(TypeLibHandle, std::string_view, std::string_view) override {
        return kE_NOTIMPL;
    }
    HResult UnRegisterTypeLib(TypeLibHandle) override { return 0; }
    void Release(TypeLibHandle) override {}
};

class NoDllRegistration final : public DllRegistration {
public:
    HResult RegisterServer(std::string_view) override { return kS_OK; }
    HResult UnregisterServer(std::string_view) override { return kS_OK; }
};

}  // namespace kx
