#include "net/http_request_engine.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <system_error>

#include "base/ascii.h"
#include "platform/debug_output.h"

namespace kx {

namespace {

constexpr std::string_view kAgent = "KXCONSOLE";
constexpr std::string_view kFormHeaders = "content-type: application/x-www-form-urlencoded";
constexpr std::string_view kUser = "anonymous";
constexpr std::string_view kPassword = "";
constexpr std::size_t kMaxUrlPartLength = 259;
constexpr std::uint32_t kReadChunk = 512;
constexpr auto kCancelWait = std::chrono::milliseconds(5000);
// What splitting into a host or path buffer of 260 characters reports.
constexpr std::uint32_t kErrorInsufficientBuffer = 122;

bool IsHttps(std::string_view scheme) { return EqualsIgnoringAsciiCase(scheme, "https"); }

}  // namespace

// The buffer and count a pending read fills when it completes.
struct HttpRequestEngine::ReadTarget {
    std::array<char, kReadChunk> bytes{};
    std::uint32_t count = 0;
};

HttpRequestEngine::HttpRequestEngine(InetApi& inet)
    : inet_(inet), session_(inet), connection_(inet), request_(inet) {}

HttpRequestEngine::~HttpRequestEngine() {
    if (!worker_.joinable()) return;
    // A worker waiting for a completion that never comes would otherwise hold
    // the owner's teardown for ever; an owner going away wants no reply.
    cancel_.Set();
    worker_.join();
}

void HttpRequestEngine::SetNotificationWindow(std::shared_ptr<Notifier> window) {
    window_.store(std::move(window));
    window_changes_.fetch_add(1);
}

bool HttpRequestEngine::OpenSession(InternetAccess access) {
    request_.Close();
    connection_.Close();
    session_.Close();

    const std::uint32_t access_type =
        access == InternetAccess::Direct ? kInternetOpenTypeDirect : kInternetOpenTypePreconfig;
    session_.Adopt(inet_.InternetOpen(kAgent, access_type, kInternetFlagAsync));
    if (session_.IsEmpty()) return false;
    if (!inet_.InternetSetStatusCallback(session_.Get(), &InetCallBack)) {
        session_.Close();
        return false;
    }
    return true;
}

bool HttpRequestEngine::StartPost(std::string_view url, std::string_view form_data) {
    return Start(Verb::Post, url, form_data);
}

bool HttpRequestEngine::StartDownload(std::string_view url, std::string_view local_file,
                                      LocalFile creation) {
    return Start(Verb::Get, url, local_file,
                 creation == LocalFile::CreateNew ? FileAccess::CreateNew
                                                  : FileAccess::CreateForWriting);
}

bool HttpRequestEngine::Start(Verb verb, std::string_view url, std::string_view body_or_file,
                              FileAccess file_access) {
    if (worker_.joinable()) {
        // The fields belong to a worker until it has ended.
        if (!idle_.IsSet()) return false;
        worker_.join();
    }

    UrlComponents parts;
    if (!inet_.InternetCrackUrl(url, &parts)) {
        error_.store(inet_.LastError());
        return false;
    }
    // Cutting a long host or path short would send the request elsewhere.
    if (parts.host.size() > kMaxUrlPartLength || parts.path.size() > kMaxUrlPartLength) {
        error_.store(kErrorInsufficientBuffer);
        return false;
    }

    // A handle announced after a cancelled request had ended would otherwise
    // be taken for this request's connection.
    request_.Close();
    connection_.Close();

    host_ = std::move(parts.host);
    path_ = std::move(parts.path);
    // The port written in the URL is never used: 443 when secure, else 80.
    secure_ = IsHttps(parts.scheme);
    if (verb == Verb::Post) {
        verb_ = "POST";
        local_file_.clear();
        write_to_file_ = false;
        request_headers_ = kFormHeaders;
        request_body_ = body_or_file;
    } else {
        verb_ = "GET";
        local_file_ = body_or_file;
        write_to_file_ = true;
        file_access_ = file_access;
        request_headers_.clear();
        request_body_.clear();
    }

    response_body_.clear();
    status_code_.store(0);
    cancel_.Reset();
    cancel_deadline_.reset();
    idle_.Reset();

    try {
        worker_ = std::thread(&HttpRequestEngine::RunWorker, this);
    } catch (const std::system_error& failure) {
        error_.store(static_cast<std::uint32_t>(failure.code().value()));
        idle_.Set();
        return false;
    }
    return true;
}

void HttpRequestEngine::Cancel() {
    if (!worker_.joinable()) return;
    const auto now = std::chrono::steady_clock::now();
    if (!cancel_deadline_) cancel_deadline_ = now + kCancelWait;
    cancel_.Set();
    const auto left = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(*cancel_deadline_ - now),
                               std::chrono::milliseconds(0));
    if (idle_.Wait(left)) worker_.join();
}

void HttpRequestEngine::RunWorker() {
    // Both live until Finish has closed the request: a pending read may fill
    // the target until then.
    ReadTarget target;
    UniqueFile file;
    const Ending ending = Transfer(target, file);
    Finish(ending, file);
}

