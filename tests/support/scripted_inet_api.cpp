#include "support/scripted_inet_api.h"
#include "base/ascii.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace kx::test {

namespace {

constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorHttpHeaderNotFound = 12150;

// Each thread's error of its latest failed call, as GetLastError keeps it.
thread_local std::uint32_t t_last_error = 0;

}  // namespace

ScriptedInetApi::ScriptedInetApi() : delivery_thread_([this] { DeliveryLoop(); }) {}

ScriptedInetApi::~ScriptedInetApi() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
        held_.clear();
    }
    changed_.notify_all();
    delivery_thread_.join();
}

void ScriptedInetApi::Script(InetOp op, Behavior behavior) {
    const std::lock_guard lock(mutex_);
    scripts_[op] = behavior;
}

void ScriptedInetApi::ScriptNth(InetOp op, std::size_t index, Behavior behavior) {
    const std::lock_guard lock(mutex_);
    nth_scripts_[{op, index}] = behavior;
}

void ScriptedInetApi::SetReply(ScriptedReply reply) {
    const std::lock_guard lock(mutex_);
    reply_ = std::move(reply);
    served_ = 0;
    first_read_seen_ = false;
}

void ScriptedInetApi::SetStageStatuses(StageStatuses statuses) {
    const std::lock_guard lock(mutex_);
    stage_statuses_ = statuses;
}

bool ScriptedInetApi::ReleasePending(std::uint32_t completion_error) {
    Lock lock(mutex_);
    if (held_.empty()) return false;
    Held held = std::move(held_.front());
    held_.pop_front();
    if (held.after != 0) Enqueue({held.handle, held.context, held.after, {}, nullptr});
    Enqueue(Completion(held.handle, held.context, held.created, completion_error,
                       std::move(held.fill)));
    return true;
}

void ScriptedInetApi::ReleaseHangs(HangEnd end) {
    {
        const std::lock_guard lock(mutex_);
        ++hang_release_generation_;
        hang_end_ = end;
    }
    changed_.notify_all();
}

bool ScriptedInetApi::WaitForCall(InetOp op, std::chrono::milliseconds timeout) {
    Lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return counts_[op] > 0; });
}

bool ScriptedInetApi::WaitUntilHeld(std::chrono::milliseconds timeout) {
    Lock lock(mutex_);
    // Settled too: what was queued before the held part, such as the
    // announcement of its handle, has reached the callback.
    return changed_.wait_for(lock, timeout,
                             [&] { return !held_.empty() && queue_.empty() && in_flight_ == 0; });
}

bool ScriptedInetApi::WaitUntilHanging(std::chrono::milliseconds timeout) {
    Lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return hanging_ > 0; });
}

void ScriptedInetApi::CallBack(std::uintptr_t context, std::uint32_t status,
                               const void* information, std::uint32_t information_length) {
    InternetStatusCallback callback = nullptr;
    {
        const std::lock_guard lock(mutex_);
        callback = callback_;
        log_.delivered_statuses.push_back(status);
    }
    if (callback != nullptr) callback(0, context, status, information, information_length);
}

InetCallLog ScriptedInetApi::Log() const {
    const std::lock_guard lock(mutex_);
    return log_;
}

std::size_t ScriptedInetApi::CallCount(InetOp op) const {
    const std::lock_guard lock(mutex_);
    const auto found = counts_.find(op);
    return found == counts_.end() ? 0 : found->second;
}

std::size_t ScriptedInetApi::OpenHandleCount() const {
    const std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        handles_.begin(), handles_.end(), [](const auto& entry) { return entry.second.open; }));
}

std::uint32_t ScriptedInetApi::LastError() { return t_last_error; }

HInternet ScriptedInetApi::InternetOpen(std::string_view agent, std::uint32_t access_type,
                                        std::uint32_t flags) {
    Lock lock(mutex_);
    log_.opens.push_back({std::string(agent), access_type, flags});
    const Behavior behavior = Next(InetOp::Open);
    if (behavior.mode == Behavior::Mode::Fail) {
        Fail(behavior.error);
        return 0;
    }
    return NewHandle(Kind::Session, 0);
}

