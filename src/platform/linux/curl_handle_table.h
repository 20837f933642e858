#pragma once

// Linux backend: the internet port's handles.
//
// Implements:
//  - HINTERNET values for sessions, connections and requests, never reused,
//    each with the handle it was opened under;
//  - lookup by type, failing with 6 for an unknown handle and 12018 for one
//    of the wrong type;
//  - closing a handle with everything opened under it, children first;
//  - a quick lookup of the request a thread reads from chunk after chunk.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <variant>

#include "platform/inet_api.h"
#include "platform/linux/curl_errors.h"
#include "platform/linux/curl_request.h"

namespace kx::curl_inet {

class HandleTable {
public:
    using Object = std::variant<std::shared_ptr<Session>, std::shared_ptr<Connection>,
                                std::shared_ptr<Request>>;

    HandleTable();
    // Closes every handle still open.
    ~HandleTable();
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;

    HInternet Add(HInternet parent, Object object);
    // For an object that has to know its own handle.
    HInternet Add(HInternet parent, const std::function<Object(HInternet handle)>& make);

    template <class T>
    std::shared_ptr<T> Find(HInternet handle) {
        std::lock_guard lock(mutex_);
        const auto it = handles_.find(handle);
        if (it == handles_.end()) {
            SetLastError(kInvalidHandle);
            return nullptr;
        }
        if (const auto* object = std::get_if<std::shared_ptr<T>>(&it->second.object)) return *object;
        SetLastError(kErrorInternetIncorrectHandleType);
        return nullptr;
    }

    // Find<Request> without the table's lock while this thread asks for the
    // same request again and no handle has been closed meanwhile. The
    // request stays alive at least until this thread's next lookup.
    Request* FindRequestQuickly(HInternet handle);

    bool SetCallback(HInternet handle, InternetStatusCallback callback);

    // Stops the requests under `handle` and sends their closing status
    // codes; the table's lock is not held meanwhile, so callbacks may call in.
    bool Close(HInternet handle);

private:
    struct Entry {
        HInternet parent = 0;
        Object object;
    };

    std::mutex mutex_;
    std::map<HInternet, Entry> handles_;
    HInternet next_handle_ = 0xCC0004;
    const std::uint64_t id_;  // tells this table's lookups from those of one gone before at its address
    std::atomic<std::uint64_t> closes_{0};  // never reused, so a stale handle is never someone else's
};

}  // namespace kx::curl_inet
