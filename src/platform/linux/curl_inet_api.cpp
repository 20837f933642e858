#include "platform/linux/curl_inet_api.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "base/registry_paths.h"

namespace kx {
namespace {

// Win32 and WinINet errors besides those the port names.
constexpr std::uint32_t kInvalidHandle = 6;
constexpr std::uint32_t kInvalidParameter = 87;
constexpr std::uint32_t kErrorInternetIncorrectHandleState = 12019;
constexpr std::uint32_t kErrorHttpHeaderNotFound = 12150;
constexpr std::uint32_t kErrorHttpRedirectFailed = 12156;
constexpr std::uint32_t kInternetOpenTypePreconfigNoAutoproxy = 4;

// WinINet's own limits (INTERNET_MAX_*), and generous ones where it has none.
constexpr std::size_t kMaxUrlLength = 2084;
constexpr std::size_t kMaxHostLength = 256;
constexpr std::size_t kMaxPathLength = 2048;
constexpr std::size_t kMaxUserLength = 256;
constexpr std::size_t kMaxAgentLength = 1024;
constexpr std::size_t kMaxVerbLength = 32;
constexpr std::size_t kMaxHeadersLength = 64 * 1024;
constexpr std::size_t kMaxRegistryText = 64 * 1024;
constexpr long kMaxCaFileSize = 8L * 1024 * 1024;

// How far the transfer may run ahead of the reader or the writer.
constexpr std::size_t kReceiveBufferLimit = 256 * 1024;
constexpr std::size_t kReceiveResumeLevel = kReceiveBufferLimit / 2;
constexpr std::size_t kUploadPipeLimit = 64 * 1024;

constexpr long kMaxRedirects = 10;
constexpr int kPollMilliseconds = 1000;

thread_local std::uint32_t t_last_error = 0;

bool Fail(std::uint32_t error) {
    t_last_error = error;
    return false;
}

HInternet FailHandle(std::uint32_t error) {
    t_last_error = error;
    return 0;
}

void Warn(const std::string& text) { std::cerr << "kestrix: " << text << '\n'; }

// --- Owners of libcurl and C library handles -------------------------------

struct EasyCleanup {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
using UniqueEasy = std::unique_ptr<CURL, EasyCleanup>;

struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using UniqueMulti = std::unique_ptr<CURLM, MultiCleanup>;

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using UniqueSlist = std::unique_ptr<curl_slist, SlistFree>;

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileClose>;

// An easy handle's place in a multi handle, given up before either is cleaned up.
class MultiMembership {
public:
    MultiMembership() = default;
    MultiMembership(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {}
    MultiMembership(const MultiMembership&) = delete;
    MultiMembership& operator=(const MultiMembership&) = delete;
    MultiMembership& operator=(MultiMembership&& other) noexcept {
        std::swap(multi_, other.multi_);
        std::swap(easy_, other.easy_);
        return *this;
    }
    ~MultiMembership() {
        if (multi_ != nullptr) curl_multi_remove_handle(multi_, easy_);
    }

private:
    CURLM* multi_ = nullptr;
    CURL* easy_ = nullptr;
};

// A transfer thread, joined when it is let go of; a thread cannot wait for
// itself, so a callback that closes its own request leaves it to run out.
class TransferThread {
public:
    TransferThread() = default;
    explicit TransferThread(std::function<void()> body) : thread_(std::move(body)) {}
    TransferThread(TransferThread&& other) noexcept = default;
    TransferThread& operator=(TransferThread&& other) noexcept {
        Finish();
        thread_ = std::move(other.thread_);
        return *this;
    }
    ~TransferThread() { Finish(); }

    void Finish() {
        if (!thread_.joinable()) return;
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }

private:
    std::thread thread_;
};

// libcurl's global state is set up once and kept: a transfer left to run out
// by its own callback may still be using it when the process ends.
bool CurlReady() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

// --- Texts -----------------------------------------------------------------

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), IsControl);
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

// RFC 7230 token characters, as in a method or a header name.
bool IsToken(std::string_view text) {
    static constexpr std::string_view kSpecials = "!#$%&'*+-.^_`|~";
    if (text.empty()) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return IsAlpha(c) || IsDigit(c) || kSpecials.find(c) != std::string_view::npos;
    });
}

// A DNS name or an IPv4 or IPv6 address (without brackets).
bool IsHostName(std::string_view host) {
    if (host.empty() || host.size() > kMaxHostLength) return false;
    if (host.find(':') != std::string_view::npos) {
        return std::all_of(host.begin(), host.end(), [](char c) {
            return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
                   c == '.';
        });
    }
    return std::all_of(host.begin(), host.end(), [](char c) {
        return IsAlpha(c) || IsDigit(c) || c == '-' || c == '.' || c == '_';
    });
}

