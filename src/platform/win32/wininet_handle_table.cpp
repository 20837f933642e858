#include "platform/win32/wininet_handle_table.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kx::wininet {
namespace {

// The bridges whose forwards the calling thread is inside, innermost last.
thread_local std::vector<const CallbackBridge*> forwarding;

HInternet ToPort(HINTERNET handle) { return reinterpret_cast<HInternet>(handle); }

}  // namespace

std::shared_ptr<CallbackBridge> CallbackBridge::Make(InternetStatusCallback callback,
                                                     std::uintptr_t context) {
    auto bridge = std::make_shared<CallbackBridge>(callback, context);
    bridge->self_ = bridge;
    return bridge;
}

CallbackBridge::CallbackBridge(InternetStatusCallback callback, std::uintptr_t context)
    : callback_(callback), context_(context) {}

void CallbackBridge::SetCallback(InternetStatusCallback callback) {
    const std::lock_guard lock(mutex_);
    callback_ = callback;
}

void CallbackBridge::Abandon() { Release(); }

void CallbackBridge::Silence() {
    std::unique_lock lock(mutex_);
    silenced_ = true;
    // A forward of this bridge that this thread is inside cannot end before
    // the close that called here returns.
    const auto own = static_cast<int>(std::count(forwarding.begin(), forwarding.end(), this));
    changed_.wait(lock, [&] { return running_ <= own; });
}

std::pair<const std::string*, const std::string*> CallbackBridge::KeepSend(
    std::string_view headers, std::string_view body) {
    const std::lock_guard lock(mutex_);
    send_headers_.assign(headers);
    send_body_.assign(body);
    return {&send_headers_, &send_body_};
}

CallbackBridge::ReadSpace CallbackBridge::BeginRead(void* caller_buffer, std::uint32_t size,
                                                    std::uint32_t* caller_count) {
    const std::lock_guard lock(mutex_);
    read_buffer_.assign(size, '\0');
    read_count_ = 0;
    read_to_ = caller_buffer;
    read_count_to_ = caller_count;
    return {read_buffer_.data(), &read_count_};
}

void CallbackBridge::FinishRead() {
    const std::lock_guard lock(mutex_);
    DeliverReadLocked();
}

void CallbackBridge::DropRead() {
    const std::lock_guard lock(mutex_);
    read_to_ = nullptr;
    read_count_to_ = nullptr;
}

void CallbackBridge::DeliverReadLocked() {
    if (read_to_ == nullptr) return;
    const DWORD count = std::min<DWORD>(read_count_, static_cast<DWORD>(read_buffer_.size()));
    if (count != 0) std::memcpy(read_to_, read_buffer_.data(), count);
    *read_count_to_ = count;
    read_to_ = nullptr;
    read_count_to_ = nullptr;
}

bool CallbackBridge::InsideCallback() { return !forwarding.empty(); }

void CallbackBridge::Release() {
    std::shared_ptr<CallbackBridge> self;
    {
        const std::lock_guard lock(mutex_);
        released_ = true;
        self = std::move(self_);
        changed_.notify_all();
    }
    // `self` may be the last owner; it goes after the lock is let go of.
}

void CALLBACK CallbackBridge::OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status,
                                       LPVOID information, DWORD information_length) {
    if (context == 0) return;
    auto* bridge = reinterpret_cast<CallbackBridge*>(context);
    if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        bridge->Release();
        return;
    }
    bridge->Forward(handle, status, information, information_length);
}

void CallbackBridge::Forward(HINTERNET handle, DWORD status, LPVOID information,
                             DWORD information_length) {
    InternetStatusCallback callback = nullptr;
    {
        const std::lock_guard lock(mutex_);
        if (silenced_) return;
        // The bytes are the caller's before the caller hears they came.
        if (status == INTERNET_STATUS_REQUEST_COMPLETE) DeliverReadLocked();
        if (callback_ == nullptr) return;
        callback = callback_;
        ++running_;
    }
    forwarding.push_back(this);

    // The port's result struct is filled field by field: WinINet's differs
    // in padding, and some builds announce a new handle as a bare HINTERNET.
    InternetAsyncResult result;
    const void* port_information = information;
    std::uint32_t port_length = information_length;
    if (status == INTERNET_STATUS_REQUEST_COMPLETE || status == INTERNET_STATUS_HANDLE_CREATED) {
        if (information != nullptr && information_length >= sizeof(INTERNET_ASYNC_RESULT)) {
            INTERNET_ASYNC_RESULT win{};
            std::memcpy(&win, information, sizeof win);
            result.dwResult = win.dwResult;
            result.dwError = WinInetError(win.dwError);
            port_information = &result;
            port_length = sizeof result;
        } else if (status == INTERNET_STATUS_HANDLE_CREATED && information != nullptr &&
                   information_length >= sizeof(HINTERNET)) {
            HINTERNET created = nullptr;
            std::memcpy(&created, information, sizeof created);
            result.dwResult = ToPort(created);
            port_information = &result;
            port_length = sizeof result;
        }
    }
    callback(ToPort(handle), context_, status, port_information, port_length);

    forwarding.pop_back();
    const std::lock_guard lock(mutex_);
    --running_;
    changed_.notify_all();
}

