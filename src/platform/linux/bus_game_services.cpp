#include "platform/linux/bus_game_services.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "base/identities.h"
#include "play/game_services.h"
#include "play/result_codes.h"
#include "play/tour_info.h"

namespace kx {

namespace {

constexpr HResult kREGDB_E_CLASSNOTREG = MakeHResult(0x80040154);
// A console that does not answer at once is not waited for: the second
// start only wants to hand the player over.
constexpr std::uint64_t kActivateTimeoutUs = 2'000'000;
constexpr WindowId kOtherConsoleWindow = 1;

constexpr char16_t kReplacement = u'\xFFFD';

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t at = 0;
    while (at < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        std::size_t length = 0;
        char32_t code = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            length = 1;
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1Fu;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0Fu;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07u;
            minimum = 0x10000;
        }
        bool valid = length != 0 && at + length <= utf8.size();
        for (std::size_t i = 1; valid && i < length; ++i) {
            const auto byte = static_cast<unsigned char>(utf8[at + i]);
            if (!IsContinuation(byte)) valid = false;
            code = (code << 6) | (byte & 0x3Fu);
        }
        if (valid && (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) {
            valid = false;
        }
        if (!valid) {
            out += kReplacement;
            ++at;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        at += length;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t at = 0; at < utf16.size(); ++at) {
        const char16_t unit = utf16[at];
        if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < utf16.size() && utf16[at + 1] >= 0xDC00 &&
            utf16[at + 1] <= 0xDFFF) {
            const char32_t code = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                  (static_cast<char32_t>(utf16[at + 1]) - 0xDC00);
            AppendUtf8(out, code);
            ++at;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

// One game client's services: the core object, the connection that made it
// and the tracker that notices when that connection goes.
class BusGameServices::ServicesObject {
public:
    ServicesObject(BusGameServices& host, std::uint64_t id, std::string owner)
        : host_(host),
          id_(id),
          owner_(std::move(owner)),
          path_(std::string(kBusServicesPathPrefix) + std::to_string(id)),
          core_(host.ports_, host.play_, host.selected_game_name_) {}

    // Negative errno when the object cannot be served.
    int Export(sd_bus* bus);

    const std::string& Path() const { return path_; }
    bool OwnedBy(sd_bus_message* message) const {
        const char* sender = sd_bus_message_get_sender(message);
        return sender != nullptr && owner_ == sender;
    }
    KXCommServices& Core() { return core_; }
    void Release() { host_.Remove(id_); }

private:
    static int OnOwnerGone(sd_bus_track* track, void* userdata);

    BusGameServices& host_;
    const std::uint64_t id_;
    const std::string owner_;
    const std::string path_;
    KXCommServices core_;
    // Unexported before the core goes: declared after it.
    BusTrack track_;
    BusSlot slot_;
};

namespace {

using ServicesObject = BusGameServices::ServicesObject;

int ReplyHr(sd_bus_message* message, HResult hr) {
    return sd_bus_reply_method_return(message, "i", hr);
}

// Nothing a client sends may take the console down: every failure of a call
// becomes that call's error reply.
template <typename Body>
int Serve(sd_bus_message* message, void* userdata, sd_bus_error* error, Body body) noexcept {
    try {
        auto* object = static_cast<ServicesObject*>(userdata);
        if (!object->OwnedBy(message)) {
            return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED,
                                    "This object belongs to another connection.");
        }
        return body(*object);
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    } catch (...) {
        return -EIO;
    }
}

int OnInitialize(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error, [m](ServicesObject& object) {
        const char* name = nullptr;
        double version = 0;
        const int r = sd_bus_message_read(m, "sd", &name, &version);
        if (r < 0) return r;
        return ReplyHr(m, object.Core().Initialize(Utf8ToUtf16(name), version));
    });
}

int OnGetGameInfo(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error, [m](ServicesObject& object) {
        const void* bytes = nullptr;
        std::size_t size = 0;
        const int r = sd_bus_message_read_array(m, 'y', &bytes, &size);
        if (r < 0) return r;
        KXTOURINFOSTRUCT info{};
        HResult hr = kE_INVALIDARG;
        if (size == sizeof info && bytes != nullptr) {
            std::memcpy(&info, bytes, sizeof info);
            hr = object.Core().GetGameInfo(&info);
        }
        sd_bus_message* raw = nullptr;
        int result = sd_bus_message_new_method_return(m, &raw);
        if (result < 0) return result;
        const BusMessage reply(raw);
        result = sd_bus_message_append(reply.get(), "i", hr);
        if (result < 0) return result;
        result = sd_bus_message_append_array(reply.get(), 'y', &info, sizeof info);
        if (result < 0) return result;
        return sd_bus_send(nullptr, reply.get(), nullptr);
    });
}

int OnGetGameDataItem(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error, [m](ServicesObject& object) {
        const char* section = nullptr;
        const char* item = nullptr;
        std::uint32_t chars = 0;
        const int r = sd_bus_message_read(m, "ssu", &section, &item, &chars);
        if (r < 0) return r;
        chars = std::min(chars, kBusMaxValueChars);
        std::vector<char16_t> buffer(chars, u'\0');
        const HResult hr = object.Core().GetGameDataItem(
            Utf8ToUtf16(section), Utf8ToUtf16(item), chars == 0 ? nullptr : buffer.data(), chars);
        const auto end = std::find(buffer.begin(), buffer.end(), u'\0');
        const std::string value =
            Utf16ToUtf8(std::u16string_view(buffer.data(), static_cast<std::size_t>(end - buffer.begin())));
        return sd_bus_reply_method_return(m, "is", hr, value.c_str());
    });
}

int OnRefreshGameData(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error,
                 [m](ServicesObject& object) { return ReplyHr(m, object.Core().RefreshGameData()); });
}