bool ScriptedInetApi::InternetSetStatusCallback(HInternet session,
                                                InternetStatusCallback callback) {
    Lock lock(mutex_);
    log_.callbacks.push_back(callback);
    const Behavior behavior = Next(InetOp::SetCallback);
    if (!IsOpen(session, Kind::Session)) return Fail(kErrorInvalidHandle);
    if (behavior.mode == Behavior::Mode::Fail) return Fail(behavior.error);
    callback_ = callback;
    return true;
}

bool ScriptedInetApi::InternetCrackUrl(std::string_view url, UrlComponents* components) {
    Lock lock(mutex_);
    log_.cracked_urls.emplace_back(url);
    const Behavior behavior = Next(InetOp::CrackUrl);
    if (behavior.mode == Behavior::Mode::Fail) return Fail(behavior.error);

    const std::size_t scheme_end = url.find("://");
    if (scheme_end == std::string_view::npos || scheme_end == 0) {
        return Fail(kErrorInternetUnrecognizedScheme);
    }
    const std::string_view rest = url.substr(scheme_end + 3);
    const std::size_t host_end = std::min(rest.find_first_of(":/?"), rest.size());
    if (host_end == 0) return Fail(kErrorInternetInvalidUrl);

    UrlComponents parts;
    parts.scheme = std::string(url.substr(0, scheme_end));
    parts.host = std::string(rest.substr(0, host_end));
    parts.port = EqualsIgnoringAsciiCase(parts.scheme, "https") ? kInternetDefaultHttpsPort
                                                           : kInternetDefaultHttpPort;
    std::size_t path_start = host_end;
    if (host_end < rest.size() && rest[host_end] == ':') {
        const std::size_t port_end = std::min(rest.find_first_of("/?", host_end), rest.size());
        unsigned port = 0;
        for (std::size_t i = host_end + 1; i < port_end; ++i) {
            if (rest[i] < '0' || rest[i] > '9' || port > 65535)
                return Fail(kErrorInternetInvalidUrl);
            port = port * 10 + static_cast<unsigned>(rest[i] - '0');
        }
        if (port_end == host_end + 1 || port > 65535) return Fail(kErrorInternetInvalidUrl);
        parts.port = static_cast<std::uint16_t>(port);
        path_start = port_end;
    }
    parts.path = std::string(rest.substr(path_start));
    *components = std::move(parts);
    return true;
}

HInternet ScriptedInetApi::InternetConnect(HInternet session, std::string_view host,
                                           std::uint16_t port, std::string_view user,
                                           std::string_view password, std::uint32_t service,
                                           std::uint32_t flags, std::uintptr_t context) {
    Lock lock(mutex_);
    log_.connects.push_back({session, std::string(host), port, std::string(user),
                             std::string(password), service, flags, context, 0});
    const Behavior behavior = Next(InetOp::Connect);
    if (!IsOpen(session, Kind::Session)) {
        Fail(kErrorInvalidHandle);
        return 0;
    }

    const bool staged = stage_statuses_ == StageStatuses::On;
    Operation operation;
    operation.waits_on = session;
    operation.context = context;
    operation.before = staged ? kInternetStatusConnectingToServer : 0;
    operation.after = staged ? kInternetStatusConnectedToServer : 0;
    if (behavior.mode != Behavior::Mode::Fail) {
        operation.created = NewHandle(Kind::Connection, context);
        operation.handle = operation.created;
        log_.connects.back().created = operation.created;
    }
    const HInternet created = operation.created;
    return Perform(lock, behavior, std::move(operation)) ? created : 0;
}