std::optional<std::uint32_t> ParseNumber(std::string_view text, std::uint64_t max) {
    if (text.empty() || text.size() > 20) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > max) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    const auto port = ParseNumber(text, 65535);
    if (!port || *port == 0) return std::nullopt;
    return static_cast<std::uint16_t>(*port);
}

// Splits "host" or "[v6]" off the front of `text` up to the next ':'.
std::optional<std::string_view> TakeHost(std::string_view* text) {
    std::string_view host;
    if (!text->empty() && text->front() == '[') {
        const std::size_t close = text->find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = text->substr(1, close - 1);
        if (host.find(':') == std::string_view::npos) return std::nullopt;
        text->remove_prefix(close + 1);
    } else {
        const std::size_t colon = text->find(':');
        host = text->substr(0, colon);
        if (host.find(':') != std::string_view::npos) return std::nullopt;
        text->remove_prefix(colon == std::string_view::npos ? text->size() : colon);
    }
    if (!IsHostName(host)) return std::nullopt;
    return host;
}

bool TakeColonPort(std::string_view* text, bool last) {
    if (text->empty() || text->front() != ':') return false;
    text->remove_prefix(1);
    const std::size_t end = last ? text->size() : text->find(':');
    if (end == std::string_view::npos) return false;
    if (!ParsePort(text->substr(0, end))) return false;
    text->remove_prefix(end);
    return true;
}

std::string HostForUrl(std::string_view host) {
    if (host.find(':') != std::string_view::npos) return "[" + std::string(host) + "]";
    return std::string(host);
}

// Bytes that may not stand in a URL as they are; a '#' in an object name is
// data, never the start of a fragment.
std::string EscapePath(std::string_view path) {
    static constexpr std::string_view kUnsafe = " \"#<>\\^`{|}";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    if (path.empty() || path.front() != '/') out += '/';
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || kUnsafe.find(c) != std::string_view::npos) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

struct HeaderLines {
    std::vector<std::string> lines;
    bool content_type = false;
};

// The caller's header text as separate lines; an empty value is kept as such
// rather than taken as libcurl's "remove this header".
std::optional<HeaderLines> SplitHeaders(std::string_view text) {
    HeaderLines out;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (Trim(line).empty()) continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = Trim(line.substr(colon + 1));
        if (!IsToken(name) || std::any_of(value.begin(), value.end(), [](char c) {
                return IsControl(c) && c != '\t';
            })) {
            return std::nullopt;
        }
        if (EqualsNoCase(name, "Content-Type")) out.content_type = true;
        out.lines.push_back(value.empty() ? std::string(name) + ";"
                                          : std::string(name) + ": " + std::string(value));
    }
    return out;
}

std::uint32_t MapCurlError(CURLcode code, long os_errno) {
    switch (code) {
    case CURLE_OK:
        return 0;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return kErrorInternetNameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return kErrorInternetCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return kErrorInternetTimeout;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return os_errno == ECONNRESET ? kErrorInternetConnectionReset
                                      : kErrorInternetConnectionAborted;
    case CURLE_PARTIAL_FILE:
        return kErrorInternetConnectionAborted;
    case CURLE_PEER_FAILED_VERIFICATION:
        return kErrorInternetInvalidCa;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED:
        return kErrorInternetSecurityChannelError;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return kErrorHttpInvalidServerResponse;
    case CURLE_URL_MALFORMAT:
        return kErrorInternetInvalidUrl;
    case CURLE_TOO_MANY_REDIRECTS:
        return kErrorHttpRedirectFailed;
    case CURLE_ABORTED_BY_CALLBACK:
        return kErrorInternetOperationCancelled;
    default:
        return kErrorInternetInternalError;
    }
}

// --- Configuration ---------------------------------------------------------

std::optional<std::string> ReadFileText(const std::string& path, long limit) {
    const UniqueFile file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    std::string text;
    char chunk[16 * 1024];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        text.append(chunk, got);
        if (text.size() > static_cast<std::size_t>(limit)) return std::nullopt;
        if (got < sizeof chunk) break;
    }
    if (std::ferror(file.get()) != 0) return std::nullopt;
    return text;
}

std::optional<std::string> ReadRegistryText(Registry& registry, RegKeyHandle key,
                                            std::string_view name) {
    RegType type = RegType::None;
    std::uint32_t size = 0;
    long result = registry.QueryValue(key, name, &type, nullptr, &size);
    if (result == kErrorFileNotFound) return std::nullopt;
    const std::string where = std::string(kGeneralKey) + "\\" + std::string(name);
    if (result != kErrorSuccess) {
        Warn("cannot read " + where + " (error " + std::to_string(result) + "); ignored");
        return std::nullopt;
    }
    if (type != RegType::Sz || size > kMaxRegistryText) {
        Warn(where + " is not a text of at most 64 KiB; ignored");
        return std::nullopt;
    }
    std::string text(size, '\0');
    result = registry.QueryValue(key, name, &type,
                                 reinterpret_cast<std::uint8_t*>(text.data()), &size);
    if (result != kErrorSuccess || type != RegType::Sz) {
        Warn("cannot read " + where + " (error " + std::to_string(result) + "); ignored");
        return std::nullopt;
    }
    text.resize(std::min<std::size_t>(size, text.size()));
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
}

