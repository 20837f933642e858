#include "platform/linux/curl_request.h"

// The transfer thread's side of a request: it drives libcurl, reports the
// stages of the exchange and hands the reply to the caller's side.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "base/ascii.h"
#include "platform/linux/curl_errors.h"

namespace kx::curl_inet {
namespace {

constexpr int kPollMilliseconds = 1000;

}  // namespace

void Request::Run() {
    NotifyText(kInternetStatusResolvingName, target_.host);
    Finish(Pump());
}

CURLcode Request::Pump() {
    CURLM* multi = multi_.get();
    for (;;) {
        if (stop_.load()) return CURLE_ABORTED_BY_CALLBACK;
        ApplyPause();
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE) return message->data.result;
        }
        if (running == 0) return CURLE_GOT_NOTHING;
        if (curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr) != CURLM_OK) {
            return CURLE_OUT_OF_MEMORY;
        }
    }
}

// Lifts the pauses whose cause the caller's thread has taken away.
void Request::ApplyPause() {
    int mask = 0;
    {
        std::lock_guard lock(mutex_);
        if (!pause_review_) return;
        pause_review_ = false;
        if (receive_paused_.load() && received_.Size() <= kReceiveResumeLevel) receive_paused_.store(false);
        if (send_paused_ && (!outgoing_.empty() || outgoing_closed_)) send_paused_ = false;
        mask = (receive_paused_ ? CURLPAUSE_RECV : 0) | (send_paused_ ? CURLPAUSE_SEND : 0);
    }
    curl_easy_pause(easy_.get(), mask);
}

void Request::Finish(CURLcode result) {
    long os_errno = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_OS_ERRNO, &os_errno);
    long verify_result = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_SSL_VERIFYRESULT, &verify_result);
    std::uint32_t error = MapCurlError(result, os_errno, verify_result);
    bool complete = false;
    {
        std::lock_guard lock(mutex_);
        if (redirect_refusal_ != 0) error = redirect_refusal_;
        if (error == 0 && !replied_) error = kErrorHttpInvalidServerResponse;
        finished_ = true;
        error_ = error;
        if (send_pending_) {
            send_pending_ = false;
            complete = true;
        } else if (pending_.active) {
            *pending_.count = 0;
            pending_ = PendingRead{};
            reader_waiting_.store(false);
            complete = true;
        }
    }
    changed_.notify_all();
    if (complete) NotifyComplete(error);
}

std::size_t Request::HeaderThunk(char* data, std::size_t size, std::size_t count, void* self) {
    auto* request = static_cast<Request*>(self);
    request->OnHeader(std::string_view(data, size * count));
    // Anything short of the whole line stops the transfer before libcurl follows.
    return request->redirect_refusal_ != 0 ? 0 : size * count;
}
std::size_t Request::BodyThunk(char* data, std::size_t size, std::size_t count, void* self) {
    return static_cast<Request*>(self)->OnBody(data, size * count);
}
std::size_t Request::UploadThunk(char* data, std::size_t size, std::size_t count, void* self) {
    return static_cast<Request*>(self)->OnUpload(data, size * count);
}
int Request::ProgressThunk(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
    return static_cast<Request*>(self)->OnProgress(uploaded);
}
curl_socket_t Request::OpenSocketThunk(void* self, curlsocktype, curl_sockaddr* address) {
    return static_cast<Request*>(self)->OnOpenSocket(*address);
}
int Request::ConnectedThunk(void* self, char* primary_ip, char*, int, int) {
    return static_cast<Request*>(self)->OnConnected(primary_ip != nullptr ? primary_ip : "");
}