HInternet ScriptedInetApi::HttpOpenRequest(HInternet connection, std::string_view verb,
                                           std::string_view path, std::uint32_t flags,
                                           std::uintptr_t context) {
    Lock lock(mutex_);
    log_.open_requests.push_back(
        {connection, std::string(verb), std::string(path), flags, context, 0});
    const Behavior behavior = Next(InetOp::OpenRequest);
    if (!IsOpen(connection, Kind::Connection)) {
        Fail(kErrorInvalidHandle);
        return 0;
    }

    Operation operation;
    operation.waits_on = connection;
    operation.context = context;
    if (behavior.mode != Behavior::Mode::Fail) {
        operation.created = NewHandle(Kind::Request, context);
        operation.handle = operation.created;
        log_.open_requests.back().created = operation.created;
    }
    const HInternet created = operation.created;
    return Perform(lock, behavior, std::move(operation)) ? created : 0;
}

bool ScriptedInetApi::HttpSendRequest(HInternet request, std::string_view headers,
                                      std::string_view body) {
    Lock lock(mutex_);
    log_.sends.push_back({request, std::string(headers), std::string(body)});
    const Behavior behavior = Next(InetOp::SendRequest);
    if (!IsOpen(request, Kind::Request)) return Fail(kErrorInvalidHandle);

    const bool staged = stage_statuses_ == StageStatuses::On;
    Operation operation;
    operation.handle = request;
    operation.waits_on = request;
    operation.context = handles_[request].context;
    operation.before = staged ? kInternetStatusSendingRequest : 0;
    operation.after = staged ? kInternetStatusRequestSent : 0;
    return Perform(lock, behavior, std::move(operation));
}

bool ScriptedInetApi::HttpQueryInfoNumber(HInternet request, std::uint32_t info_level,
                                          std::uint32_t* number) {
    Lock lock(mutex_);
    const bool content_length = info_level == (kHttpQueryFlagNumber | kHttpQueryContentLength);
    const bool status_code = info_level == (kHttpQueryFlagNumber | kHttpQueryStatusCode);
    if (!content_length && !status_code) return Fail(kErrorHttpHeaderNotFound);
    const Behavior behavior =
        Next(content_length ? InetOp::QueryContentLength : InetOp::QueryStatusCode);
    if (!IsOpen(request, Kind::Request)) return Fail(kErrorInvalidHandle);
    if (behavior.mode == Behavior::Mode::Fail) return Fail(behavior.error);
    if (status_code) {
        *number = reply_.status;
        return true;
    }
    if (!reply_.content_length) return Fail(kErrorHttpHeaderNotFound);
    *number = *reply_.content_length;
    return true;
}

bool ScriptedInetApi::InternetReadFile(HInternet request, void* buffer, std::uint32_t to_read,
                                       std::uint32_t* read) {
    Lock lock(mutex_);
    log_.read_sizes.push_back(to_read);
    const Behavior behavior = Next(InetOp::Read);
    if (!IsOpen(request, Kind::Request)) return Fail(kErrorInvalidHandle);

    const bool staged = stage_statuses_ == StageStatuses::On && !first_read_seen_;
    first_read_seen_ = true;
    Operation operation;
    operation.handle = request;
    operation.waits_on = request;
    operation.context = handles_[request].context;
    operation.before = staged ? kInternetStatusReceivingResponse : 0;
    operation.after = staged ? kInternetStatusResponseReceived : 0;
    operation.fill = [this, buffer, to_read, read] {
        const std::string chunk = TakeChunk(to_read);
        if (!chunk.empty()) std::memcpy(buffer, chunk.data(), chunk.size());
        *read = static_cast<std::uint32_t>(chunk.size());
    };
    return Perform(lock, behavior, std::move(operation));
}

bool ScriptedInetApi::HttpSendRequestEx(HInternet request, std::uint32_t total_body_size) {
    Lock lock(mutex_);
    log_.announced_sizes.push_back(total_body_size);
    const Behavior behavior = Next(InetOp::SendRequestEx);
    if (!IsOpen(request, Kind::Request)) return Fail(kErrorInvalidHandle);
    if (behavior.mode == Behavior::Mode::Fail) return Fail(behavior.error);
    return true;
}

