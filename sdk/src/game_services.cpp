#include "kestrix/game_services.h"

#include <systemd/sd-bus.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace kestrix {

namespace {

// Only asks the bus whether the console is still there, so it may be short.
constexpr std::uint64_t kOwnerCheckUsec = 2'000'000;

struct MessageUnref {
    void operator()(sd_bus_message* message) const noexcept { sd_bus_message_unref(message); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

class BusError {
public:
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&error_); }
    sd_bus_error* get() { return &error_; }
    bool Is(const char* name) const { return sd_bus_error_has_name(&error_, name) != 0; }
    bool HasPrefix(std::string_view prefix) const {
        return error_.name != nullptr && std::string_view(error_.name).starts_with(prefix);
    }

private:
    sd_bus_error error_{};
};

// The bus carries no zero characters in a text; the console reads a text up
// to its first zero anyway.
std::string BusText(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

bool IsTimeout(int r, const BusError& error) {
    return r == -ETIMEDOUT || error.Is(SD_BUS_ERROR_TIMEOUT) || error.Is(SD_BUS_ERROR_NO_REPLY);
}

bool IsConnectionLoss(int r) {
    return r == -ECONNRESET || r == -ENOTCONN || r == -EPIPE || r == -ESHUTDOWN;
}

// What a failed call means to the game, when neither the peer's absence nor
// a timeout explains it.
std::int32_t GenericFailure(int r, const BusError& error) {
    if (error.Is(SD_BUS_ERROR_UNKNOWN_METHOD) || error.Is(SD_BUS_ERROR_UNKNOWN_INTERFACE)) {
        return E_NOTIMPL;
    }
    if (error.Is(SD_BUS_ERROR_INVALID_ARGS)) return E_INVALIDARG;
    if (error.Is(SD_BUS_ERROR_NO_MEMORY) || r == -ENOMEM) return E_OUTOFMEMORY;
    return E_FAIL;
}

// Reads the leading result code of a reply; a reply of another shape is the
// console's fault, not the game's.
std::int32_t ReadResult(sd_bus_message* reply) {
    std::int32_t hr = E_FAIL;
    if (sd_bus_message_read_basic(reply, 'i', &hr) <= 0) return E_FAIL;
    return hr;
}

}  // namespace

std::string VerifyFilePath() {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir + kVerifyFileName;
}

void KXCommServices::BusCloser::operator()(sd_bus* bus) const noexcept {
    sd_bus_flush_close_unref(bus);
}

std::optional<KXCommServices> KXCommServices::Create(std::int32_t* hr,
                                                     std::chrono::milliseconds timeout) {
    std::int32_t ignored = S_OK;
    std::int32_t& result = hr != nullptr ? *hr : ignored;
    try {
        const auto timeout_usec = static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(timeout).count());
        sd_bus* raw_bus = nullptr;
        if (sd_bus_open_user(&raw_bus) < 0) {
            result = E_FAIL;
            return std::nullopt;
        }
        BusPtr bus(raw_bus);
        sd_bus_message* raw_call = nullptr;
        if (sd_bus_message_new_method_call(bus.get(), &raw_call, kBusName, kBusRootPath,
                                           kBusFactoryInterface, "CreateInstance") < 0) {
            result = E_FAIL;
            return std::nullopt;
        }
        const MessagePtr call(raw_call);
        BusError error;
        sd_bus_message* raw_reply = nullptr;
        const int r = sd_bus_call(bus.get(), call.get(), timeout_usec, error.get(), &raw_reply);
        const MessagePtr reply(raw_reply);
        if (r < 0) {
            if (error.Is(SD_BUS_ERROR_SERVICE_UNKNOWN) || error.Is(SD_BUS_ERROR_NAME_HAS_NO_OWNER) ||
                error.HasPrefix("org.freedesktop.DBus.Error.Spawn.")) {
                result = CO_E_SERVER_EXEC_FAILURE;
            } else if (IsTimeout(r, error)) {
                result = RPC_E_TIMEOUT;
            } else if (IsConnectionLoss(r)) {
                result = RPC_E_DISCONNECTED;
            } else {
                result = GenericFailure(r, error);
            }
            return std::nullopt;
        }
        const char* path = nullptr;
        const char* sender = sd_bus_message_get_sender(reply.get());
        if (sd_bus_message_read_basic(reply.get(), 'o', &path) <= 0 || sender == nullptr) {
            result = E_FAIL;
            return std::nullopt;
        }
        result = S_OK;
        return KXCommServices(std::move(bus), sender, path, timeout_usec);
    } catch (const std::bad_alloc&) {
        result = E_OUTOFMEMORY;
        return std::nullopt;
    }
}

