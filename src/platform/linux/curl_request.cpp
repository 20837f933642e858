#include "platform/linux/curl_request.h"

// The caller's side of a request: setting the transfer up, feeding it and
// taking the reply from it.

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

#include "platform/linux/curl_errors.h"

namespace kx::curl_inet {
namespace {

// How far the writer may run ahead of the transfer.
constexpr std::size_t kUploadPipeLimit = 64 * 1024;

constexpr long kMaxRedirects = 10;

}  // namespace

void Deliver(InternetStatusCallback callback, HInternet handle, std::uintptr_t context,
             std::uint32_t status, const void* information, std::uint32_t length) {
    if (callback != nullptr && context != 0) callback(handle, context, status, information, length);
}

void DeliverClosing(InternetStatusCallback callback, HInternet handle, std::uintptr_t context) {
    Deliver(callback, handle, context, kInternetStatusHandleClosing, &handle,
            static_cast<std::uint32_t>(sizeof handle));
}

Request::Request(RequestTarget target, std::shared_ptr<const Settings> settings)
    : target_(std::move(target)), settings_(std::move(settings)), callback_(target_.callback) {}

bool Request::Send(const std::shared_ptr<Request>& self, std::string_view headers,
                   std::string_view body) {
    auto lines = SplitHeaders(headers);
    if (!lines) return Fail(kInvalidParameter);
    if (!Start(self, std::move(*lines), body, BodySource::Fixed, 0)) return false;
    if (target_.completion == Completion::Asynchronous) return Fail(kErrorIoPending);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return replied_ || finished_ || closed_; });
    return replied_ ? true : Fail(FailureLocked());
}

bool Request::SendStream(const std::shared_ptr<Request>& self, std::uint32_t total) {
    if (!Start(self, HeaderLines{}, {}, BodySource::Stream, total)) return false;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return connected_ || finished_ || closed_; });
    return connected_ && !closed_ ? true : Fail(FailureLocked());
}

bool Request::Write(const void* data, std::uint32_t size, std::uint32_t* written) {
    if (written == nullptr || (data == nullptr && size > 0)) return Fail(kInvalidParameter);
    *written = 0;
    std::unique_lock lock(mutex_);
    if (!streaming_ || stream_ended_) return Fail(kErrorInternetIncorrectHandleState);
    if (size > announced_ - accepted_) return Fail(kInvalidParameter);
    const char* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        changed_.wait(lock, [&] {
            return outgoing_.size() < kUploadPipeLimit || finished_ || closed_;
        });
        if (finished_ || closed_) {
            return Fail(closed_ || error_ != 0 ? FailureLocked()
                                               : kErrorInternetConnectionAborted);
        }
        const std::size_t room = std::min<std::size_t>(size - done, kUploadPipeLimit - outgoing_.size());
        outgoing_.append(bytes + done, room);
        done += room;
        accepted_ += room;
        ResumeLocked();
    }
    *written = size;
    return true;
}

bool Request::EndStream() {
    std::unique_lock lock(mutex_);
    if (!streaming_ || stream_ended_) return Fail(kErrorInternetIncorrectHandleState);
    stream_ended_ = true;
    outgoing_closed_ = true;
    // The host would wait for bytes that never come: what was written goes
    // out, then the request is cut short.
    cut_short_ = accepted_ < announced_;
    ResumeLocked();
    if (cut_short_) {
        changed_.wait(lock, [&] { return finished_ || closed_; });
        return Fail(kErrorInternetConnectionAborted);
    }
    changed_.wait(lock, [&] { return replied_ || finished_ || closed_; });
    return replied_ && !closed_ ? true : Fail(FailureLocked());
}

bool Request::Query(std::uint32_t info_level, std::uint32_t* number) {
    if (number == nullptr) return Fail(kInvalidParameter);
    const std::uint32_t what = info_level & 0xFFFF;
    std::lock_guard lock(mutex_);
    if (!replied_) return Fail(kErrorInternetIncorrectHandleState);
    if (what == kHttpQueryStatusCode) {
        *number = status_code_;
        return true;
    }
    if (what == kHttpQueryContentLength) {
        if (!content_length_) return Fail(kErrorHttpHeaderNotFound);
        *number = *content_length_;
        return true;
    }
    return Fail(kErrorHttpHeaderNotFound);
}