// What every transfer shares; kept alive by each transfer, which may outlive the api.
struct Settings {
    std::string ca_blob;  // PEM text given to libcurl besides its own CA store
    std::vector<std::string> connect_to;
    long connect_timeout_ms = 60000;
    long receive_timeout_s = 60;
};

long ClampMilliseconds(std::chrono::milliseconds value) {
    return static_cast<long>(std::clamp<std::chrono::milliseconds::rep>(value.count(), 1, 86400000));
}

std::shared_ptr<const Settings> MakeSettings(const CurlInetConfig& config) {
    auto settings = std::make_shared<Settings>();
    settings->connect_timeout_ms = ClampMilliseconds(config.connect_timeout);
    settings->receive_timeout_s = (ClampMilliseconds(config.receive_timeout) + 999) / 1000;
    for (const std::string& entry : config.connect_to) {
        if (IsConnectToEntry(entry)) {
            settings->connect_to.push_back(entry);
        } else {
            Warn("ignoring malformed connect-to entry \"" + entry + "\"");
        }
    }
    if (config.ca_file.empty() || !CurlReady()) return settings;
    const auto extra = ReadFileText(config.ca_file, kMaxCaFileSize);
    if (!extra || extra->find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
        Warn("cannot read certificates from CA file \"" + config.ca_file + "\"; ignored");
        return settings;
    }
    // A CA blob replaces libcurl's CA file but not its CA directory: without
    // a directory, the system's bundle has to travel in the blob as well.
    const UniqueEasy probe(curl_easy_init());
    char* ca_path = nullptr;
    char* ca_info = nullptr;
    if (probe) {
        curl_easy_getinfo(probe.get(), CURLINFO_CAPATH, &ca_path);
        curl_easy_getinfo(probe.get(), CURLINFO_CAINFO, &ca_info);
    }
    if (ca_path == nullptr && ca_info != nullptr) {
        if (auto system = ReadFileText(ca_info, kMaxCaFileSize)) {
            settings->ca_blob = std::move(*system) + "\n";
        }
    }
    settings->ca_blob += *extra;
    return settings;
}

// --- Handles ---------------------------------------------------------------

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

void Deliver(InternetStatusCallback callback, HInternet handle, std::uintptr_t context,
             std::uint32_t status, const void* information, std::uint32_t length) {
    if (callback != nullptr && context != 0) callback(handle, context, status, information, length);
}

void DeliverClosing(InternetStatusCallback callback, HInternet handle, std::uintptr_t context) {
    Deliver(callback, handle, context, kInternetStatusHandleClosing, &handle,
            static_cast<std::uint32_t>(sizeof handle));
}

// One HTTP request and, once sent, its transfer. The caller's thread and the
// transfer thread meet only under `mutex_`; the status callback is always
// called without it held, so the callback may call back into the api.
class Request {
public:
    Request(RequestTarget target, std::shared_ptr<const Settings> settings)
        : target_(std::move(target)), settings_(std::move(settings)), callback_(target_.callback) {}
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    void SetCallback(InternetStatusCallback callback) { callback_.store(callback); }

