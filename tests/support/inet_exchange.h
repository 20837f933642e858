#pragma once

// One HTTP exchange driven through the internet port step by step, the way
// the request engine drives it, and a recorder of what the status callback
// reports. Shared by the tests of every backend of the port: it needs
// nothing but the port.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/inet_api.h"

namespace kx::test {

struct InetEvent {
    HInternet handle = 0;
    std::uint32_t status = 0;
    std::uint32_t error = 0;       // REQUEST_COMPLETE's dwError
    std::uintptr_t result = 0;     // HANDLE_CREATED's and REQUEST_COMPLETE's dwResult
    std::uintptr_t context = 0;
};

// Collects what the status callback reports; its address is the context.
class InetRecorder {
public:
    static void Callback(HInternet handle, std::uintptr_t context, std::uint32_t status,
                         const void* information, std::uint32_t length) {
        auto* self = reinterpret_cast<InetRecorder*>(context);
        InetEvent event{handle, status, 0, 0, context};
        if ((status == kInternetStatusRequestComplete || status == kInternetStatusHandleCreated) &&
            information != nullptr && length >= sizeof(InternetAsyncResult)) {
            const auto* result = static_cast<const InternetAsyncResult*>(information);
            event.error = result->dwError;
            event.result = result->dwResult;
        }
        const std::lock_guard lock(self->mutex_);
        self->events_.push_back(event);
        self->changed_.notify_all();
    }

    std::uintptr_t context() { return reinterpret_cast<std::uintptr_t>(this); }

    std::vector<InetEvent> events() {
        const std::lock_guard lock(mutex_);
        return events_;
    }

    std::size_t completions() {
        const std::lock_guard lock(mutex_);
        return Completions();
    }

    // The error of completion number `index` (from 0), once it has come.
    std::optional<std::uint32_t> WaitForCompletion(std::size_t index,
                                                   std::chrono::milliseconds timeout =
                                                       std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [&] { return Completions() > index; })) {
            return std::nullopt;
        }
        std::size_t seen = 0;
        for (const InetEvent& event : events_) {
            if (event.status == kInternetStatusRequestComplete && seen++ == index) return event.error;
        }
        return std::nullopt;
    }

private:
    std::size_t Completions() const {
        return static_cast<std::size_t>(
            std::count_if(events_.begin(), events_.end(), [](const InetEvent& e) {
                return e.status == kInternetStatusRequestComplete;
            }));
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<InetEvent> events_;
};

struct InetOutcome {
    std::uint32_t send_error = 0;
    std::uint32_t status_code = 0;
    std::uint32_t content_length = 0xDEADBEEF;  // left alone when the reply has none
    std::string body;
    std::uint32_t largest_read = 0;
    std::uint32_t read_error = 0;
};

struct InetTarget {
    std::string host;
    std::string verb = "GET";
    std::string path;
    bool secure = false;
    std::string headers;
    std::string body;
    std::uint16_t port = 0;  // 0 for the scheme's default
};

// One exchange at a time on a session of its own; a call that answers 997
// waits for its completion.
class InetExchange {
public:
    InetExchange(InetApi& api, std::uint32_t flags = kInternetFlagAsync,
                 std::uint32_t access = kInternetOpenTypePreconfig)
        : api_(api), session_(api_, api_.InternetOpen("KXCONSOLE", access, flags)) {
        api_.InternetSetStatusCallback(session_.get(), &InetRecorder::Callback);
    }

    bool Finish(bool ok, std::uint32_t* error) {
        if (ok) return true;
        *error = api_.LastError();
        if (*error != kErrorIoPending) return false;
        *error = recorder_.WaitForCompletion(completions_++).value_or(kErrorInternetTimeout);
        return *error == 0;
    }

    bool Open(const InetTarget& target) {
        const std::uint16_t port =
            target.port != 0 ? target.port
                             : (target.secure ? kInternetDefaultHttpsPort : kInternetDefaultHttpPort);
        connection_ = std::make_unique<UniqueInternetHandle>(
            api_, api_.InternetConnect(session_.get(), target.host, port, "anonymous", "",
                                       kInternetServiceHttp, 0, recorder_.context()));
        const std::uint32_t flags =
            kInternetFlagNoCacheWrite | (target.secure ? kInternetFlagSecure : 0);
        request_ = std::make_unique<UniqueInternetHandle>(
            api_, api_.HttpOpenRequest(connection_->get(), target.verb, target.path, flags,
                                       recorder_.context()));
        return request_->get() != 0;
    }

    bool Send(const InetTarget& target, InetOutcome* out) {
        return Finish(api_.HttpSendRequest(request(), target.headers, target.body),
                      &out->send_error);
    }

    void ReadAll(InetOutcome* out) {
        api_.HttpQueryInfoNumber(request(), kHttpQueryFlagNumber | kHttpQueryContentLength,
                                 &out->content_length);
        api_.HttpQueryInfoNumber(request(), kHttpQueryFlagNumber | kHttpQueryStatusCode,
                                 &out->status_code);
        for (;;) {
            char buffer[512];
            std::uint32_t count = 0;
            if (!Finish(api_.InternetReadFile(request(), buffer, sizeof buffer, &count),
                        &out->read_error)) {
                return;
            }
            if (count == 0) return;
            out->largest_read = std::max(out->largest_read, count);
            out->body.append(buffer, count);
        }
    }

    InetOutcome Run(const InetTarget& target) {
        InetOutcome out;
        if (!Open(target)) {
            out.send_error = api_.LastError();
        } else if (Send(target, &out)) {
            ReadAll(&out);
        }
        request_.reset();
        connection_.reset();
        return out;
    }

    InetApi& api() { return api_; }
    InetRecorder& recorder() { return recorder_; }
    HInternet session() const { return session_.get(); }
    HInternet connection() const { return connection_ ? connection_->get() : 0; }
    HInternet request() const { return request_ ? request_->get() : 0; }
    void CloseRequest() { request_->reset(); }

private:
    InetApi& api_;
    InetRecorder recorder_;
    UniqueInternetHandle session_;
    std::unique_ptr<UniqueInternetHandle> connection_;
    std::unique_ptr<UniqueInternetHandle> request_;
    std::size_t completions_ = 0;
};

// The demo service's download bytes: byte i is i mod 251.
inline std::string DownloadPattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

}  // namespace kx::test
