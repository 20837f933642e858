#pragma once

// Windows backend: the WinINet handles the internet port has handed out, and
// the bridge from WinINet's status callback to the port's.
//
// Implements:
//  - one owner per HINTERNET, closed once; the children of a closed handle
//    are let go of unclosed, since WinINet closes them with their parent and
//    may hand their values out again;
//  - the context WinINet carries for a handle with a context of its own: the
//    caller's context and the port callback the handle took from its parent
//    when it was made. HANDLE_CREATED and REQUEST_COMPLETE reach the port
//    callback with the port's InternetAsyncResult, whatever form WinINet
//    gave them in;
//  - closing: once InternetCloseHandle has returned no forward starts, one
//    still running on another thread is waited for, and so is WinINet's last
//    word for the handle (HANDLE_CLOSING, after which no pending operation
//    touches the caller's buffers), for at most a few seconds.
//
// Missing: a status callback set on a handle made with context 0 never runs
// (WinINet calls none for such handles).

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/unique_any.h"
#include "platform/inet_api.h"

namespace kx::wininet {

using UniqueHInternet = UniqueAny<HINTERNET, &::InternetCloseHandle>;

// WinINet's own code for a socket's failure: some builds pass the Winsock
// code of a connection reset or aborted mid-body through unchanged.
inline std::uint32_t WinInetError(DWORD error) {
    switch (error) {
    case WSAECONNRESET: return kErrorInternetConnectionReset;
    case WSAECONNABORTED: return kErrorInternetConnectionAborted;
    default: return error;
    }
}

// What a handle is, for the calls that take only one kind.
enum class HandleKind { Session, Connection, Request };

// The context WinINet holds for one handle. It keeps itself alive for
// WinINet until HANDLE_CLOSING has come, and with itself what WinINet may
// still read or write for a pending call: a send's texts and a read's
// buffer. A close therefore returns at once even while WinINet finishes a
// call in the background, and nothing of the caller's is touched after it.
class CallbackBridge {
public:
    static std::shared_ptr<CallbackBridge> Make(InternetStatusCallback callback,
                                                std::uintptr_t context);
    CallbackBridge(InternetStatusCallback callback, std::uintptr_t context);
    CallbackBridge(const CallbackBridge&) = delete;
    CallbackBridge& operator=(const CallbackBridge&) = delete;

    // What WinINet is given as the handle's context.
    DWORD_PTR WinContext() { return reinterpret_cast<DWORD_PTR>(this); }

    void SetCallback(InternetStatusCallback callback);

    // WinINet made no handle for it and will never call.
    void Abandon();

    // No forward starts any more; waits for one running on another thread.
    void Silence();

    // Copies of a send's texts, kept until the next send or HANDLE_CLOSING.
    std::pair<const std::string*, const std::string*> KeepSend(std::string_view headers,
                                                               std::string_view body);

    // A read into the bridge's buffer, which becomes the caller's when it
    // completes: at once (FinishRead) or in REQUEST_COMPLETE, before the
    // caller hears of it, unless the handle was closed first.
    struct ReadSpace {
        char* buffer;
        DWORD* count;
    };
    ReadSpace BeginRead(void* caller_buffer, std::uint32_t size, std::uint32_t* caller_count);
    void FinishRead();
    // The read failed at once: nothing is delivered.
    void DropRead();

    // Installed as WinINet's status callback on every handle of the port.
    static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status,
                                  LPVOID information, DWORD information_length);

    // True while the calling thread runs inside a forwarded callback, where
    // waiting for WinINet could wait for this very thread.
    static bool InsideCallback();

private:
    void Forward(HINTERNET handle, DWORD status, LPVOID information, DWORD information_length);
    void Release();
    // Hands a completed read to its caller; the mutex is held.
    void DeliverReadLocked();

    std::mutex mutex_;
    std::condition_variable changed_;
    int running_ = 0;
    bool silenced_ = false;
    bool released_ = false;
    InternetStatusCallback callback_ = nullptr;
    const std::uintptr_t context_;
    std::string send_headers_;
    std::string send_body_;
    std::vector<char> read_buffer_;
    DWORD read_count_ = 0;
    void* read_to_ = nullptr;  // the caller's, while a read is under way
    std::uint32_t* read_count_to_ = nullptr;
    std::shared_ptr<CallbackBridge> self_;
};

// The handles of one api, with their parents, callbacks and bridges.
class HandleTable {
public:
    struct Parent {
        HandleKind kind = HandleKind::Session;
        InternetStatusCallback callback = nullptr;
    };

    HandleTable() = default;
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;
    // Closes every handle still open.
    ~HandleTable();

    // Takes the owner; `bridge` may be null (context 0).
    HInternet Add(HInternet parent, HandleKind kind, UniqueHInternet handle,
                  InternetStatusCallback callback, std::shared_ptr<CallbackBridge> bridge);

    std::optional<Parent> Find(HInternet handle) const;

    // The bridge of a handle of this table; null for none.
    std::shared_ptr<CallbackBridge> BridgeOf(HInternet handle) const;

    // Sets the port callback of a handle of this table and installs the
    // bridge in WinINet; false (with the thread's error set) otherwise.
    bool SetCallback(HInternet handle, InternetStatusCallback callback);

    // Closes the handle and, with it, its children.
    bool Close(HInternet handle);

private:
    struct Entry {
        HInternet parent = 0;
        HandleKind kind = HandleKind::Session;
        UniqueHInternet handle;
        InternetStatusCallback callback = nullptr;
        std::shared_ptr<CallbackBridge> bridge;
    };

    mutable std::mutex mutex_;
    std::map<HInternet, Entry> entries_;
};

}  // namespace kx::wininet