int OnSaveUrlToFile(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error, [m](ServicesObject& object) {
        const char* url = nullptr;
        const char* file = nullptr;
        const int r = sd_bus_message_read(m, "ss", &url, &file);
        if (r < 0) return r;
        return ReplyHr(m, object.Core().SaveUrlToFile(Utf8ToUtf16(url), Utf8ToUtf16(file)));
    });
}

int OnSendFileToServer(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error, [m](ServicesObject& object) {
        const char* file = nullptr;
        std::int32_t remove = 0;
        const int r = sd_bus_message_read(m, "si", &file, &remove);
        if (r < 0) return r;
        return ReplyHr(m, object.Core().SendFileToServer(Utf8ToUtf16(file), remove));
    });
}

int OnGetCommandStatus(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error,
                 [m](ServicesObject& object) { return ReplyHr(m, object.Core().GetCommandStatus()); });
}

int OnCancelCommand(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error,
                 [m](ServicesObject& object) { return ReplyHr(m, object.Core().CancelCommand()); });
}

int OnSetGameDataItem(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error, [m](ServicesObject& object) {
        const char* item = nullptr;
        const char* value = nullptr;
        const int r = sd_bus_message_read(m, "ss", &item, &value);
        if (r < 0) return r;
        return ReplyHr(m, object.Core().SetGameDataItem(Utf8ToUtf16(item), Utf8ToUtf16(value)));
    });
}

int OnEndGame(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error, [m](ServicesObject& object) {
        std::uint32_t score = 0;
        const int r = sd_bus_message_read(m, "u", &score);
        if (r < 0) return r;
        return ReplyHr(m, object.Core().EndGame(score));
    });
}

int OnRelease(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error, [m](ServicesObject& object) {
        const int r = sd_bus_reply_method_return(m, "");
        // sd-bus holds the object's slot until this handler returns, so the
        // object may go now; nothing of it is touched afterwards.
        object.Release();
        return r;
    });
}

const sd_bus_vtable kServerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_NAMES("Initialize", "sd", SD_BUS_PARAM(szClientName) SD_BUS_PARAM(fVersion),
                             "i", SD_BUS_PARAM(hr), OnInitialize, 0),
    SD_BUS_METHOD_WITH_NAMES("GetGameInfo", "ay", SD_BUS_PARAM(ti), "iay",
                             SD_BUS_PARAM(hr) SD_BUS_PARAM(ti), OnGetGameInfo, 0),
    SD_BUS_METHOD_WITH_NAMES("GetGameDataItem", "ssu",
                             SD_BUS_PARAM(szSection) SD_BUS_PARAM(szItem) SD_BUS_PARAM(dwBufSize),
                             "is", SD_BUS_PARAM(hr) SD_BUS_PARAM(szValue), OnGetGameDataItem, 0),
    SD_BUS_METHOD_WITH_NAMES("RefreshGameData", "", "", "i", SD_BUS_PARAM(hr), OnRefreshGameData, 0),
    SD_BUS_METHOD_WITH_NAMES("SaveUrlToFile", "ss", SD_BUS_PARAM(szURL) SD_BUS_PARAM(szFileName),
                             "i", SD_BUS_PARAM(hr), OnSaveUrlToFile, 0),
    SD_BUS_METHOD_WITH_NAMES("SendFileToServer", "si",
                             SD_BUS_PARAM(szFileName) SD_BUS_PARAM(bDelete), "i", SD_BUS_PARAM(hr),
                             OnSendFileToServer, 0),
    SD_BUS_METHOD_WITH_NAMES("GetCommandStatus", "", "", "i", SD_BUS_PARAM(hr), OnGetCommandStatus, 0),
    SD_BUS_METHOD_WITH_NAMES("CancelCommand", "", "", "i", SD_BUS_PARAM(hr), OnCancelCommand, 0),
    SD_BUS_METHOD_WITH_NAMES("SetGameDataItem", "ss", SD_BUS_PARAM(szItem) SD_BUS_PARAM(szValue),
                             "i", SD_BUS_PARAM(hr), OnSetGameDataItem, 0),
    SD_BUS_METHOD_WITH_NAMES("EndGame", "u", SD_BUS_PARAM(score), "i", SD_BUS_PARAM(hr), OnEndGame,
                             0),
    SD_BUS_METHOD("Release", "", "", OnRelease, 0),
    SD_BUS_VTABLE_END,
};

}  // namespace

