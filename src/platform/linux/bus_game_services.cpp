#include "platform/linux/bus_game_services.h"

#include <cerrno>
#include <new>
#include <string>
#include <utility>

#include "base/identities.h"
#include "kestrix/game_contract.h"
#include "platform/hresult.h"

namespace kx {

BusGameServices::BusGameServices(BusSession& session, GameServerFactory make_server,
                                 ActivateCallback activate)
    : session_(session), make_server_(std::move(make_server)), activate_(std::move(activate)) {}

BusGameServices::~BusGameServices() { DropEverything(); }

void BusGameServices::DropEverything() {
    objects_.clear();
    registration_.reset();
    session_.Close();
}

HResult BusGameServices::Initialize() {
    if (session_.Connect() == nullptr) return kE_FAIL;
    ++initialize_count_;
    return initialize_count_ == 1 ? kS_OK : kS_FALSE;
}

void BusGameServices::Uninitialize() {
    if (initialize_count_ == 0) return;
    if (--initialize_count_ == 0) DropEverything();
}

HResult BusGameServices::RegisterClassObject(const Guid& clsid, ClassContext /*context*/,
                                             ClassUse /*use*/, ClassCookie* cookie) {
    if (cookie == nullptr) return kE_INVALIDARG;
    if (!(clsid == kClsidKXCommServices)) return kREGDB_E_CLASSNOTREG;
    BusConnection* connection = registration_ ? nullptr : session_.Connect();
    if (connection == nullptr) return kE_FAIL;
    sd_bus* bus = connection->get();

    static const sd_bus_vtable kFactoryVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD_WITH_NAMES("CreateInstance", "", "", "o", SD_BUS_PARAM(object),
                                 OnCreateInstance, 0),
        SD_BUS_VTABLE_END,
    };
    static const sd_bus_vtable kWindowVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Activate", "", "", OnActivate, 0),
        SD_BUS_VTABLE_END,
    };

    auto registration = std::make_unique<Registration>();
    sd_bus_slot* slot = nullptr;
    if (sd_bus_add_object_vtable(bus, &slot, kestrix::kBusRootPath, kestrix::kBusFactoryInterface, kFactoryVtable,
                                 this) < 0) {
        return kE_FAIL;
    }
    registration->factory.reset(slot);
    slot = nullptr;
    if (sd_bus_add_object_vtable(bus, &slot, kestrix::kBusRootPath, kestrix::kBusWindowInterface, kWindowVtable,
                                 this) < 0) {
        return kE_FAIL;
    }
    registration->window.reset(slot);
    // No queueing and no replacement: a console that owns the name stays the
    // one. The single-instance check may have taken it for this console.
    const int r = sd_bus_request_name(bus, kestrix::kBusName, 0);
    connection->ServeSoon();
    if (r < 0 && r != -EALREADY) return kE_FAIL;

    registration->cookie = next_cookie_++;
    if (next_cookie_ == 0) next_cookie_ = 1;
    *cookie = registration->cookie;
    registration_ = std::move(registration);
    return kS_OK;
}

HResult BusGameServices::RevokeClassObject(ClassCookie cookie) {
    if (!registration_ || registration_->cookie != cookie) return kE_INVALIDARG;
    if (BusConnection* connection = session_.Connection()) {
        sd_bus_release_name(connection->get(), kestrix::kBusName);
        connection->ServeSoon();
    }
    registration_.reset();
    return kS_OK;
}

int BusGameServices::OnCreateInstance(sd_bus_message* message, void* userdata,
                                      sd_bus_error* /*error*/) {
    try {
        return static_cast<BusGameServices*>(userdata)->CreateInstance(message);
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    } catch (...) {
        return -EIO;
    }
}

int BusGameServices::CreateInstance(sd_bus_message* message) {
    const char* sender = sd_bus_message_get_sender(message);
    if (sender == nullptr) {
        return sd_bus_reply_method_errorf(message, SD_BUS_ERROR_ACCESS_DENIED,
                                          "Only bus clients can own services objects.");
    }
    BusConnection* connection = session_.Connection();
    if (connection == nullptr) return -ENOTCONN;
    const std::uint64_t id = next_object_id_++;
    auto object = std::make_unique<BusServicesObject>(
        make_server_(), sender, std::string(kestrix::kBusServicesPathPrefix) + std::to_string(id),
        [this, id] { objects_.erase(id); });
    const int r = object->Export(connection->get());
    if (r < 0) return r;
    const std::string path = object->Path();
    objects_.emplace(id, std::move(object));
    return sd_bus_reply_method_return(message, "o", path.c_str());
}

int BusGameServices::OnActivate(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
    try {
        auto* host = static_cast<BusGameServices*>(userdata);
        if (host->activate_) host->activate_();
        return sd_bus_reply_method_return(message, "");
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    } catch (...) {
        return -EIO;
    }
}

}  // namespace kx