bool ScriptedInetApi::InternetWriteFile(HInternet request, const void* data, std::uint32_t size,
                                        std::uint32_t* written) {
    Lock lock(mutex_);
    const Behavior behavior = Next(InetOp::Write);
    if (!IsOpen(request, Kind::Request)) return Fail(kErrorInvalidHandle);
    if (behavior.mode == Behavior::Mode::Fail) return Fail(behavior.error);
    log_.written_chunks.emplace_back(static_cast<const char*>(data), size);
    *written = size;
    return true;
}

bool ScriptedInetApi::HttpEndRequest(HInternet request) {
    Lock lock(mutex_);
    const Behavior behavior = Next(InetOp::EndRequest);
    if (!IsOpen(request, Kind::Request)) return Fail(kErrorInvalidHandle);
    if (behavior.mode == Behavior::Mode::Fail) return Fail(behavior.error);
    return true;
}

bool ScriptedInetApi::InternetCloseHandle(HInternet handle) {
    Lock lock(mutex_);
    log_.closed.push_back(handle);
    const auto found = handles_.find(handle);
    if (found == handles_.end() || !found->second.open) {
        log_.order.push_back(InetOp::CloseRequest);
        return Fail(kErrorInvalidHandle);
    }
    const Kind kind = found->second.kind;
    const std::uintptr_t context = found->second.context;
    const Behavior behavior = Next(kind == Kind::Session      ? InetOp::CloseSession
                                   : kind == Kind::Connection ? InetOp::CloseConnection
                                                              : InetOp::CloseRequest);

    if (kind == Kind::Connection && stage_statuses_ == StageStatuses::On) {
        DeliverNow(lock, handle, context, kInternetStatusClosingConnection);
        DeliverNow(lock, handle, context, kInternetStatusConnectionClosed);
    }

    // From here on nothing for this handle reaches the callback.
    std::erase_if(queue_, [&](const Delivery& delivery) { return delivery.handle == handle; });
    std::erase_if(held_, [&](const Held& held) { return held.handle == handle; });
    if (std::this_thread::get_id() != delivery_thread_.get_id()) {
        changed_.wait(lock, [&] { return in_flight_ != handle; });
    }
    handles_[handle].open = false;
    changed_.notify_all();

    if (behavior.mode == Behavior::Mode::Fail) return Fail(behavior.error);
    return true;
}

Behavior ScriptedInetApi::Next(InetOp op) {
    log_.order.push_back(op);
    const std::size_t index = counts_[op]++;
    changed_.notify_all();
    if (const auto nth = nth_scripts_.find({op, index}); nth != nth_scripts_.end()) {
        return nth->second;
    }
    if (const auto script = scripts_.find(op); script != scripts_.end()) return script->second;
    return Behavior::AtOnce();
}

bool ScriptedInetApi::IsOpen(HInternet handle, Kind kind) const {
    const auto found = handles_.find(handle);
    return found != handles_.end() && found->second.open && found->second.kind == kind;
}

HInternet ScriptedInetApi::NewHandle(Kind kind, std::uintptr_t context) {
    const HInternet handle = next_handle_++;
    handles_[handle] = HandleState{kind, context, true};
    return handle;
}

bool ScriptedInetApi::Fail(std::uint32_t error) {
    t_last_error = error;
    return false;
}