int BusGameServices::ServicesObject::Export(sd_bus* bus) {
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_object_vtable(bus, &slot, path_.c_str(), kBusServerInterface, kServerVtable,
                                     this);
    if (r < 0) return r;
    slot_.reset(slot);
    sd_bus_track* track = nullptr;
    r = sd_bus_track_new(bus, &track, OnOwnerGone, this);
    if (r < 0) return r;
    track_.reset(track);
    // Fails when the owner has already gone: then nobody could release it.
    return sd_bus_track_add_name(track_.get(), owner_.c_str());
}

int BusGameServices::ServicesObject::OnOwnerGone(sd_bus_track* /*track*/, void* userdata) {
    // sd-bus holds the tracker during this call, so dropping it here is safe.
    static_cast<ServicesObject*>(userdata)->Release();
    return 0;
}

BusGameServices::BusGameServices(Ports& ports, PlayContext& play,
                                 const std::string& selected_game_name, ActivateCallback activate)
    : ports_(ports),
      play_(play),
      selected_game_name_(selected_game_name),
      activate_(std::move(activate)) {}

BusGameServices::~BusGameServices() { DropEverything(); }

bool BusGameServices::Connect() {
    if (connection_) return true;
    int error = 0;
    connection_ = BusConnection::OpenSession(&error);
    return connection_ != nullptr;
}

void BusGameServices::DropEverything() {
    objects_.clear();
    registration_.reset();
    other_console_.clear();
    other_console_window_ = kNoWindow;
    connection_.reset();
}

HResult BusGameServices::Initialize() {
    if (!Connect()) return kE_FAIL;
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
    if (registration_ || !Connect()) return kE_FAIL;
    sd_bus* bus = connection_->get();

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
    if (sd_bus_add_object_vtable(bus, &slot, kBusRootPath, kBusFactoryInterface, kFactoryVtable,
                                 this) < 0) {
        return kE_FAIL;
    }
    registration->factory.reset(slot);
    slot = nullptr;
    if (sd_bus_add_object_vtable(bus, &slot, kBusRootPath, kBusWindowInterface, kWindowVtable,
                                 this) < 0) {
        return kE_FAIL;
    }
    registration->window.reset(slot);
    // No queueing and no replacement: a console that owns the name stays the one.
    const int r = sd_bus_request_name(bus, kBusName, 0);
    connection_->ServeSoon();
    if (r < 0) return kE_FAIL;

    registration->cookie = next_cookie_++;
    if (next_cookie_ == 0) next_cookie_ = 1;
    *cookie = registration->cookie;
    registration_ = std::move(registration);
    return kS_OK;
}

HResult BusGameServices::RevokeClassObject(ClassCookie cookie) {
    if (!registration_ || registration_->cookie != cookie) return kE_INVALIDARG;
    if (connection_) {
        sd_bus_release_name(connection_->get(), kBusName);
        connection_->ServeSoon();
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
    const std::uint64_t id = next_object_id_++;
    auto object = std::make_unique<ServicesObject>(*this, id, sender);
    const int r = object->Export(connection_->get());
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

void BusGameServices::Remove(std::uint64_t id) { objects_.erase(id); }

WindowId BusGameServices::FindWindowByTitle(std::string_view title) {
    if (title != kConsoleWindowTitle || !Connect()) return kNoWindow;
    sd_bus* bus = connection_->get();
    BusError error;
    sd_bus_message* raw = nullptr;
    const int r = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", "GetNameOwner", error.get(), &raw, "s",
                                     kBusName);
    const BusMessage reply(raw);
    connection_->ServeSoon();
    if (r < 0) return kNoWindow;
    const char* owner = nullptr;
    if (sd_bus_message_read(reply.get(), "s", &owner) < 0 || owner == nullptr) return kNoWindow;
    const char* self = nullptr;
    if (sd_bus_get_unique_name(bus, &self) >= 0 && self != nullptr && std::strcmp(self, owner) == 0) {
        return kNoWindow;
    }
    other_console_ = owner;
    other_console_window_ = kOtherConsoleWindow;
    return other_console_window_;
}

void BusGameServices::SetForegroundWindow(WindowId window) {
    if (window == kNoWindow || window != other_console_window_ || !connection_) return;
    sd_bus* bus = connection_->get();
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus, &raw, other_console_.c_str(), kBusRootPath,
                                       kBusWindowInterface, "Activate") < 0) {
        return;
    }
    const BusMessage call(raw);
    // The other console is asked by its unique name: never start a new one.
    sd_bus_message_set_auto_start(call.get(), 0);
    BusError error;
    sd_bus_message* reply = nullptr;
    sd_bus_call(bus, call.get(), kActivateTimeoutUs, error.get(), &reply);
    const BusMessage owned_reply(reply);
    connection_->ServeSoon();
}

}  // namespace kx
