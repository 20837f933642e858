#pragma once

// Linux backend: one game client's services object on the session bus.
//
// Implements:
//  - the interface com.kestrix.Console.IKXServer at one object path: each
//    method's arguments unmarshalled from UTF-8 to the core's UTF-16, the
//    call passed to the GameServer, its result code and outputs marshalled
//    back; a GetGameInfo record must be exactly 184 bytes;
//  - ownership: only the connection that created the object may call it, and
//    the object goes on its Release or when that connection drops.
//
// Nothing a client sends may take the console down: a failure inside a call
// becomes that call's error reply.

#include <systemd/sd-bus.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/game_server.h"
#include "platform/linux/bus_connection.h"

namespace kx {

class BusServicesObject {
public:
    // Asks for the object to be dropped; never run while it is in use
    // beyond the handler that calls it.
    using ReleaseCallback = std::function<void()>;

    BusServicesObject(std::unique_ptr<GameServer> server, std::string owner, std::string path,
                      ReleaseCallback release);
    BusServicesObject(const BusServicesObject&) = delete;
    BusServicesObject& operator=(const BusServicesObject&) = delete;

    // Negative errno when the object cannot be served.
    int Export(sd_bus* bus);

    const std::string& Path() const { return path_; }
    bool OwnedBy(sd_bus_message* message) const;
    GameServer& Server() { return *server_; }
    void Release() { release_(); }

private:
    static int OnOwnerGone(sd_bus_track* track, void* userdata);

    std::unique_ptr<GameServer> server_;
    const std::string owner_;
    const std::string path_;
    ReleaseCallback release_;
    // Unexported before the server goes: declared after it.
    BusTrack track_;
    BusSlot slot_;
};

}  // namespace kx