bool Request::Read(void* buffer, std::uint32_t to_read, std::uint32_t* read) {
    if (read == nullptr || (buffer == nullptr && to_read > 0)) return Fail(kInvalidParameter);
    *read = 0;
    if (to_read == 0) return true;
    // The common case of a download: bytes are waiting and nobody else is.
    if (replied_.load() && !closed_.load() && !reader_waiting_.load()) {
        if (const std::size_t count = received_.Pop(buffer, to_read); count > 0) {
            *read = static_cast<std::uint32_t>(count);
            AfterTake();
            return true;
        }
    }
    std::unique_lock lock(mutex_);
    return ReadLocked(lock, buffer, to_read, read);
}

bool Request::ReadLocked(std::unique_lock<std::mutex>& lock, void* buffer, std::uint32_t to_read,
                         std::uint32_t* read) {
    if (!replied_ || pending_.active) return Fail(kErrorInternetIncorrectHandleState);
    if (target_.completion == Completion::Synchronous) {
        reader_waiting_.store(true);
        changed_.wait(lock, [&] { return received_.Size() > 0 || finished_ || closed_; });
        reader_waiting_.store(false);
    }
    if (closed_) return Fail(kErrorInternetOperationCancelled);
    const auto take = [&] {
        *read = static_cast<std::uint32_t>(received_.Pop(buffer, to_read));
        if (receive_paused_.load() && received_.Size() <= kReceiveResumeLevel) ResumeLocked();
        return *read > 0;
    };
    if (take()) return true;
    if (finished_) return error_ == 0 ? true : Fail(error_);
    pending_ = PendingRead{true, buffer, to_read, read};
    reader_waiting_.store(true);
    // Bytes pushed before the transfer could see the reader waiting.
    if (take()) {
        pending_ = PendingRead{};
        reader_waiting_.store(false);
        return true;
    }
    return Fail(kErrorIoPending);
}

void Request::AfterTake() {
    if (!receive_paused_.load() || received_.Size() > kReceiveResumeLevel) return;
    std::lock_guard lock(mutex_);
    ResumeLocked();
}

void Request::Close() {
    TransferThread thread;
    {
        std::lock_guard lock(mutex_);
        closed_.store(true);
        pending_ = PendingRead{};
        reader_waiting_.store(false);
        StopLocked();
        thread = std::move(thread_);
    }
    thread.Finish();
    bool connected = false;
    {
        std::lock_guard lock(mutex_);
        connected = connected_;
    }
    const InternetStatusCallback callback = callback_.load();
    if (connected) {
        Deliver(callback, target_.handle, target_.context, kInternetStatusClosingConnection,
                nullptr, 0);
        Deliver(callback, target_.handle, target_.context, kInternetStatusConnectionClosed,
                nullptr, 0);
    }
    DeliverClosing(callback, target_.handle, target_.context);
}

bool Request::Start(const std::shared_ptr<Request>& self, HeaderLines headers,
                    std::string_view body, BodySource source, std::uint32_t total) {
    std::lock_guard lock(mutex_);
    if (started_ || closed_) return Fail(kErrorInternetIncorrectHandleState);
    // One attempt per request: a half-built transfer is never built upon.
    started_ = true;
    if (!CurlReady()) return Fail(kErrorInternetInternalError);
    multi_.reset(curl_multi_init());
    easy_.reset(curl_easy_init());
    if (!multi_ || !easy_) return Fail(kErrorInternetInternalError);
    received_ = ByteRing(kReceiveRingSize);
    source_ = source;
    body_.assign(body);
    announced_ = total;
    upload_size_ = source == BodySource::Stream ? total : body_.size();
    if (!Configure(std::move(headers))) return Fail(kErrorInternetInternalError);
    if (curl_multi_add_handle(multi_.get(), easy_.get()) != CURLM_OK) {
        return Fail(kErrorInternetInternalError);
    }
    membership_ = MultiMembership(multi_.get(), easy_.get());
    streaming_ = source == BodySource::Stream;
    send_pending_ = source == BodySource::Fixed && target_.completion == Completion::Asynchronous;
    try {
        thread_ = TransferThread([self] { self->Run(); });
    } catch (const std::system_error&) {
        streaming_ = false;
        send_pending_ = false;
        return Fail(kErrorInternetInternalError);
    }
    return true;
}

