#pragma once

// A scripted internet port for unit tests. Each operation can complete at
// once, fail, pend and complete later (from a delivery thread, through the
// registered status callback), pend until the test releases it, or hang
// until released or until its handle is closed. It serves one scripted reply
// and records every call with its arguments.
//
// It keeps the port's contract: a pending read fills the caller's buffer and
// count just before its completion is reported, and once InternetCloseHandle
// returns no callback for that handle runs any more.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/inet_api.h"

namespace kx::test {

enum class InetOp {
    Open,
    SetCallback,
    CrackUrl,
    Connect,
    OpenRequest,
    SendRequest,
    QueryContentLength,
    QueryStatusCode,
    Read,
    SendRequestEx,
    Write,
    EndRequest,
    CloseSession,
    CloseConnection,
    CloseRequest,
};

// Whether a new connection or request handle is announced through
// HANDLE_CREATED (only to a callback, and only for a non-zero context).
enum class Announce { Handle, Nothing };

struct Behavior {
    enum class Mode {
        AtOnce,             // completes before returning
        Fail,               // fails at once with `error`
        Pend,               // fails with 997, completes soon with `error` as dwError
        PendUntilReleased,  // fails with 997, completes when ReleasePending is called
        Hang,               // blocks until ReleaseHangs or until its handle is closed
    };
    Mode mode = Mode::AtOnce;
    std::uint32_t error = 0;
    Announce announce = Announce::Handle;

    static Behavior AtOnce(Announce announce = Announce::Handle) {
        return {Mode::AtOnce, 0, announce};
    }
    static Behavior Fail(std::uint32_t error) { return {Mode::Fail, error, Announce::Handle}; }
    static Behavior Pend(std::uint32_t completion_error = 0, Announce announce = Announce::Handle) {
        return {Mode::Pend, completion_error, announce};
    }
    static Behavior PendUntilReleased(Announce announce = Announce::Handle) {
        return {Mode::PendUntilReleased, 0, announce};
    }
    static Behavior Hang() { return {Mode::Hang, 0, Announce::Handle}; }
};

struct ScriptedReply {
    std::uint32_t status = 200;
    std::optional<std::uint32_t> content_length;  // nothing: the reply has none
    std::string body;
    std::uint32_t max_read = 0;  // the most a read returns; 0 fills each read
};

// How hung calls end when released; a closed handle always fails them.
enum class HangEnd {
    Fail,      // with ERROR_INTERNET_OPERATION_CANCELLED
    Complete,  // as if they had completed at once
};

// With On, the stages announce themselves as the platform would: 20 and 21
// around a connect, 30 and 31 around a send, 40 and 41 around the first read,
// 50 and 51 while a connection closes.
enum class StageStatuses { Off, On };

struct OpenCall {
    std::string agent;
    std::uint32_t access_type = 0;
    std::uint32_t flags = 0;
};

struct ConnectCall {
    HInternet session = 0;
    std::string host;
    std::uint16_t port = 0;
    std::string user;
    std::string password;
    std::uint32_t service = 0;
    std::uint32_t flags = 0;
    std::uintptr_t context = 0;
    HInternet created = 0;  // the handle made for it, also when it pends
};

struct OpenRequestCall {
    HInternet connection = 0;
    std::string verb;
    std::string path;
    std::uint32_t flags = 0;
    std::uintptr_t context = 0;
    HInternet created = 0;
};

struct SendCall {
    HInternet request = 0;
    std::string headers;
    std::string body;
};

struct InetCallLog {
    std::vector<InetOp> order;
    std::vector<OpenCall> opens;
    std::vector<InternetStatusCallback> callbacks;
    std::vector<std::string> cracked_urls;
    std::vector<ConnectCall> connects;
    std::vector<OpenRequestCall> open_requests;
    std::vector<SendCall> sends;
    std::vector<std::uint32_t> read_sizes;
    std::vector<std::uint32_t> announced_sizes;
    std::vector<std::string> written_chunks;
    std::vector<HInternet> closed;
    // Every status code passed to the callback, in order.
    std::vector<std::uint32_t> delivered_statuses;
};

class ScriptedInetApi final : public InetApi {
public:
    ScriptedInetApi();
    ScriptedInetApi(const ScriptedInetApi&) = delete;
    ScriptedInetApi& operator=(const ScriptedInetApi&) = delete;
    ~ScriptedInetApi() override;

    // Every later call of `op` behaves so.
    void Script(InetOp op, Behavior behavior);
    // Only the call of `op` with this 0-based index behaves so.
    void ScriptNth(InetOp op, std::size_t index, Behavior behavior);
    void SetReply(ScriptedReply reply);
    void SetStageStatuses(StageStatuses statuses);

    // Completes the oldest operation held by PendUntilReleased; false if none is held.
    bool ReleasePending(std::uint32_t completion_error = 0);
    void ReleaseHangs(HangEnd end = HangEnd::Fail);