HttpRequestEngine::Ending HttpRequestEngine::Transfer(ReadTarget& target, UniqueFile& file) {
    completion_.Reset();

    if (write_to_file_) {
        file = UniqueFile::Open(local_file_, file_access_);
        if (!file.IsOpen()) return Ending{RequestEnd::Finished, 0};
    }

    const auto context = reinterpret_cast<std::uintptr_t>(this);
    const std::uint16_t port = secure_ ? kInternetDefaultHttpsPort : kInternetDefaultHttpPort;
    const HInternet connection = inet_.InternetConnect(session_.Get(), host_, port, kUser,
                                                       kPassword, kInternetServiceHttp, 0, context);
    if (connection != 0) {
        connection_.Adopt(connection);
    } else if (const auto ending = AfterFailedCall()) {
        return *ending;
    }

    const std::uint32_t flags = kInternetFlagNoCacheWrite | (secure_ ? kInternetFlagSecure : 0);
    const HInternet request =
        inet_.HttpOpenRequest(connection_.Get(), verb_, path_, flags, context);
    if (request != 0) {
        request_.Adopt(request);
    } else if (const auto ending = AfterFailedCall()) {
        return *ending;
    }

    if (!inet_.HttpSendRequest(request_.Get(), request_headers_, request_body_)) {
        if (const auto ending = AfterFailedCall()) return *ending;
    }

    std::uint32_t content_length = 0;
    inet_.HttpQueryInfoNumber(request_.Get(), kHttpQueryFlagNumber | kHttpQueryContentLength,
                              &content_length);
    std::uint32_t status_code = status_code_.load();
    inet_.HttpQueryInfoNumber(request_.Get(), kHttpQueryFlagNumber | kHttpQueryStatusCode,
                              &status_code);
    status_code_.store(status_code);
    OutputDebugText("waiting for data\n");

    std::shared_ptr<Notifier> window;
    std::uint64_t window_seen = 0;
    for (;;) {
        target.bytes.fill(0);
        target.count = 0;
        if (!inet_.InternetReadFile(request_.Get(), target.bytes.data(), kReadChunk,
                                    &target.count)) {
            if (const auto ending = AfterFailedCall()) return *ending;
        }
        if (cancel_.IsSet()) return Ending{RequestEnd::Cancelled, 0};

        const std::uint32_t count = std::min(target.count, kReadChunk);
        if (count == 0) return Ending{RequestEnd::Finished, 0};

        if (Notifier* const to = DataWindow(window, window_seen)) {
            to->Post(WM_INET_DATA, count, static_cast<std::intptr_t>(content_length));
        }
        const std::string_view chunk(target.bytes.data(), count);
        if (write_to_file_) {
            file.Write(chunk);
        } else {
            response_body_.append(chunk);
        }
    }
}

std::optional<HttpRequestEngine::Ending> HttpRequestEngine::AfterFailedCall() {
    const std::uint32_t error = inet_.LastError();
    if (error != kErrorIoPending) return Ending{RequestEnd::Finished, error};
    return WaitForCompletion();
}

std::optional<HttpRequestEngine::Ending> HttpRequestEngine::WaitForCompletion() {
    if (WaitForEither(cancel_, completion_) == SignalledEvent::First) {
        return Ending{RequestEnd::Cancelled, 0};
    }
    const std::uint32_t error = error_.load();
    if (error != 0) return Ending{RequestEnd::Finished, error};
    completion_.Reset();
    return std::nullopt;
}

void HttpRequestEngine::Finish(Ending ending, UniqueFile& file) {
    // A cancel that came while the worker was blocked in a call still counts:
    // the owner has given up on this request and must hear nothing more of it.
    if (cancel_.IsSet()) ending = Ending{RequestEnd::Cancelled, 0};

    error_.store(ending.error);
    file.Close();
    request_.Close();
    connection_.Close();
    if (ending.how != RequestEnd::Cancelled) Post(WM_INET_DONE, 0, 0);
    idle_.Set();
}

void HttpRequestEngine::Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    if (const std::shared_ptr<Notifier> window = window_.load()) window->Post(message, wparam, lparam);
}

Notifier* HttpRequestEngine::DataWindow(std::shared_ptr<Notifier>& cached, std::uint64_t& seen) const {
    // Counted from one, so the first chunk always looks the window up.
    const std::uint64_t changes = window_changes_.load() + 1;
    if (changes != seen) {
        cached = window_.load();
        seen = changes;
    }
    return cached.get();
}

void HttpRequestEngine::InetCallBack(HInternet /*handle*/, std::uintptr_t context,
                                     std::uint32_t status, const void* information,
                                     std::uint32_t information_length) {
    OutputDebugText("InetCallBack \n");
    if (context == 0) return;
    reinterpret_cast<HttpRequestEngine*>(context)->OnStatus(status, information,
                                                            information_length);
}

void HttpRequestEngine::OnStatus(std::uint32_t status, const void* information,
                                 std::uint32_t information_length) {
    Post(WM_INET_STATUS, status, 0);
    if (status != kInternetStatusRequestComplete && status != kInternetStatusHandleCreated) return;

    InternetAsyncResult result;
    const bool has_result = information != nullptr && information_length >= sizeof result;
    if (has_result) std::memcpy(&result, information, sizeof result);

    if (status == kInternetStatusRequestComplete) {
        // A completion without its outcome still wakes the worker, as a
        // failure, rather than leaving it waiting for ever. The error is
        // written before the event is signalled: the worker reads it then.
        error_.store(has_result ? result.dwError : kErrorInternetInternalError);
        completion_.Set();
        return;
    }

    if (!has_result) return;
    error_.store(result.dwError);
    const HInternet handle = result.dwResult;
    if (handle == 0 || handle == connection_.Get()) return;
    if (!connection_.AdoptIfEmpty(handle)) request_.Adopt(handle);
}

}  // namespace kx