HandleTable::~HandleTable() {
    std::vector<HInternet> roots;
    {
        const std::lock_guard lock(mutex_);
        for (const auto& [handle, entry] : entries_) {
            if (entry.parent == 0 || entries_.count(entry.parent) == 0) roots.push_back(handle);
        }
    }
    for (const HInternet root : roots) Close(root);
}

HInternet HandleTable::Add(HInternet parent, HandleKind kind, UniqueHInternet handle,
                           InternetStatusCallback callback, std::shared_ptr<CallbackBridge> bridge) {
    const HInternet key = ToPort(handle.get());
    Entry entry;
    entry.parent = parent;
    entry.kind = kind;
    entry.handle = std::move(handle);
    entry.callback = callback;
    entry.bridge = std::move(bridge);
    const std::lock_guard lock(mutex_);
    // A value still listed belongs to a child WinINet closed with its
    // parent and has now handed out again: the old entry is stale.
    if (const auto stale = entries_.find(key); stale != entries_.end()) {
        static_cast<void>(stale->second.handle.release());
        entries_.erase(stale);
    }
    entries_.emplace(key, std::move(entry));
    return key;
}

std::optional<HandleTable::Parent> HandleTable::Find(HInternet handle) const {
    const std::lock_guard lock(mutex_);
    const auto found = entries_.find(handle);
    if (found == entries_.end()) return std::nullopt;
    return Parent{found->second.kind, found->second.callback};
}

std::shared_ptr<CallbackBridge> HandleTable::BridgeOf(HInternet handle) const {
    const std::lock_guard lock(mutex_);
    const auto found = entries_.find(handle);
    return found != entries_.end() ? found->second.bridge : nullptr;
}

bool HandleTable::SetCallback(HInternet handle, InternetStatusCallback callback) {
    const std::lock_guard lock(mutex_);
    const auto found = entries_.find(handle);
    if (found == entries_.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    Entry& entry = found->second;
    const INTERNET_STATUS_CALLBACK installed = ::InternetSetStatusCallbackA(
        entry.handle.get(), callback != nullptr ? &CallbackBridge::OnStatus : nullptr);
    if (installed == INTERNET_INVALID_STATUS_CALLBACK) return false;
    entry.callback = callback;
    if (entry.bridge) entry.bridge->SetCallback(callback);
    return true;
}

bool HandleTable::Close(HInternet handle) {
    UniqueHInternet root;
    std::vector<std::shared_ptr<CallbackBridge>> bridges;
    {
        const std::lock_guard lock(mutex_);
        const auto found = entries_.find(handle);
        if (found == entries_.end()) {
            // Not one of ours; WinINet tells what it is.
            return ::InternetCloseHandle(reinterpret_cast<HINTERNET>(handle)) != FALSE;
        }
        std::vector<HInternet> doomed{handle};
        for (std::size_t i = 0; i < doomed.size(); ++i) {
            for (const auto& [candidate, entry] : entries_) {
                if (entry.parent == doomed[i]) doomed.push_back(candidate);
            }
        }
        for (const HInternet member : doomed) {
            Entry& entry = entries_.at(member);
            if (member == handle) {
                root = std::move(entry.handle);
            } else {
                static_cast<void>(entry.handle.release());
            }
            if (entry.bridge) bridges.push_back(std::move(entry.bridge));
            entries_.erase(member);
        }
    }

    const bool closed = ::InternetCloseHandle(root.release()) != FALSE;
    const DWORD error = GetLastError();
    // WinINet may go on with a pending call for a while (until the server
    // answers, on some builds); it uses only the bridge's own storage.
    for (const auto& bridge : bridges) bridge->Silence();
    if (!closed) SetLastError(error);
    return closed;
}

}  // namespace kx::wininet
