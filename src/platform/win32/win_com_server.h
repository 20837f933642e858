#pragma once

// Windows backend: the COM local server of the game clients' class.
//
// Implements:
//  - kx::ComServer over ole32: OleInitialize, whose apartment is the
//    single-threaded one CoInitialize makes and which the browser control
//    needs as well (drag and drop, in-place activation), balanced by
//    OleUninitialize; CoRegisterClassObject with a class object of this
//    backend, whose only lasting reference is the registration's;
//    CoRevokeClassObject;
//  - the class object: IClassFactory whose CreateInstance hands the request
//    to the InstanceMaker it was given (aggregation refused), and whose
//    LockServer is counted but keeps nothing alive: the console's window,
//    not its clients, decides when the process ends;
//  - registrations still held when the server is destroyed are revoked.
//
// Missing: the game-services object itself. Until an InstanceMaker is
// given, every creation fails with CLASS_E_CLASSNOTAVAILABLE.

#include <windows.h>
#include <unknwn.h>

#include <functional>
#include <mutex>
#include <set>

#include "platform/com_server.h"

namespace kx {

// Makes the object a class object's CreateInstance hands out and queries it
// for `iid` into `object`; a COM result code.
using InstanceMaker = std::function<HRESULT(const Guid& clsid, REFIID iid, void** object)>;

class WinComServer final : public ComServer {
public:
    explicit WinComServer(InstanceMaker instances = {});
    WinComServer(const WinComServer&) = delete;
    WinComServer& operator=(const WinComServer&) = delete;
    ~WinComServer() override;

    HResult Initialize() override;
    void Uninitialize() override;
    HResult RegisterClassObject(const Guid& clsid, ClassContext context, ClassUse use,
                                ClassCookie* cookie) override;
    HResult RevokeClassObject(ClassCookie cookie) override;

    // A class object such as RegisterClassObject registers, with one
    // reference for the caller (null when memory runs out).
    IClassFactory* MakeClassObject(const Guid& clsid) const;

private:
    InstanceMaker instances_;
    std::mutex mutex_;
    std::set<ClassCookie> registered_;
};

// The Windows GUID of a port's id.
GUID ToWinGuid(const Guid& id);

}  // namespace kx