curl_socket_t Request::OnOpenSocket(const curl_sockaddr& address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address.family == AF_INET && address.addrlen >= sizeof(sockaddr_in)) {
        sockaddr_in v4{};
        std::memcpy(&v4, &address.addr, sizeof v4);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    } else if (address.family == AF_INET6 && address.addrlen >= sizeof(sockaddr_in6)) {
        sockaddr_in6 v6{};
        std::memcpy(&v6, &address.addr, sizeof v6);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    }
    if (!stage_.resolved) {
        stage_.resolved = true;
        NotifyText(kInternetStatusNameResolved, text);
    }
    if (!stage_.connecting) {
        stage_.connecting = true;
        NotifyText(kInternetStatusConnectingToServer, text);
    }
    // Close-on-exec, so that the game clients the console starts inherit no connection.
    return ::socket(address.family, address.socktype | SOCK_CLOEXEC, address.protocol);
}

int Request::OnConnected(std::string_view address) {
    if (stop_.load()) return CURL_PREREQFUNC_ABORT;
    if (!stage_.connecting) {
        stage_.connecting = true;
        NotifyText(kInternetStatusConnectingToServer, address);
    }
    NotifyText(kInternetStatusConnectedToServer, address);
    {
        std::lock_guard lock(mutex_);
        connected_ = true;
    }
    changed_.notify_all();
    stage_.sending = true;
    Notify(kInternetStatusSendingRequest);
    return CURL_PREREQFUNC_OK;
}

int Request::OnProgress(curl_off_t uploaded) {
    if (stop_.load()) return 1;
    if (stage_.sending && !stage_.sent && uploaded >= 0 &&
        static_cast<std::uint64_t>(uploaded) >= upload_size_) {
        stage_.sent = true;
        Notify(kInternetStatusRequestSent);
    }
    return 0;
}

void Request::OnHeader(std::string_view line) {
    if (!stage_.receiving) {
        if (!stage_.sent) {
            stage_.sent = true;
            Notify(kInternetStatusRequestSent);
        }
        stage_.receiving = true;
        Notify(kInternetStatusReceivingResponse);
    }
    if (line.substr(0, 5) == "HTTP/") {
        reply_content_length_.reset();
        reply_location_.clear();
        skipping_body_ = false;
        return;
    }
    line = TrimHttpSpace(line);
    if (line.empty()) {
        EndOfHeaders();
        return;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view name = TrimHttpSpace(line.substr(0, colon));
    const std::string_view value = TrimHttpSpace(line.substr(colon + 1));
    if (EqualsIgnoringAsciiCase(name, "Content-Length")) {
        reply_content_length_ = ParseDecimal(value, std::numeric_limits<std::uint32_t>::max());
    } else if (EqualsIgnoringAsciiCase(name, "Location")) {
        reply_location_ = std::string(value.substr(0, kMaxUrlLength + 1));
    }
}

void Request::EndOfHeaders() {
    long code = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &code);
    if (code >= 100 && code < 200) return;
    if (follow_redirects_ && code >= 300 && code < 400 && !reply_location_.empty()) {
        redirect_refusal_ = RedirectRefusal();
        if (redirect_refusal_ != 0) return;
        // libcurl follows it and drops this reply's body.
        skipping_body_ = true;
        stage_ = Stage{};
        NotifyText(kInternetStatusRedirect, reply_location_);
        return;
    }
    bool complete = false;
    {
        std::lock_guard lock(mutex_);
        replied_ = true;
        status_code_ = code > 0 && code < 1000 ? static_cast<std::uint32_t>(code) : 0;
        content_length_ = reply_content_length_;
        complete = std::exchange(send_pending_, false);
    }
    changed_.notify_all();
    Notify(kInternetStatusResponseReceived);
    if (complete) NotifyComplete(0);
}

