// The C calls over the C++ client. Every entry catches whatever the C++ side
// might throw: an exception must never unwind into a C caller's frames.

#include "kestrix/game_services_c.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "kestrix/game_services.h"

namespace {

// The C names stand for the same numbers as the C++ ones.
static_assert(KX_GAME_S_OK == kestrix::kS_OK);
static_assert(KX_GAME_S_FALSE == kestrix::kS_FALSE);
static_assert(KX_GAME_S_DOWNLOADRUNNING == kestrix::KX_S_DOWNLOADRUNNING);
static_assert(KX_GAME_E_NOTIMPL == kestrix::kE_NOTIMPL);
static_assert(KX_GAME_E_POINTER == kestrix::kE_POINTER);
static_assert(KX_GAME_E_FAIL == kestrix::kE_FAIL);
static_assert(KX_GAME_E_OUTOFMEMORY == kestrix::kE_OUTOFMEMORY);
static_assert(KX_GAME_E_INVALIDARG == kestrix::kE_INVALIDARG);
static_assert(KX_GAME_E_NOTINITIALIZED == kestrix::KX_E_NOTINITIALIZED);
static_assert(KX_GAME_E_REFUSED == kestrix::KX_E_REFUSED);
static_assert(KX_GAME_E_BUFFERTOOSMALL == kestrix::KX_E_BUFFERTOOSMALL);
static_assert(KX_GAME_E_NOSUCHITEM == kestrix::KX_E_NOSUCHITEM);
static_assert(KX_GAME_E_DOWNLOADBUSY == kestrix::KX_E_DOWNLOADBUSY);
#if !defined(_WIN32)
static_assert(KX_GAME_RPC_E_DISCONNECTED == kestrix::RPC_E_DISCONNECTED);
static_assert(KX_GAME_RPC_E_TIMEOUT == kestrix::RPC_E_TIMEOUT);
static_assert(KX_GAME_CO_E_SERVER_EXEC_FAILURE == kestrix::CO_E_SERVER_EXEC_FAILURE);
#endif
static_assert(KX_GAME_E_CONSOLENOTREGISTERED == kestrix::KX_E_CONSOLENOTREGISTERED);

// The C record is a copy of the contract's, field by field.
using CRecord = ::KXTOURINFOSTRUCT;
using Record = kestrix::KXTOURINFOSTRUCT;
static_assert(sizeof(CRecord) == sizeof(Record));
static_assert(alignof(CRecord) == alignof(Record));
static_assert(offsetof(CRecord, dwSize) == offsetof(Record, dwSize));
static_assert(offsetof(CRecord, dwTournID) == offsetof(Record, dwTournID));
static_assert(offsetof(CRecord, dwNumGames) == offsetof(Record, dwNumGames));
static_assert(offsetof(CRecord, dwHiScore) == offsetof(Record, dwHiScore));
static_assert(offsetof(CRecord, szHiPlayer) == offsetof(Record, szHiPlayer));
static_assert(sizeof(CRecord::szHiPlayer) == sizeof(Record::szHiPlayer));
static_assert(offsetof(CRecord, fJackpot) == offsetof(Record, fJackpot));
static_assert(offsetof(CRecord, bIsPromo) == offsetof(Record, bIsPromo));
static_assert(offsetof(CRecord, dwRookieLevel) == offsetof(Record, dwRookieLevel));
static_assert(offsetof(CRecord, dwEndScore) == offsetof(Record, dwEndScore));
static_assert(offsetof(CRecord, szEndDate) == offsetof(Record, szEndDate));
static_assert(sizeof(CRecord::szEndDate) == sizeof(Record::szEndDate));

template <typename Body>
kx_game_result Guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return KX_GAME_E_OUTOFMEMORY;
    } catch (...) {
        return KX_GAME_E_FAIL;
    }
}

}  // namespace

struct kx_game_services {
    explicit kx_game_services(kestrix::KXCommServices client) : services(std::move(client)) {}
    kestrix::KXCommServices services;
};

namespace {

// The handle's client, or null when a C caller passes no handle.
template <typename Call>
kx_game_result WithServices(kx_game_services* handle, Call call) noexcept {
    if (handle == nullptr) return KX_GAME_E_POINTER;
    return Guarded([&] { return call(handle->services); });
}

}  // namespace

