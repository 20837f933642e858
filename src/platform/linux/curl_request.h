#pragma once

// Linux backend: one HTTP request of the internet port and its transfer.
//
// Implements:
//  - the handles' objects: a session, a connection, and a request with all
//    it was opened with;
//  - sending with a fixed body or a streamed one through a bounded pipe,
//    waiting in a synchronous session and completing through
//    REQUEST_COMPLETE (100) in an asynchronous one;
//  - the transfer thread, which reports the stages of the exchange (10, 11,
//    20, 21, 30, 31, 40, 41, 110 on a redirect) and keeps the body at most
//    about 256 KiB ahead of the reader;
//  - redirects: never from HTTPS down to HTTP (12040), and a request with a
//    body never redirected to another host or port (12156), whatever the
//    status; on its own host 301, 302 and 303 become a GET without the body,
//    307 and 308 send it again;
//  - closing, which stops the transfer and sends 50, 51 and 70.
//
// Missing: authentication, cookies, caching, connection reuse across
// requests, HTTP/2.

#include <curl/curl.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/common/http_text.h"
#include "platform/inet_api.h"
#include "platform/linux/byte_ring.h"
#include "platform/linux/curl_handles.h"
#include "platform/linux/curl_inet_config.h"

namespace kx::curl_inet {

enum class Completion { Synchronous, Asynchronous };
enum class ProxyUse { Preconfigured, Direct };
enum class BodySource { Fixed, Stream };

struct Session {
    std::string agent;
    ProxyUse proxy = ProxyUse::Preconfigured;
    Completion completion = Completion::Synchronous;
    std::atomic<InternetStatusCallback> callback{nullptr};
};

struct Connection {
    std::shared_ptr<Session> session;
    std::string host;
    std::uint16_t port = 0;  // 0: the scheme's default
    std::uintptr_t context = 0;
    std::atomic<InternetStatusCallback> callback{nullptr};
};

struct RequestTarget {
    HInternet handle = 0;
    std::uintptr_t context = 0;
    InternetStatusCallback callback = nullptr;
    Completion completion = Completion::Synchronous;
    ProxyUse proxy = ProxyUse::Preconfigured;
    std::string agent;
    std::string host;
    std::string url;
    std::string verb;
};

// Nothing is delivered without a callback or with a context of 0, as in WinINet.
void Deliver(InternetStatusCallback callback, HInternet handle, std::uintptr_t context,
             std::uint32_t status, const void* information, std::uint32_t length);
void DeliverClosing(InternetStatusCallback callback, HInternet handle, std::uintptr_t context);

// One HTTP request and, once sent, its transfer. The caller's thread and the
// transfer thread meet under `mutex_`, except for the body: it goes through a
// ring that a read takes from without the lock while bytes are waiting. The
// status callback is always called without the lock held, so the callback may
// call back into the api.
class Request {
public:
    Request(RequestTarget target, std::shared_ptr<const Settings> settings);
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    void SetCallback(InternetStatusCallback callback) { callback_.store(callback); }

    // `self` is this request, kept alive by its transfer thread.
    bool Send(const std::shared_ptr<Request>& self, std::string_view headers, std::string_view body);
    bool SendStream(const std::shared_ptr<Request>& self, std::uint32_t total);
    bool Write(const void* data, std::uint32_t size, std::uint32_t* written);
    bool EndStream();
    bool Query(std::uint32_t info_level, std::uint32_t* number);
    bool Read(void* buffer, std::uint32_t to_read, std::uint32_t* read);

    // Stops the transfer and waits for its thread; afterwards no callback
    // runs for this request and nothing touches the caller's buffers.
    void Close();

private:
    // How far the transfer may run ahead of the reader, and where it resumes.
    static constexpr std::size_t kReceiveBufferLimit = 256 * 1024;
    static constexpr std::size_t kReceiveResumeLevel = kReceiveBufferLimit / 2;
    // Room for one more of libcurl's pieces (16 KiB at most) above the limit.
    static constexpr std::size_t kReceiveRingSize = 2 * kReceiveBufferLimit;

