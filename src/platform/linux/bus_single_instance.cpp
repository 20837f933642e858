#include "platform/linux/bus_single_instance.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

#include "base/identities.h"
#include "kestrix/game_contract.h"

namespace kx {

namespace {

// A console that does not answer at once is not waited for: the second
// start only wants to hand the player over.
constexpr std::uint64_t kActivateTimeoutUs = 2'000'000;
constexpr WindowId kOtherConsoleWindow = 1;
constexpr int kOwnerAttempts = 3;

// The unique name that owns the console's name, or empty when none does.
std::string NameOwner(sd_bus* bus) {
    BusError error;
    sd_bus_message* raw = nullptr;
    const int r = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", "GetNameOwner", error.get(), &raw, "s",
                                     kestrix::kBusName);
    const BusMessage reply(raw);
    const char* owner = nullptr;
    if (r < 0 || sd_bus_message_read(reply.get(), "s", &owner) < 0 || owner == nullptr) return {};
    return owner;
}

}  // namespace

WindowId BusSingleInstance::FindWindowByTitle(std::string_view title) {
    other_console_.clear();
    other_console_window_ = kNoWindow;
    if (title != kConsoleWindowTitle) return kNoWindow;
    BusConnection* connection = session_.Connect();
    if (connection == nullptr) return kNoWindow;
    sd_bus* bus = connection->get();
    // Asking who owns the name and taking it later would let two consoles
    // started at once both find nobody. Taking the name here decides it in
    // one step on the bus; the game services take it over when they register.
    for (int attempt = 0; attempt < kOwnerAttempts; ++attempt) {
        const int taken = sd_bus_request_name(bus, kestrix::kBusName, 0);
        connection->ServeSoon();
        if (taken >= 0 || taken == -EALREADY) return kNoWindow;
        // Without the bus's word the console runs alone rather than not at all.
        if (taken != -EEXIST) return kNoWindow;
        std::string owner = NameOwner(bus);
        connection->ServeSoon();
        if (!owner.empty()) {
            other_console_ = std::move(owner);
            other_console_window_ = kOtherConsoleWindow;
            return other_console_window_;
        }
        // The owner ended between the two questions: ask again.
    }
    return kNoWindow;
}

void BusSingleInstance::SetForegroundWindow(WindowId window) {
    BusConnection* connection = session_.Connection();
    if (window == kNoWindow || window != other_console_window_ || connection == nullptr) return;
    sd_bus* bus = connection->get();
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus, &raw, other_console_.c_str(), kestrix::kBusRootPath,
                                       kestrix::kBusWindowInterface, "Activate") < 0) {
        return;
    }
    const BusMessage call(raw);
    // The other console is asked by its unique name: never start a new one.
    sd_bus_message_set_auto_start(call.get(), 0);
    BusError error;
    sd_bus_message* reply = nullptr;
    sd_bus_call(bus, call.get(), kActivateTimeoutUs, error.get(), &reply);
    const BusMessage owned_reply(reply);
    connection->ServeSoon();
}

}  // namespace kx