    bool Send(const std::shared_ptr<Request>& self, std::string_view headers,
              std::string_view body) {
        auto lines = SplitHeaders(headers);
        if (!lines) return Fail(kInvalidParameter);
        if (!Start(self, std::move(*lines), body, BodySource::Fixed, 0)) return false;
        if (target_.completion == Completion::Asynchronous) return Fail(kErrorIoPending);
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return replied_ || finished_ || closed_; });
        return replied_ ? true : Fail(FailureLocked());
    }

    bool SendStream(const std::shared_ptr<Request>& self, std::uint32_t total) {
        if (!Start(self, HeaderLines{}, {}, BodySource::Stream, total)) return false;
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return connected_ || finished_ || closed_; });
        return connected_ && !closed_ ? true : Fail(FailureLocked());
    }

    bool Write(const void* data, std::uint32_t size, std::uint32_t* written) {
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

    bool EndStream() {
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

    bool Query(std::uint32_t info_level, std::uint32_t* number) {
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

    bool Read(void* buffer, std::uint32_t to_read, std::uint32_t* read) {
        if (read == nullptr || (buffer == nullptr && to_read > 0)) return Fail(kInvalidParameter);
        *read = 0;
        if (to_read == 0) return true;
        std::unique_lock lock(mutex_);
        if (!replied_ || pending_.active) return Fail(kErrorInternetIncorrectHandleState);
        if (target_.completion == Completion::Synchronous) {
            changed_.wait(lock, [&] { return Buffered() > 0 || finished_ || closed_; });
        }
        if (closed_) return Fail(kErrorInternetOperationCancelled);
        if (Buffered() > 0) {
            *read = TakeLocked(buffer, to_read);
            return true;
        }
        if (finished_) return error_ == 0 ? true : Fail(error_);
        pending_ = PendingRead{true, buffer, to_read, read};
        return Fail(kErrorIoPending);
    }

    // Stops the transfer and waits for its thread; afterwards no callback
    // runs for this request and nothing touches the caller's buffers.
    void Close() {
        TransferThread thread;
        {
            std::lock_guard lock(mutex_);
            closed_.store(true);
            pending_ = PendingRead{};
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

private:
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
               BodySource source, std::uint32_t total) {
        std::lock_guard lock(mutex_);
        if (started_ || closed_) return Fail(kErrorInternetIncorrectHandleState);
        // One attempt per request: a half-built transfer is never built upon.
        started_ = true;
        if (!CurlReady()) return Fail(kErrorInternetInternalError);
        multi_.reset(curl_multi_init());
        easy_.reset(curl_easy_init());
        if (!multi_ || !easy_) return Fail(kErrorInternetInternalError);
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

    bool Configure(HeaderLines headers) {
        CURL* easy = easy_.get();
        // libcurl's own additions that WinINet never makes.
        if (!headers.content_type) headers.lines.emplace_back("Content-Type:");
        headers.lines.emplace_back("Expect:");
        headers.lines.emplace_back("Accept:");
        for (const std::string& line : headers.lines) {
            if (!Append(&header_list_, line)) return false;
        }
        for (const std::string& entry : settings_->connect_to) {
            if (!Append(&connect_to_, entry)) return false;
        }
        bool ok = true;
        const auto set = [&](CURLcode code) { ok = ok && code == CURLE_OK; };
        set(curl_easy_setopt(easy, CURLOPT_URL, target_.url.c_str()));
        set(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
        set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https"));
        set(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
        set(curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)));
        set(curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L));
        // A proxy's answer to CONNECT is not the reply.
        set(curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L));
        set(curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L));
        set(curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L));
        if (!settings_->ca_blob.empty()) {
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

    static bool Append(UniqueSlist* list, const std::string& line) {
        curl_slist* grown = curl_slist_append(list->get(), line.c_str());
        if (grown == nullptr) return false;
        static_cast<void>(list->release());
        list->reset(grown);
        return true;
    }

    // --- Transfer thread ---

    void Run() {
        NotifyText(kInternetStatusResolvingName, target_.host);
        Finish(Pump());
    }

    CURLcode Pump() {
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
    void ApplyPause() {
        int mask = 0;
        {
            std::lock_guard lock(mutex_);
            if (!pause_review_) return;
            pause_review_ = false;
            if (receive_paused_ && Buffered() <= kReceiveResumeLevel) receive_paused_ = false;
            if (send_paused_ && (!outgoing_.empty() || outgoing_closed_)) send_paused_ = false;
            mask = (receive_paused_ ? CURLPAUSE_RECV : 0) | (send_paused_ ? CURLPAUSE_SEND : 0);
        }
        curl_easy_pause(easy_.get(), mask);
    }

    void Finish(CURLcode result) {
        long os_errno = 0;
        curl_easy_getinfo(easy_.get(), CURLINFO_OS_ERRNO, &os_errno);
        std::uint32_t error = MapCurlError(result, os_errno);
        bool complete = false;
        {
            std::lock_guard lock(mutex_);
            if (error == 0 && !replied_) error = kErrorHttpInvalidServerResponse;
            finished_ = true;
            error_ = error;
            if (send_pending_) {
                send_pending_ = false;
                complete = true;
            } else if (pending_.active) {
                *pending_.count = 0;
                pending_ = PendingRead{};
                complete = true;
            }
        }
        changed_.notify_all();
        if (complete) NotifyComplete(error);
    }

    static std::size_t HeaderThunk(char* data, std::size_t size, std::size_t count, void* self) {
        static_cast<Request*>(self)->OnHeader(std::string_view(data, size * count));
        return size * count;
    }
    static std::size_t BodyThunk(char* data, std::size_t size, std::size_t count, void* self) {
        return static_cast<Request*>(self)->OnBody(data, size * count);
    }
    static std::size_t UploadThunk(char* data, std::size_t size, std::size_t count, void* self) {
        return static_cast<Request*>(self)->OnUpload(data, size * count);
    }
    static int ProgressThunk(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
        return static_cast<Request*>(self)->OnProgress(uploaded);
    }
    static curl_socket_t OpenSocketThunk(void* self, curlsocktype, curl_sockaddr* address) {
        return static_cast<Request*>(self)->OnOpenSocket(*address);
    }
    static int ConnectedThunk(void* self, char* primary_ip, char*, int, int) {
        return static_cast<Request*>(self)->OnConnected(primary_ip != nullptr ? primary_ip : "");
    }

    curl_socket_t OnOpenSocket(const curl_sockaddr& address) {
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

    int OnConnected(std::string_view address) {
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

    int OnProgress(curl_off_t uploaded) {
        if (stop_.load()) return 1;
        if (stage_.sending && !stage_.sent && uploaded >= 0 &&
            static_cast<std::uint64_t>(uploaded) >= upload_size_) {
            stage_.sent = true;
            Notify(kInternetStatusRequestSent);
        }
        return 0;
    }

    void OnHeader(std::string_view line) {
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
        line = Trim(line);
        if (line.empty()) {
            EndOfHeaders();
            return;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) return;
        const std::string_view name = Trim(line.substr(0, colon));
        const std::string_view value = Trim(line.substr(colon + 1));
        if (EqualsNoCase(name, "Content-Length")) {
            reply_content_length_ = ParseNumber(value, std::numeric_limits<std::uint32_t>::max());
        } else if (EqualsNoCase(name, "Location")) {
            reply_location_ = std::string(value.substr(0, kMaxUrlLength));
        }
    }

    void EndOfHeaders() {
        long code = 0;
        curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &code);
        if (code >= 100 && code < 200) return;
        if (follow_redirects_ && code >= 300 && code < 400 && !reply_location_.empty()) {
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

    std::size_t OnBody(const char* data, std::size_t size) {
        if (skipping_body_) return size;
        bool complete = false;
        {
            std::lock_guard lock(mutex_);
            std::size_t used = 0;
            if (pending_.active) {
                used = std::min<std::size_t>(size, pending_.capacity);
                std::memcpy(pending_.buffer, data, used);
                *pending_.count = static_cast<std::uint32_t>(used);
                pending_ = PendingRead{};
                complete = true;
            } else if (Buffered() >= kReceiveBufferLimit) {
                receive_paused_ = true;
                return CURL_WRITEFUNC_PAUSE;
            }
            received_.append(data + used, size - used);
        }
        changed_.notify_all();
        if (complete) NotifyComplete(0);
        return size;
    }

    std::size_t OnUpload(char* buffer, std::size_t size) {
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

    void Notify(std::uint32_t status, const void* information = nullptr, std::uint32_t length = 0) {
        if (closed_.load()) return;
        Deliver(callback_.load(), target_.handle, target_.context, status, information, length);
    }

    // Texts travel with their terminating zero, as WinINet passes them.
    void NotifyText(std::uint32_t status, std::string_view text) {
        const std::string copy(text);
        Notify(status, copy.c_str(), static_cast<std::uint32_t>(copy.size() + 1));
    }

    void NotifyComplete(std::uint32_t error) {
        InternetAsyncResult result;
        result.dwResult = error == 0 ? 1 : 0;
        result.dwError = error;
        Notify(kInternetStatusRequestComplete, &result, static_cast<std::uint32_t>(sizeof result));
    }

    // --- Under mutex_ ---

    std::size_t Buffered() const { return received_.size() - received_offset_; }

    std::uint32_t TakeLocked(void* buffer, std::uint32_t to_read) {
        const std::size_t count = std::min<std::size_t>(to_read, Buffered());
        std::memcpy(buffer, received_.data() + received_offset_, count);
        received_offset_ += count;
        if (received_offset_ == received_.size()) {
            received_.clear();
            received_offset_ = 0;
        } else if (received_offset_ >= kReceiveResumeLevel) {
            received_.erase(0, received_offset_);
            received_offset_ = 0;
        }
        if (receive_paused_ && Buffered() <= kReceiveResumeLevel) ResumeLocked();
        return static_cast<std::uint32_t>(count);
    }

    void ResumeLocked() {
        if (!receive_paused_ && !send_paused_) return;
        pause_review_ = true;
        curl_multi_wakeup(multi_.get());
    }

    void StopLocked() {
        stop_.store(true);
        if (multi_) curl_multi_wakeup(multi_.get());
        changed_.notify_all();
    }

    std::uint32_t FailureLocked() const {
        if (closed_.load()) return kErrorInternetOperationCancelled;
        return error_ != 0 ? error_ : kErrorInternetInternalError;
    }

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
    bool replied_ = false;
    bool finished_ = false;
    std::uint32_t error_ = 0;
    std::uint32_t status_code_ = 0;
    std::optional<std::uint32_t> content_length_;
    std::string received_;
    std::size_t received_offset_ = 0;
    PendingRead pending_;
    bool receive_paused_ = false;
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
    UniqueSlist header_list_;
    UniqueSlist connect_to_;
    UniqueMulti multi_;
    UniqueEasy easy_;
    MultiMembership membership_;

    // Transfer thread only.
    Stage stage_;
    std::optional<std::uint32_t> reply_content_length_;
    std::string reply_location_;
    bool skipping_body_ = false;

    TransferThread thread_;
};

}  // namespace

// --- Free functions --------------------------------------------------------

bool IsConnectToEntry(std::string_view entry) {
    std::string_view rest = entry;
    if (!TakeHost(&rest) || !TakeColonPort(&rest, false)) return false;
    rest.remove_prefix(1);  // the ':' that TakeColonPort stopped at
    return TakeHost(&rest) && TakeColonPort(&rest, true) && rest.empty();
}

std::vector<std::string> ParseConnectToList(std::string_view list) {
    std::vector<std::string> entries;
    while (!list.empty()) {
        const std::size_t end = list.find_first_of(";,");
        const std::string_view entry = Trim(list.substr(0, end));
        list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
        if (entry.empty()) continue;
        if (IsConnectToEntry(entry)) {
            entries.emplace_back(entry);
        } else {
            Warn("ignoring malformed connect-to entry \"" + std::string(entry) + "\"");
        }
    }
    return entries;
}

CurlInetConfig ReadCurlInetConfig(Registry& registry) {
    CurlInetConfig config;
    UniqueRegKey key(registry);
    const long result = registry.OpenKey(kHKeyLocalMachine, kGeneralKey, RegAccess::Read, key.put());
    if (result == kErrorFileNotFound) return config;
    if (result != kErrorSuccess) {
        Warn("cannot open " + std::string(kGeneralKey) + " (error " + std::to_string(result) +
             "); network settings left at their defaults");
        return config;
    }
    if (auto ca_file = ReadRegistryText(registry, key.get(), kCaFileValue)) {
        config.ca_file = *ca_file;
    }
    if (auto connect_to = ReadRegistryText(registry, key.get(), kConnectToValue)) {
        config.connect_to = ParseConnectToList(*connect_to);
    }
    return config;
}

// --- The api ---------------------------------------------------------------

class CurlInetApi::Impl {
public:
    explicit Impl(const CurlInetConfig& config) : settings_(MakeSettings(config)) {}

    ~Impl() {
        for (;;) {
            HInternet root = 0;
            {
                std::lock_guard lock(mutex_);
                if (handles_.empty()) break;
                root = handles_.begin()->first;
                while (handles_.at(root).parent != 0) root = handles_.at(root).parent;
            }
            Close(root);
        }
    }

    HInternet Open(std::string_view agent, std::uint32_t access_type, std::uint32_t flags) {
        if (agent.size() > kMaxAgentLength || HasControl(agent)) return FailHandle(kInvalidParameter);
        auto session = std::make_shared<Session>();
        session->agent = std::string(agent);
        if (access_type == kInternetOpenTypeDirect) {
            session->proxy = ProxyUse::Direct;
        } else if (access_type == kInternetOpenTypePreconfig ||
                   access_type == kInternetOpenTypePreconfigNoAutoproxy) {
            session->proxy = ProxyUse::Preconfigured;
        } else {
            return FailHandle(kInvalidParameter);
        }
        session->completion = (flags & kInternetFlagAsync) != 0 ? Completion::Asynchronous
                                                                : Completion::Synchronous;
        return Add(0, std::move(session));
    }

    bool SetCallback(HInternet handle, InternetStatusCallback callback) {
        std::lock_guard lock(mutex_);
        const auto it = handles_.find(handle);
        if (it == handles_.end()) return Fail(kInvalidHandle);
        std::visit(
            [&](const auto& object) {
                using T = std::decay_t<decltype(*object)>;
                if constexpr (std::is_same_v<T, Request>) {
                    object->SetCallback(callback);
                } else {
                    object->callback.store(callback);
                }
            },
            it->second.object);
        return true;
    }

    HInternet Connect(HInternet handle, std::string_view host, std::uint16_t port,
                      std::string_view user, std::string_view password, std::uint32_t service,
                      std::uintptr_t context) {
        auto session = Find<Session>(handle);
        if (!session) return 0;
        if (service != kInternetServiceHttp || user.size() > kMaxUserLength ||
            password.size() > kMaxUserLength) {
            return FailHandle(kInvalidParameter);
        }
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
        }
        if (!IsHostName(host)) return FailHandle(kErrorInternetInvalidUrl);
        auto connection = std::make_shared<Connection>();
        connection->session = session;
        connection->host = std::string(host);
        connection->port = port;
        connection->context = context;
        connection->callback.store(session->callback.load());
        return Add(handle, std::move(connection));
    }

    HInternet OpenRequest(HInternet handle, std::string_view verb, std::string_view path,
                          std::uint32_t flags, std::uintptr_t context) {
        auto connection = Find<Connection>(handle);
        if (!connection) return 0;
        if (verb.empty()) verb = "GET";
        if (verb.size() > kMaxVerbLength || !IsToken(verb) || path.size() > kMaxPathLength) {
            return FailHandle(kInvalidParameter);
        }
        if (HasControl(path)) return FailHandle(kErrorInternetInvalidUrl);
        const bool secure = (flags & kInternetFlagSecure) != 0;
        const std::uint16_t port = connection->port != 0
                                       ? connection->port
                                       : (secure ? kInternetDefaultHttpsPort : kInternetDefaultHttpPort);
        RequestTarget target;
        target.context = context;
        target.callback = connection->callback.load();
        target.completion = connection->session->completion;
        target.proxy = connection->session->proxy;
        target.agent = connection->session->agent;
        target.host = connection->host;
        target.url = std::string(secure ? "https://" : "http://") + HostForUrl(connection->host) +
                     ":" + std::to_string(port) + EscapePath(path);
        target.verb = std::string(verb);
        std::lock_guard lock(mutex_);
        target.handle = next_handle_;
        return AddLocked(handle, std::make_shared<Request>(std::move(target), settings_));
    }

    bool Send(HInternet handle, std::string_view headers, std::string_view body) {
        auto request = Find<Request>(handle);
        if (!request) return false;
        if (headers.size() > kMaxHeadersLength || body.size() > std::numeric_limits<std::uint32_t>::max()) {
            return Fail(kInvalidParameter);
        }
        return request->Send(request, headers, body);
    }

    bool Query(HInternet handle, std::uint32_t info_level, std::uint32_t* number) {
        auto request = Find<Request>(handle);
        return request && request->Query(info_level, number);
    }

    bool Read(HInternet handle, void* buffer, std::uint32_t to_read, std::uint32_t* read) {
        auto request = Find<Request>(handle);
        return request && request->Read(buffer, to_read, read);
    }

    bool SendStream(HInternet handle, std::uint32_t total) {
        auto request = Find<Request>(handle);
        return request && request->SendStream(request, total);
    }

    bool Write(HInternet handle, const void* data, std::uint32_t size, std::uint32_t* written) {
        auto request = Find<Request>(handle);
        return request && request->Write(data, size, written);
    }

    bool EndStream(HInternet handle) {
        auto request = Find<Request>(handle);
        return request && request->EndStream();
    }

    bool Close(HInternet handle) {
        std::vector<std::pair<HInternet, Object>> closing;
        {
            std::lock_guard lock(mutex_);
            if (handles_.find(handle) == handles_.end()) return Fail(kInvalidHandle);
            std::vector<HInternet> order{handle};
            for (std::size_t i = 0; i < order.size(); ++i) {
                for (const auto& [child, entry] : handles_) {
                    if (entry.parent == order[i]) order.push_back(child);
                }
            }
            for (const HInternet h : order) {
                auto node = handles_.extract(h);
                closing.emplace_back(h, std::move(node.mapped().object));
            }
        }
        // Children first, so a request has stopped before its connection reports closing.
        for (auto it = closing.rbegin(); it != closing.rend(); ++it) {
            const HInternet closed = it->first;
            std::visit(
                [closed](const auto& object) {
                    using T = std::decay_t<decltype(*object)>;
                    if constexpr (std::is_same_v<T, Request>) {
                        object->Close();
                    } else if constexpr (std::is_same_v<T, Connection>) {
                        DeliverClosing(object->callback.load(), closed, object->context);
                    }
                },
                it->second);
        }
        return true;
    }

private:
    using Object = std::variant<std::shared_ptr<Session>, std::shared_ptr<Connection>,
                                std::shared_ptr<Request>>;
    struct Entry {
        HInternet parent = 0;
        Object object;
    };

    template <class T>
    std::shared_ptr<T> Find(HInternet handle) {
        std::lock_guard lock(mutex_);
        const auto it = handles_.find(handle);
        if (it == handles_.end()) {
            t_last_error = kInvalidHandle;
            return nullptr;
        }
        if (const auto* object = std::get_if<std::shared_ptr<T>>(&it->second.object)) return *object;
        t_last_error = kErrorInternetIncorrectHandleType;
        return nullptr;
    }

    HInternet Add(HInternet parent, Object object) {
        std::lock_guard lock(mutex_);
        return AddLocked(parent, std::move(object));
    }

    HInternet AddLocked(HInternet parent, Object object) {
        const HInternet handle = next_handle_;
        next_handle_ += 4;
        handles_.emplace(handle, Entry{parent, std::move(object)});
        return handle;
    }

    const std::shared_ptr<const Settings> settings_;
    std::mutex mutex_;
    std::map<HInternet, Entry> handles_;
    HInternet next_handle_ = 0xCC0004;  // never reused, so a stale handle is never someone else's
};

CurlInetApi::CurlInetApi(CurlInetConfig config) : impl_(std::make_unique<Impl>(config)) {}

CurlInetApi::~CurlInetApi() = default;

std::uint32_t CurlInetApi::LastError() { return t_last_error; }

HInternet CurlInetApi::InternetOpen(std::string_view agent, std::uint32_t access_type,
                                    std::uint32_t flags) {
    return impl_->Open(agent, access_type, flags);
}

bool CurlInetApi::InternetSetStatusCallback(HInternet session, InternetStatusCallback callback) {
    return impl_->SetCallback(session, callback);
}

bool CurlInetApi::InternetCrackUrl(std::string_view url, UrlComponents* components) {
    if (components == nullptr) return Fail(kInvalidParameter);
    if (url.empty() || url.size() > kMaxUrlLength || HasControl(url)) {
        return Fail(kErrorInternetInvalidUrl);
    }
    const std::size_t separator = url.find("://");
    const std::string_view scheme = url.substr(0, separator);
    if (separator == std::string_view::npos || scheme.empty() || !IsAlpha(scheme.front()) ||
        !std::all_of(scheme.begin(), scheme.end(), [](char c) {
            return IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.';
        })) {
        return Fail(kErrorInternetUnrecognizedScheme);
    }
    std::string_view rest = url.substr(separator + 3);
    const std::size_t authority_end = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authority_end);
    std::string_view path =
        authority_end == std::string_view::npos ? std::string_view() : rest.substr(authority_end);
    path = path.substr(0, path.find('#'));  // a fragment is never sent
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);

    const auto host = TakeHost(&authority);
    if (!host) return Fail(kErrorInternetInvalidUrl);
    std::uint16_t port = 0;
    if (!authority.empty()) {
        if (authority.front() != ':') return Fail(kErrorInternetInvalidUrl);
        authority.remove_prefix(1);
        if (!authority.empty()) {
            const auto written = ParsePort(authority);
            if (!written) return Fail(kErrorInternetInvalidUrl);
            port = *written;
        }
    }
    if (port == 0) {
        if (EqualsNoCase(scheme, "http")) port = kInternetDefaultHttpPort;
        if (EqualsNoCase(scheme, "https")) port = kInternetDefaultHttpsPort;
    }
    components->scheme = std::string(scheme);
    components->host = std::string(*host);
    components->port = port;
    components->path = path.empty() || path.front() != '/' ? "/" + std::string(path) : std::string(path);
    return true;
}

HInternet CurlInetApi::InternetConnect(HInternet session, std::string_view host, std::uint16_t port,
                                       std::string_view user, std::string_view password,
                                       std::uint32_t service, std::uint32_t /*flags*/,
                                       std::uintptr_t context) {
    return impl_->Connect(session, host, port, user, password, service, context);
}

HInternet CurlInetApi::HttpOpenRequest(HInternet connection, std::string_view verb,
                                       std::string_view path, std::uint32_t flags,
                                       std::uintptr_t context) {
    return impl_->OpenRequest(connection, verb, path, flags, context);
}

bool CurlInetApi::HttpSendRequest(HInternet request, std::string_view headers, std::string_view body) {
    return impl_->Send(request, headers, body);
}

bool CurlInetApi::HttpQueryInfoNumber(HInternet request, std::uint32_t info_level,
                                      std::uint32_t* number) {
    return impl_->Query(request, info_level, number);
}

bool CurlInetApi::InternetReadFile(HInternet request, void* buffer, std::uint32_t to_read,
                                   std::uint32_t* read) {
    return impl_->Read(request, buffer, to_read, read);
}

bool CurlInetApi::HttpSendRequestEx(HInternet request, std::uint32_t total_body_size) {
    return impl_->SendStream(request, total_body_size);
}

bool CurlInetApi::InternetWriteFile(HInternet request, const void* data, std::uint32_t size,
                                    std::uint32_t* written) {
    return impl_->Write(request, data, size, written);
}

bool CurlInetApi::HttpEndRequest(HInternet request) { return impl_->EndStream(request); }

bool CurlInetApi::InternetCloseHandle(HInternet handle) { return impl_->Close(handle); }

}  // namespace kx
