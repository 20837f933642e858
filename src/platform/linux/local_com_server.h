#pragma once

// Linux backend: the COM-shaped process calls before game clients can reach
// the console over the session bus.
//
// Implements:
//  - kx::ComServer whose apartment always initialises and whose class
//    objects are not offered to other processes (E_NOTIMPL, which the entry
//    function tolerates: the console runs, only game clients cannot call it);
//  - kx::TypeLibraries that load nothing (registration switches report it);
//  - kx::SingleInstance that finds no other console.
//
// Missing: the session-bus service, its activation and the single-instance
// test by bus name.

#include "platform/com_server.h"
#include "platform/single_instance.h"
#include "platform/type_libraries.h"

namespace kx {

class LocalComServer final : public ComServer {
public:
    HResult Initialize() override { return 0; }
    void Uninitialize() override {}
    HResult RegisterClassObject(const Guid&, ClassContext, ClassUse, ClassCookie*) override {
        return MakeHResult(0x80004001);  // E_NOTIMPL
    }
    HResult RevokeClassObject(ClassCookie) override { return MakeHResult(0x80004001); }
};

class NoTypeLibraries final : public TypeLibraries {
public:
    HResult LoadTypeLib(std::string_view, TypeLibHandle*) override {
        return MakeHResult(0x80029C4A);  // TYPE_E_CANTLOADLIBRARY
    }
    HResult RegisterTypeLib(TypeLibHandle, std::string_view, std::string_view) override {
        return MakeHResult(0x80004001);
    }
    HResult UnRegisterTypeLib(TypeLibHandle) override { return 0; }
    void Release(TypeLibHandle) override {}
};

class NoOtherInstance final : public SingleInstance {
public:
    WindowId FindWindowByTitle(std::string_view) override { return kNoWindow; }
    void SetForegroundWindow(WindowId) override {}
};

}  // namespace kx
