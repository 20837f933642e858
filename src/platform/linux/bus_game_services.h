#pragma once

// Linux backend: the console's class object of the game services on the
// session bus.
//
// Implements:
//  - kx::ComServer: Initialize connects to the session bus; registering the
//    class KXCommServices exports the factory and window objects at
//    /com/kestrix/Console and takes the name "com.kestrix.Console" (never
//    queued, never replacing an owner); each CreateInstance makes a services
//    object of its own at /com/kestrix/Console/KXCommServices/N
//    (bus_services_object.h) around a GameServer from the factory, owned by
//    the calling connection and gone on its Release, when that connection
//    drops, or when the console ends;
//  - the Window interface's Activate, which brings this console forward.
//
// The methods follow sdk/com.kestrix.Console.GameServices.xml; the names come
// from kestrix/game_contract.h.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "platform/com_server.h"
#include "platform/game_server.h"
#include "platform/linux/bus_services_object.h"
#include "platform/linux/bus_session.h"

namespace kx {

class BusGameServices final : public ComServer {
public:
    using ActivateCallback = std::function<void()>;

    // `session` must outlive this object.
    BusGameServices(BusSession& session, GameServerFactory make_server, ActivateCallback activate);
    BusGameServices(const BusGameServices&) = delete;
    BusGameServices& operator=(const BusGameServices&) = delete;
    ~BusGameServices() override;

    HResult Initialize() override;
    void Uninitialize() override;
    HResult RegisterClassObject(const Guid& clsid, ClassContext context, ClassUse use,
                                ClassCookie* cookie) override;
    HResult RevokeClassObject(ClassCookie cookie) override;

    // How many services objects are alive (for tests and traces).
    std::size_t ObjectCount() const { return objects_.size(); }

private:
    struct Registration {
        ClassCookie cookie = 0;
        BusSlot factory;
        BusSlot window;
    };

    void DropEverything();
    static int OnCreateInstance(sd_bus_message* message, void* userdata, sd_bus_error* error);
    static int OnActivate(sd_bus_message* message, void* userdata, sd_bus_error* error);
    int CreateInstance(sd_bus_message* message);

    BusSession& session_;
    GameServerFactory make_server_;
    ActivateCallback activate_;

    unsigned initialize_count_ = 0;
    std::unique_ptr<Registration> registration_;
    ClassCookie next_cookie_ = 1;
    std::map<std::uint64_t, std::unique_ptr<BusServicesObject>> objects_;
    std::uint64_t next_object_id_ = 1;
};

}  // namespace kx