bool ScriptedInetApi::Perform(Lock& lock, const Behavior& behavior, Operation operation) {
    switch (behavior.mode) {
    case Behavior::Mode::Fail:
        return Fail(behavior.error);

    case Behavior::Mode::Hang: {
        ++hanging_;
        changed_.notify_all();
        const std::uint64_t generation = hang_release_generation_;
        const HInternet waits_on = operation.waits_on;
        bool closed = false;
        changed_.wait(lock, [&] {
            const auto found = handles_.find(waits_on);
            closed = stopping_ || found == handles_.end() || !found->second.open;
            return closed || hang_release_generation_ != generation;
        });
        --hanging_;
        if (closed || hang_end_ == HangEnd::Fail) {
            if (operation.created != 0) handles_.erase(operation.created);
            return Fail(kErrorInternetOperationCancelled);
        }
        [[fallthrough]];
    }

    case Behavior::Mode::AtOnce:
        if (operation.before != 0) {
            DeliverNow(lock, operation.handle, operation.context, operation.before);
        }
        if (operation.created != 0 && behavior.announce == Announce::Handle) {
            DeliverNow(lock, operation.created, operation.context, kInternetStatusHandleCreated,
                       {operation.created, 0});
        }
        if (operation.fill) {
            lock.unlock();
            operation.fill();
            lock.lock();
        }
        if (operation.after != 0) {
            DeliverNow(lock, operation.handle, operation.context, operation.after);
        }
        return true;

    case Behavior::Mode::Pend:
    case Behavior::Mode::PendUntilReleased:
        if (operation.before != 0) {
            DeliverNow(lock, operation.handle, operation.context, operation.before);
        }
        if (operation.created != 0 && behavior.announce == Announce::Handle) {
            Enqueue({operation.created,
                     operation.context,
                     kInternetStatusHandleCreated,
                     {operation.created, 0},
                     nullptr});
        }
        if (behavior.mode == Behavior::Mode::Pend) {
            if (operation.after != 0) {
                Enqueue({operation.handle, operation.context, operation.after, {}, nullptr});
            }
            Enqueue(Completion(operation.handle, operation.context, operation.created,
                               behavior.error, std::move(operation.fill)));
        } else {
            held_.push_back({operation.handle, operation.context, operation.after,
                             operation.created, std::move(operation.fill)});
            changed_.notify_all();
        }
        return Fail(kErrorIoPending);
    }
    return Fail(kErrorInternetInternalError);
}

void ScriptedInetApi::DeliverNow(Lock& lock, HInternet handle, std::uintptr_t context,
                                 std::uint32_t status, InternetAsyncResult result) {
    const InternetStatusCallback callback = callback_;
    if (callback == nullptr || context == 0) return;
    log_.delivered_statuses.push_back(status);
    lock.unlock();
    callback(handle, context, status, &result, sizeof result);
    lock.lock();
}

void ScriptedInetApi::Enqueue(Delivery delivery) {
    queue_.push_back(std::move(delivery));
    changed_.notify_all();
}

ScriptedInetApi::Delivery ScriptedInetApi::Completion(HInternet handle, std::uintptr_t context,
                                                      HInternet created, std::uint32_t error,
                                                      std::function<void()> fill) const {
    Delivery delivery;
    delivery.handle = handle;
    delivery.context = context;
    delivery.status = kInternetStatusRequestComplete;
    delivery.result.dwError = error;
    delivery.result.dwResult = error != 0 ? 0 : created != 0 ? created : 1;
    // A failed read leaves the caller's buffer alone.
    if (error == 0) delivery.prepare = std::move(fill);
    return delivery;
}

std::string ScriptedInetApi::TakeChunk(std::uint32_t to_read) {
    const std::lock_guard lock(mutex_);
    std::size_t size = std::min<std::size_t>(to_read, reply_.body.size() - served_);
    if (reply_.max_read != 0) size = std::min<std::size_t>(size, reply_.max_read);
    std::string chunk = reply_.body.substr(served_, size);
    served_ += size;
    return chunk;
}

void ScriptedInetApi::DeliveryLoop() {
    Lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        Delivery delivery = std::move(queue_.front());
        queue_.pop_front();
        const InternetStatusCallback callback = callback_;
        in_flight_ = delivery.handle;
        const bool reaches_callback = callback != nullptr && delivery.context != 0;
        if (reaches_callback) log_.delivered_statuses.push_back(delivery.status);
        lock.unlock();
        if (delivery.prepare) delivery.prepare();
        if (reaches_callback) {
            callback(delivery.handle, delivery.context, delivery.status, &delivery.result,
                     sizeof delivery.result);
        }
        lock.lock();
        in_flight_ = 0;
        changed_.notify_all();
    }
}

}  // namespace kx::test