extern "C" {

kx_game_result kx_game_services_create(kx_game_services** services, uint32_t timeout_ms) {
    if (services == nullptr) return KX_GAME_E_POINTER;
    *services = nullptr;
    return Guarded([&] {
        const std::chrono::milliseconds timeout(timeout_ms != 0 ? timeout_ms
                                                                : KX_GAME_DEFAULT_TIMEOUT_MS);
        std::int32_t hr = KX_GAME_E_FAIL;
        std::optional<kestrix::KXCommServices> client =
            kestrix::KXCommServices::Create(&hr, timeout);
        if (!client) return kestrix::Failed(hr) ? hr : KX_GAME_E_FAIL;
        // Should the handle not be made, the client's destructor still
        // releases the console's object.
        *services = new kx_game_services(std::move(*client));
        return hr;
    });
}

void kx_game_services_destroy(kx_game_services* services) { delete services; }

kx_game_result kx_game_initialize(kx_game_services* services, const char* client_name,
                                  double version) {
    if (client_name == nullptr) return KX_GAME_E_POINTER;
    return WithServices(services, [&](kestrix::KXCommServices& client) {
        return client.Initialize(client_name, version);
    });
}

kx_game_result kx_game_get_game_info(kx_game_services* services, KXTOURINFOSTRUCT* info) {
    if (info == nullptr) return KX_GAME_E_POINTER;
    return WithServices(services, [&](kestrix::KXCommServices& client) {
        Record record;
        std::memcpy(&record, info, sizeof record);
        const std::int32_t hr = client.GetGameInfo(&record);
        // The C++ client fills its record only with a whole answer.
        std::memcpy(info, &record, sizeof record);
        return hr;
    });
}

kx_game_result kx_game_get_game_data_item(kx_game_services* services, const char* section,
                                          const char* item, char* value, size_t value_size) {
    if (section == nullptr || item == nullptr || value == nullptr) return KX_GAME_E_POINTER;
    return WithServices(services, [&](kestrix::KXCommServices& client) {
        // A UTF-8 text has at least as many bytes as UTF-16 units, so the
        // console refuses no value that would fit in the caller's bytes; the
        // bytes themselves are checked below.
        const auto units = static_cast<std::uint32_t>(
            std::min<size_t>(value_size, std::numeric_limits<std::uint32_t>::max()));
        std::string text;
        const std::int32_t hr = client.GetGameDataItem(section, item, text, units);
        if (kestrix::Failed(hr)) return hr;
        if (text.size() >= value_size) return KX_GAME_E_BUFFERTOOSMALL;
        std::memcpy(value, text.data(), text.size());
        value[text.size()] = '\0';
        return hr;
    });
}

kx_game_result kx_game_refresh_game_data(kx_game_services* services) {
    return WithServices(services,
                        [](kestrix::KXCommServices& client) { return client.RefreshGameData(); });
}

kx_game_result kx_game_save_url_to_file(kx_game_services* services, const char* url,
                                        const char* file_name) {
    if (url == nullptr || file_name == nullptr) return KX_GAME_E_POINTER;
    return WithServices(services, [&](kestrix::KXCommServices& client) {
        return client.SaveUrlToFile(url, file_name);
    });
}

kx_game_result kx_game_send_file_to_server(kx_game_services* services, const char* file_name,
                                           int32_t delete_after) {
    if (file_name == nullptr) return KX_GAME_E_POINTER;
    return WithServices(services, [&](kestrix::KXCommServices& client) {
        return client.SendFileToServer(file_name, delete_after);
    });
}

kx_game_result kx_game_get_command_status(kx_game_services* services) {
    return WithServices(services,
                        [](kestrix::KXCommServices& client) { return client.GetCommandStatus(); });
}

kx_game_result kx_game_cancel_command(kx_game_services* services) {
    return WithServices(services,
                        [](kestrix::KXCommServices& client) { return client.CancelCommand(); });
}

kx_game_result kx_game_set_game_data_item(kx_game_services* services, const char* item,
                                          const char* value) {
    if (item == nullptr || value == nullptr) return KX_GAME_E_POINTER;
    return WithServices(services, [&](kestrix::KXCommServices& client) {
        return client.SetGameDataItem(item, value);
    });
}

kx_game_result kx_game_end_game(kx_game_services* services, uint32_t score) {
    return WithServices(services,
                        [&](kestrix::KXCommServices& client) { return client.EndGame(score); });
}

const char* kx_game_result_name(kx_game_result hr) {
    // The names are those of the C++ ResultName, kept here as literals so
    // that no allocation can fail on the way to a C caller's log.
    struct Named {
        kx_game_result code;
        const char* name;
    };
    static constexpr std::array<Named, 17> kNames{{
        {KX_GAME_S_OK, "S_OK"},
        {KX_GAME_S_FALSE, "S_FALSE"},
        {KX_GAME_S_DOWNLOADRUNNING, "KX_S_DOWNLOADRUNNING"},
        {KX_GAME_E_NOTIMPL, "E_NOTIMPL"},
        {KX_GAME_E_POINTER, "E_POINTER"},
        {KX_GAME_E_FAIL, "E_FAIL"},
        {KX_GAME_E_OUTOFMEMORY, "E_OUTOFMEMORY"},
        {KX_GAME_E_INVALIDARG, "E_INVALIDARG"},
        {KX_GAME_E_NOTINITIALIZED, "KX_E_NOTINITIALIZED"},
        {KX_GAME_E_REFUSED, "KX_E_REFUSED"},
        {KX_GAME_E_BUFFERTOOSMALL, "KX_E_BUFFERTOOSMALL"},
        {KX_GAME_E_NOSUCHITEM, "KX_E_NOSUCHITEM"},
        {KX_GAME_E_DOWNLOADBUSY, "KX_E_DOWNLOADBUSY"},
        {KX_GAME_RPC_E_DISCONNECTED, "RPC_E_DISCONNECTED"},
        {KX_GAME_RPC_E_TIMEOUT, "RPC_E_TIMEOUT"},
        {KX_GAME_CO_E_SERVER_EXEC_FAILURE, "CO_E_SERVER_EXEC_FAILURE"},
        {KX_GAME_E_CONSOLENOTREGISTERED, "KX_E_CONSOLENOTREGISTERED"},
    }};
    for (const Named& named : kNames) {
        if (named.code == hr) return named.name;
    }
    thread_local std::array<char, 16> hex{};
    std::snprintf(hex.data(), hex.size(), "0x%08X", static_cast<unsigned>(hr));
    return hex.data();
}

}  // extern "C"