KXCommServices::KXCommServices(BusPtr bus, std::string peer, std::string path,
                               std::uint64_t timeout_usec)
    : bus_(std::move(bus)),
      peer_(std::move(peer)),
      path_(std::move(path)),
      timeoutUsec_(timeout_usec) {}

KXCommServices::KXCommServices(KXCommServices&& other) noexcept
    : bus_(std::move(other.bus_)),
      peer_(std::exchange(other.peer_, {})),
      path_(std::exchange(other.path_, {})),
      timeoutUsec_(other.timeoutUsec_) {}

KXCommServices& KXCommServices::operator=(KXCommServices&& other) noexcept {
    if (this != &other) {
        Release();
        bus_ = std::move(other.bus_);
        peer_ = std::exchange(other.peer_, {});
        path_ = std::exchange(other.path_, {});
        timeoutUsec_ = other.timeoutUsec_;
    }
    return *this;
}

KXCommServices::~KXCommServices() { Release(); }

void KXCommServices::Release() noexcept {
    if (bus_ && !path_.empty()) {
        sd_bus_message* raw_call = nullptr;
        if (sd_bus_message_new_method_call(bus_.get(), &raw_call, peer_.c_str(), path_.c_str(),
                                           kBusServerInterface, "Release") >= 0) {
            const MessagePtr call(raw_call);
            // Nothing waits for the answer: a console that has gone has
            // nothing left to release, and closing must not stall the game.
            sd_bus_message_set_expect_reply(call.get(), 0);
            sd_bus_send(bus_.get(), call.get(), nullptr);
        }
    }
    // The closer flushes the queued Release before it closes.
    bus_.reset();
}

namespace {

// One method call of a services object: the arguments appended by `append`,
// the reply handed to `read`. Every failure becomes a result code.
class ServicesCall {
public:
    ServicesCall(sd_bus* bus, const std::string& peer, const std::string& path,
                 std::uint64_t timeout_usec)
        : bus_(bus), peer_(peer), path_(path), timeoutUsec_(timeout_usec) {}