    bool WaitForCall(InetOp op, std::chrono::milliseconds timeout);
    // Until an operation is held and everything queued before it was delivered.
    bool WaitUntilHeld(std::chrono::milliseconds timeout);
    bool WaitUntilHanging(std::chrono::milliseconds timeout);

    // Calls the registered callback on the caller's thread, with handle 0.
    void CallBack(std::uintptr_t context, std::uint32_t status, const void* information,
                  std::uint32_t information_length);

    InetCallLog Log() const;
    std::size_t CallCount(InetOp op) const;
    std::size_t OpenHandleCount() const;

    // The port.
    std::uint32_t LastError() override;
    HInternet InternetOpen(std::string_view agent, std::uint32_t access_type,
                           std::uint32_t flags) override;
    bool InternetSetStatusCallback(HInternet session, InternetStatusCallback callback) override;
    bool InternetCrackUrl(std::string_view url, UrlComponents* components) override;
    HInternet InternetConnect(HInternet session, std::string_view host, std::uint16_t port,
                              std::string_view user, std::string_view password,
                              std::uint32_t service, std::uint32_t flags,
                              std::uintptr_t context) override;
    HInternet HttpOpenRequest(HInternet connection, std::string_view verb, std::string_view path,
                              std::uint32_t flags, std::uintptr_t context) override;
    bool HttpSendRequest(HInternet request, std::string_view headers,
                         std::string_view body) override;
    bool HttpQueryInfoNumber(HInternet request, std::uint32_t info_level,
                             std::uint32_t* number) override;
    bool InternetReadFile(HInternet request, void* buffer, std::uint32_t to_read,
                          std::uint32_t* read) override;
    bool HttpSendRequestEx(HInternet request, std::uint32_t total_body_size) override;
    bool InternetWriteFile(HInternet request, const void* data, std::uint32_t size,
                           std::uint32_t* written) override;
    bool HttpEndRequest(HInternet request) override;
    bool InternetCloseHandle(HInternet handle) override;

private:
    enum class Kind { Session, Connection, Request };
    struct HandleState {
        Kind kind = Kind::Session;
        std::uintptr_t context = 0;
        bool open = true;
    };
    struct Delivery {
        HInternet handle = 0;  // dropped when this handle closes
        std::uintptr_t context = 0;
        std::uint32_t status = 0;
        InternetAsyncResult result;
        std::function<void()> prepare;  // runs just before the callback
    };
    // What one asynchronous-capable call does besides its own bookkeeping.
    struct Operation {
        HInternet handle = 0;    // the handle its notifications are for
        HInternet waits_on = 0;  // a hang ends when this handle closes
        std::uintptr_t context = 0;
        std::uint32_t before = 0;  // stage status before, 0 for none
        std::uint32_t after = 0;   // stage status after, 0 for none
        HInternet created = 0;     // announced by HANDLE_CREATED
        std::function<void()> fill;
    };
    struct Held {
        HInternet handle = 0;
        std::uintptr_t context = 0;
        std::uint32_t after = 0;
        HInternet created = 0;
        std::function<void()> fill;
    };

    using Lock = std::unique_lock<std::mutex>;

    Behavior Next(InetOp op);
    bool IsOpen(HInternet handle, Kind kind) const;
    HInternet NewHandle(Kind kind, std::uintptr_t context);
    bool Fail(std::uint32_t error);
    bool Perform(Lock& lock, const Behavior& behavior, Operation operation);
    void DeliverNow(Lock& lock, HInternet handle, std::uintptr_t context, std::uint32_t status,
                    InternetAsyncResult result = {});
    void Enqueue(Delivery delivery);
    Delivery Completion(HInternet handle, std::uintptr_t context, HInternet created,
                        std::uint32_t error, std::function<void()> fill) const;
    std::string TakeChunk(std::uint32_t to_read);
    void DeliveryLoop();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<InetOp, Behavior> scripts_;
    std::map<std::pair<InetOp, std::size_t>, Behavior> nth_scripts_;
    std::map<InetOp, std::size_t> counts_;
    ScriptedReply reply_;
    std::size_t served_ = 0;
    bool first_read_seen_ = false;
    StageStatuses stage_statuses_ = StageStatuses::Off;
    std::map<HInternet, HandleState> handles_;
    HInternet next_handle_ = 0x1000;
    InternetStatusCallback callback_ = nullptr;
    InetCallLog log_;
    std::deque<Held> held_;
    std::size_t hanging_ = 0;
    std::uint64_t hang_release_generation_ = 0;
    HangEnd hang_end_ = HangEnd::Fail;
    std::deque<Delivery> queue_;
    HInternet in_flight_ = 0;
    bool stopping_ = false;
    std::thread delivery_thread_;
};

}  // namespace kx::test