bool Request::Configure(HeaderLines headers) {
    CURL* easy = easy_.get();
    // libcurl's own additions that WinINet never makes.
    if (!headers.content_type) headers.lines.emplace_back("Content-Type:");
    headers.lines.emplace_back("Expect:");
    headers.lines.emplace_back("Accept:");
    for (const std::string& line : headers.lines) {
        if (!AppendToSlist(&header_list_, line)) return false;
    }
    for (const std::string& entry : settings_->connect_to) {
        if (!AppendToSlist(&connect_to_, entry)) return false;
    }
    bool ok = true;
    const auto set = [&](CURLcode code) { ok = ok && code == CURLE_OK; };
    set(curl_easy_setopt(easy, CURLOPT_URL, target_.url.c_str()));
    set(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
    // A transfer stopped while its name is looked up would otherwise wait,
    // as it is cleaned up, for a resolver thread that may never answer; the
    // thread is left to end by itself instead. An older libcurl without the
    // option still transfers, only without that.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https"));
    // Backs up the transfer thread's own check against a downgrade.
    const bool secure = target_.url.rfind("https://", 0) == 0;
    set(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https"));
    set(curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)));
    set(curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L));
    // A proxy's answer to CONNECT is not the reply.
    set(curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L));
    set(curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L));
    set(curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L));
    if (settings_->ca_store) {
        set(settings_->ca_store->Apply(easy));
    } else if (!settings_->ca_blob.empty()) {
        curl_blob blob{};
        blob.data = const_cast<char*>(settings_->ca_blob.data());
        blob.len = settings_->ca_blob.size();
        blob.flags = CURL_BLOB_NOCOPY;  // the settings live as long as the transfer
        set(curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob));
    }
    if (connect_to_) set(curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connect_to_.get()));
    if (target_.proxy == ProxyUse::Direct) set(curl_easy_setopt(easy, CURLOPT_PROXY, ""));
    if (!target_.agent.empty()) set(curl_easy_setopt(easy, CURLOPT_USERAGENT, target_.agent.c_str()));
    set(curl_easy_setopt(easy, CURLOPT_HTTPHEADER, header_list_.get()));
    set(curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, settings_->connect_timeout_ms));
    set(curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L));
    set(curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, settings_->receive_timeout_s));

    set(curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Request::HeaderThunk));
    set(curl_easy_setopt(easy, CURLOPT_HEADERDATA, static_cast<void*>(this)));
    set(curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Request::BodyThunk));
    set(curl_easy_setopt(easy, CURLOPT_WRITEDATA, static_cast<void*>(this)));
    set(curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L));
    set(curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Request::ProgressThunk));
    set(curl_easy_setopt(easy, CURLOPT_XFERINFODATA, static_cast<void*>(this)));
    set(curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &Request::OpenSocketThunk));
    set(curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, static_cast<void*>(this)));
    set(curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Request::ConnectedThunk));
    set(curl_easy_setopt(easy, CURLOPT_PREREQDATA, static_cast<void*>(this)));

    const std::string& verb = target_.verb;
    if (source_ == BodySource::Stream) {
        // A streamed body cannot be sent twice, so redirects are not followed.
        set(curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L));
        set(curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(announced_)));
        set(curl_easy_setopt(easy, CURLOPT_READFUNCTION, &Request::UploadThunk));
        set(curl_easy_setopt(easy, CURLOPT_READDATA, static_cast<void*>(this)));
        if (verb != "PUT") set(curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb.c_str()));
        return ok;
    }
    follow_redirects_ = true;
    set(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L));
    set(curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects));
    if (verb == "HEAD") {
        set(curl_easy_setopt(easy, CURLOPT_NOBODY, 1L));
    } else if (verb == "GET" && body_.empty()) {
        set(curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L));
    } else if (verb == "POST" || !body_.empty()) {
        set(curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size())));
        set(curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body_.data()));
        if (verb != "POST") set(curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb.c_str()));
    } else {
        set(curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb.c_str()));
    }
    return ok;
}

// --- Under mutex_ ---

void Request::ResumeLocked() {
    if (!receive_paused_ && !send_paused_) return;
    pause_review_ = true;
    curl_multi_wakeup(multi_.get());
}

void Request::StopLocked() {
    stop_.store(true);
    if (multi_) curl_multi_wakeup(multi_.get());
    changed_.notify_all();
}

std::uint32_t Request::FailureLocked() const {
    if (closed_.load()) return kErrorInternetOperationCancelled;
    return error_ != 0 ? error_ : kErrorInternetInternalError;
}

}  // namespace kx::curl_inet