std::uint32_t Request::RedirectRefusal() const {
    if (reply_location_.size() > kMaxUrlLength) return kErrorHttpRedirectFailed;
    // libcurl's own URL reader, so the target judged is the one it would follow.
    const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> from(curl_url(), &curl_url_cleanup);
    const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> to(curl_url(), &curl_url_cleanup);
    char* current = nullptr;
    curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &current);
    if (!from || !to || current == nullptr ||
        curl_url_set(from.get(), CURLUPART_URL, current, 0) != CURLUE_OK ||
        curl_url_set(to.get(), CURLUPART_URL, current, 0) != CURLUE_OK ||
        curl_url_set(to.get(), CURLUPART_URL, reply_location_.c_str(),
                     CURLU_ALLOW_SPACE | CURLU_PATH_AS_IS) != CURLUE_OK) {
        return kErrorHttpRedirectFailed;
    }
    const auto part = [](CURLU* url, CURLUPart which) {
        char* text = nullptr;
        std::string out;
        if (curl_url_get(url, which, &text, CURLU_DEFAULT_PORT) == CURLUE_OK && text != nullptr) {
            out = text;
        }
        curl_free(text);
        return out;
    };
    const std::string from_scheme = part(from.get(), CURLUPART_SCHEME);
    const std::string to_scheme = part(to.get(), CURLUPART_SCHEME);
    if (EqualsIgnoringAsciiCase(from_scheme, "https") && !EqualsIgnoringAsciiCase(to_scheme, "https")) {
        return kErrorInternetHttpsToHttpOnRedir;
    }
    // Even turned into a GET, a command's redirect elsewhere is refused: the
    // body (a password among it) is only ever for the host it was meant for.
    const bool has_body = target_.verb == "POST" || !body_.empty();
    if (has_body && (!EqualsIgnoringAsciiCase(part(from.get(), CURLUPART_HOST),
                                              part(to.get(), CURLUPART_HOST)) ||
                     part(from.get(), CURLUPART_PORT) != part(to.get(), CURLUPART_PORT))) {
        return kErrorHttpRedirectFailed;
    }
    return 0;
}

std::size_t Request::OnBody(const char* data, std::size_t size) {
    if (skipping_body_) return size;
    if (received_.Size() < kReceiveBufferLimit && received_.Push(data, size)) {
        if (reader_waiting_.load()) HandOverToReader();
        return size;
    }
    std::lock_guard lock(mutex_);
    receive_paused_.store(true);
    // The reader may have made room before it could see the pause.
    if (received_.Size() <= kReceiveResumeLevel) ResumeLocked();
    return CURL_WRITEFUNC_PAUSE;
}

void Request::HandOverToReader() {
    bool complete = false;
    {
        std::lock_guard lock(mutex_);
        // The reader is parked, so the ring's reading end is ours meanwhile.
        // It may have taken these bytes itself and be waiting for the next
        // ones: a read is only ever completed with something in it.
        const std::size_t count =
            pending_.active ? received_.Pop(pending_.buffer, pending_.capacity) : 0;
        if (count > 0) {
            *pending_.count = static_cast<std::uint32_t>(count);
            pending_ = PendingRead{};
            reader_waiting_.store(false);
            complete = true;
        }
    }
    changed_.notify_all();
    if (complete) NotifyComplete(0);
}

std::size_t Request::OnUpload(char* buffer, std::size_t size) {
    std::size_t given = 0;
    {
        std::lock_guard lock(mutex_);
        if (stop_.load()) return CURL_READFUNC_ABORT;
        if (outgoing_.empty()) {
            if (cut_short_) return CURL_READFUNC_ABORT;
            if (outgoing_closed_) return 0;
            send_paused_ = true;
            return CURL_READFUNC_PAUSE;
        }
        given = std::min(size, outgoing_.size());
        std::memcpy(buffer, outgoing_.data(), given);
        outgoing_.erase(0, given);
    }
    changed_.notify_all();
    return given;
}

void Request::Notify(std::uint32_t status, const void* information, std::uint32_t length) {
    if (closed_.load()) return;
    Deliver(callback_.load(), target_.handle, target_.context, status, information, length);
}

void Request::NotifyText(std::uint32_t status, std::string_view text) {
    const std::string copy(text);
    Notify(status, copy.c_str(), static_cast<std::uint32_t>(copy.size() + 1));
}

void Request::NotifyComplete(std::uint32_t error) {
    InternetAsyncResult result;
    result.dwResult = error == 0 ? 1 : 0;
    result.dwError = error;
    Notify(kInternetStatusRequestComplete, &result, static_cast<std::uint32_t>(sizeof result));
}

}  // namespace kx::curl_inet