    template <typename Append, typename Read>
    std::int32_t Run(const char* member, Append append, Read read) noexcept {
        if (bus_ == nullptr || path_.empty()) return E_FAIL;
        try {
            sd_bus_message* raw_call = nullptr;
            if (sd_bus_message_new_method_call(bus_, &raw_call, peer_.c_str(), path_.c_str(),
                                               kBusServerInterface, member) < 0) {
                return E_FAIL;
            }
            const MessagePtr call(raw_call);
            // sd-bus refuses a text that is not UTF-8 here, before anything is sent.
            if (append(call.get()) < 0) return E_INVALIDARG;
            BusError error;
            sd_bus_message* raw_reply = nullptr;
            const int r = sd_bus_call(bus_, call.get(), timeoutUsec_, error.get(), &raw_reply);
            const MessagePtr reply(raw_reply);
            if (r < 0) return Failure(r, error);
            return read(reply.get());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

private:
    std::int32_t Failure(int r, const BusError& error) {
        if (error.Is(SD_BUS_ERROR_SERVICE_UNKNOWN) || error.Is(SD_BUS_ERROR_NAME_HAS_NO_OWNER) ||
            error.Is(SD_BUS_ERROR_UNKNOWN_OBJECT) || error.Is(SD_BUS_ERROR_DISCONNECTED) ||
            IsConnectionLoss(r)) {
            return RPC_E_DISCONNECTED;
        }
        // The bus answers NoReply both when the console hangs and when it
        // ends in the middle of the call; only asking tells them apart.
        if (IsTimeout(r, error)) return PeerGone() ? RPC_E_DISCONNECTED : RPC_E_TIMEOUT;
        return GenericFailure(r, error);
    }

    bool PeerGone() {
        BusError error;
        sd_bus_message* raw_reply = nullptr;
        sd_bus_message* raw_call = nullptr;
        if (sd_bus_message_new_method_call(bus_, &raw_call, "org.freedesktop.DBus",
                                           "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                           "NameHasOwner") < 0) {
            return true;
        }
        const MessagePtr call(raw_call);
        if (sd_bus_message_append_basic(call.get(), 's', peer_.c_str()) < 0) return true;
        if (sd_bus_call(bus_, call.get(), kOwnerCheckUsec, error.get(), &raw_reply) < 0) {
            return true;
        }
        const MessagePtr reply(raw_reply);
        int has_owner = 0;
        if (sd_bus_message_read_basic(reply.get(), 'b', &has_owner) <= 0) return true;
        return has_owner == 0;
    }

    sd_bus* bus_;
    const std::string& peer_;
    const std::string& path_;
    std::uint64_t timeoutUsec_;
};

int AppendNothing(sd_bus_message* /*call*/) { return 0; }

int AppendText(sd_bus_message* call, std::string_view text) {
    return sd_bus_message_append_basic(call, 's', BusText(text).c_str());
}

}  // namespace

std::int32_t KXCommServices::Initialize(std::string_view szClientName, double fVersion) {
    return ServicesCall(bus_.get(), peer_, path_, timeoutUsec_)
        .Run(
            "Initialize",
            [&](sd_bus_message* call) {
                const int r = AppendText(call, szClientName);
                return r < 0 ? r : sd_bus_message_append_basic(call, 'd', &fVersion);
            },
            ReadResult);
}

std::int32_t KXCommServices::GetGameInfo(KXTOURINFOSTRUCT* ti) {
    if (ti == nullptr) return E_POINTER;
    return ServicesCall(bus_.get(), peer_, path_, timeoutUsec_)
        .Run(
            "GetGameInfo",
            [&](sd_bus_message* call) {
                return sd_bus_message_append_array(call, 'y', ti, sizeof(KXTOURINFOSTRUCT));
            },
            [&](sd_bus_message* reply) {
                const std::int32_t hr = ReadResult(reply);
                const void* bytes = nullptr;
                std::size_t size = 0;
                if (sd_bus_message_read_array(reply, 'y', &bytes, &size) < 0) size = 0;
                if (size == sizeof(KXTOURINFOSTRUCT)) {
                    std::memcpy(ti, bytes, sizeof(KXTOURINFOSTRUCT));
                } else if (Succeeded(hr)) {
                    // A success without the whole record would leave the game
                    // reading half of its old values as the console's.
                    return E_FAIL;
                }
                return hr;
            });
}

std::int32_t KXCommServices::GetGameDataItem(std::string_view szSection, std::string_view szItem,
                                             std::string& szValue, std::uint32_t dwBufSize) {
    return ServicesCall(bus_.get(), peer_, path_, timeoutUsec_)
        .Run(
            "GetGameDataItem",
            [&](sd_bus_message* call) {
                int r = AppendText(call, szSection);
                if (r >= 0) r = AppendText(call, szItem);
                if (r >= 0) r = sd_bus_message_append_basic(call, 'u', &dwBufSize);
                return r;
            },
            [&](sd_bus_message* reply) {
                const std::int32_t hr = ReadResult(reply);
                const char* value = nullptr;
                if (sd_bus_message_read_basic(reply, 's', &value) <= 0) {
                    return Succeeded(hr) ? E_FAIL : hr;
                }
                if (Succeeded(hr)) szValue = value;
                return hr;
            });
}

std::int32_t KXCommServices::RefreshGameData() {
    return ServicesCall(bus_.get(), peer_, path_, timeoutUsec_)
        .Run("RefreshGameData", AppendNothing, ReadResult);
}

std::int32_t KXCommServices::SaveUrlToFile(std::string_view szURL, std::string_view szFileName) {
    return ServicesCall(bus_.get(), peer_, path_, timeoutUsec_)
        .Run(
            "SaveUrlToFile",
            [&](sd_bus_message* call) {
                const int r = AppendText(call, szURL);
                return r < 0 ? r : AppendText(call, szFileName);
            },
            ReadResult);
}

std::int32_t KXCommServices::SendFileToServer(std::string_view szFileName, std::int32_t bDelete) {
    return ServicesCall(bus_.get(), peer_, path_, timeoutUsec_)
        .Run(
            "SendFileToServer",
            [&](sd_bus_message* call) {
                const int r = AppendText(call, szFileName);
                return r < 0 ? r : sd_bus_message_append_basic(call, 'i', &bDelete);
            },
            ReadResult);
}

std::int32_t KXCommServices::GetCommandStatus() {
    return ServicesCall(bus_.get(), peer_, path_, timeoutUsec_)
        .Run("GetCommandStatus", AppendNothing, ReadResult);
}

std::int32_t KXCommServices::CancelCommand() {
    return ServicesCall(bus_.get(), peer_, path_, timeoutUsec_)
        .Run("CancelCommand", AppendNothing, ReadResult);
}

std::int32_t KXCommServices::SetGameDataItem(std::string_view szItem, std::string_view szValue) {
    return ServicesCall(bus_.get(), peer_, path_, timeoutUsec_)
        .Run(
            "SetGameDataItem",
            [&](sd_bus_message* call) {
                const int r = AppendText(call, szItem);
                return r < 0 ? r : AppendText(call, szValue);
            },
            ReadResult);
}

std::int32_t KXCommServices::EndGame(std::uint32_t score) {
    return ServicesCall(bus_.get(), peer_, path_, timeoutUsec_)
        .Run(
            "EndGame",
            [&](sd_bus_message* call) { return sd_bus_message_append_basic(call, 'u', &score); },
            ReadResult);
}

}  // namespace kestrix
