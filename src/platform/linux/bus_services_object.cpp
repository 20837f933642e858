#include "platform/linux/bus_services_object.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/common/utf16_text.h"
#include "platform/hresult.h"

namespace kx {

namespace {

using ServicesObject = BusServicesObject;

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
        return ReplyHr(m, object.Server().Initialize(Utf8ToUtf16(name), version));
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
            hr = object.Server().GetGameInfo(&info);
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
        chars = std::min(chars, kestrix::kMaxValueChars);
        std::vector<char16_t> buffer(chars, u'\0');
        const HResult hr = object.Server().GetGameDataItem(
            Utf8ToUtf16(section), Utf8ToUtf16(item), chars == 0 ? nullptr : buffer.data(), chars);
        const auto end = std::find(buffer.begin(), buffer.end(), u'\0');
        const std::string value =
            Utf16ToUtf8(std::u16string_view(buffer.data(), static_cast<std::size_t>(end - buffer.begin())));
        return sd_bus_reply_method_return(m, "is", hr, value.c_str());
    });
}

int OnRefreshGameData(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error,
                 [m](ServicesObject& object) { return ReplyHr(m, object.Server().RefreshGameData()); });
}

int OnSaveUrlToFile(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error, [m](ServicesObject& object) {
        const char* url = nullptr;
        const char* file = nullptr;
        const int r = sd_bus_message_read(m, "ss", &url, &file);
        if (r < 0) return r;
        return ReplyHr(m, object.Server().SaveUrlToFile(Utf8ToUtf16(url), Utf8ToUtf16(file)));
    });
}

int OnSendFileToServer(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error, [m](ServicesObject& object) {
        const char* file = nullptr;
        std::int32_t remove = 0;
        const int r = sd_bus_message_read(m, "si", &file, &remove);
        if (r < 0) return r;
        return ReplyHr(m, object.Server().SendFileToServer(Utf8ToUtf16(file), remove));
    });
}

int OnGetCommandStatus(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error,
                 [m](ServicesObject& object) { return ReplyHr(m, object.Server().GetCommandStatus()); });
}

int OnCancelCommand(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error,
                 [m](ServicesObject& object) { return ReplyHr(m, object.Server().CancelCommand()); });
}

int OnSetGameDataItem(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error, [m](ServicesObject& object) {
        const char* item = nullptr;
        const char* value = nullptr;
        const int r = sd_bus_message_read(m, "ss", &item, &value);
        if (r < 0) return r;
        return ReplyHr(m, object.Server().SetGameDataItem(Utf8ToUtf16(item), Utf8ToUtf16(value)));
    });
}

int OnEndGame(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return Serve(m, userdata, error, [m](ServicesObject& object) {
        std::uint32_t score = 0;
        const int r = sd_bus_message_read(m, "u", &score);
        if (r < 0) return r;
        return ReplyHr(m, object.Server().EndGame(score));
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

BusServicesObject::BusServicesObject(std::unique_ptr<GameServer> server, std::string owner,
                                     std::string path, ReleaseCallback release)
    : server_(std::move(server)),
      owner_(std::move(owner)),
      path_(std::move(path)),
      release_(std::move(release)) {}

bool BusServicesObject::OwnedBy(sd_bus_message* message) const {
    const char* sender = sd_bus_message_get_sender(message);
    return sender != nullptr && owner_ == sender;
}

int BusServicesObject::Export(sd_bus* bus) {
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_object_vtable(bus, &slot, path_.c_str(), kestrix::kBusServerInterface, kServerVtable,
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

int BusServicesObject::OnOwnerGone(sd_bus_track* /*track*/, void* userdata) {
    // sd-bus holds the tracker during this call, so dropping it here is safe.
    static_cast<BusServicesObject*>(userdata)->Release();
    return 0;
}

}  // namespace kx