    struct PendingRead {
        bool active = false;
        void* buffer = nullptr;
        std::uint32_t capacity = 0;
        std::uint32_t* count = nullptr;
    };

    // Which status codes the current exchange has reported; transfer thread only.
    struct Stage {
        bool resolved = false;
        bool connecting = false;
        bool sending = false;
        bool sent = false;
        bool receiving = false;
    };

    bool Start(const std::shared_ptr<Request>& self, HeaderLines headers, std::string_view body,
               BodySource source, std::uint32_t total);
    bool Configure(HeaderLines headers);

    // --- Transfer thread (curl_request_transfer.cpp) ---

    void Run();
    CURLcode Pump();
    void ApplyPause();
    void Finish(CURLcode result);

    static std::size_t HeaderThunk(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t BodyThunk(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t UploadThunk(char* data, std::size_t size, std::size_t count, void* self);
    static int ProgressThunk(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded);
    static curl_socket_t OpenSocketThunk(void* self, curlsocktype, curl_sockaddr* address);
    static int ConnectedThunk(void* self, char* primary_ip, char*, int, int);

    curl_socket_t OnOpenSocket(const curl_sockaddr& address);
    int OnConnected(std::string_view address);
    int OnProgress(curl_off_t uploaded);
    void OnHeader(std::string_view line);
    void EndOfHeaders();
    // 0 when the redirect may be followed, else the error that ends the request.
    std::uint32_t RedirectRefusal() const;
    std::size_t OnBody(const char* data, std::size_t size);
    // The reader waits for bytes that are now in the ring.
    void HandOverToReader();
    std::size_t OnUpload(char* buffer, std::size_t size);

    void Notify(std::uint32_t status, const void* information = nullptr, std::uint32_t length = 0);
    // Texts travel with their terminating zero, as WinINet passes them.
    void NotifyText(std::uint32_t status, std::string_view text);
    void NotifyComplete(std::uint32_t error);

    // --- Under mutex_ ---

    bool ReadLocked(std::unique_lock<std::mutex>& lock, void* buffer, std::uint32_t to_read,
                    std::uint32_t* read);
    // After a read has taken bytes: lets a paused transfer go on once there is room.
    void AfterTake();
    void ResumeLocked();
    void StopLocked();
    std::uint32_t FailureLocked() const;

    const RequestTarget target_;
    const std::shared_ptr<const Settings> settings_;
    std::atomic<InternetStatusCallback> callback_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> closed_{false};
    std::atomic<bool> stop_{false};
    bool started_ = false;
    bool send_pending_ = false;  // an asynchronous send still owes its completion
    bool connected_ = false;
    std::atomic<bool> replied_{false};
    bool finished_ = false;
    std::uint32_t error_ = 0;
    std::uint32_t status_code_ = 0;
    std::optional<std::uint32_t> content_length_;
    ByteRing received_;
    PendingRead pending_;
    // A read is pending or a synchronous one is waiting: the transfer then
    // hands the bytes over under the lock.
    std::atomic<bool> reader_waiting_{false};
    std::atomic<bool> receive_paused_{false};
    bool send_paused_ = false;
    bool pause_review_ = false;
    bool streaming_ = false;
    bool stream_ended_ = false;
    bool outgoing_closed_ = false;
    bool cut_short_ = false;
    std::string outgoing_;
    std::uint64_t announced_ = 0;
    std::uint64_t accepted_ = 0;

    // Set before the transfer thread starts, then read by it alone.
    BodySource source_ = BodySource::Fixed;
    std::string body_;
    std::uint64_t upload_size_ = 0;
    bool follow_redirects_ = false;
    CurlSlist header_list_;
    CurlSlist connect_to_;
    CurlMulti multi_;
    CurlEasy easy_;
    MultiMembership membership_;

    // Transfer thread only.
    Stage stage_;
    std::optional<std::uint32_t> reply_content_length_;
    std::string reply_location_;
    bool skipping_body_ = false;
    std::uint32_t redirect_refusal_ = 0;

    TransferThread thread_;
};

}  // namespace kx::curl_inet
