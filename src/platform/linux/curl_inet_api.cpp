#include "platform/linux/curl_inet_api.h"

#include <limits>
#include <utility>

#include "platform/common/http_text.h"
#include "platform/linux/curl_errors.h"
#include "platform/linux/curl_handle_table.h"
#include "platform/linux/curl_request.h"

namespace kx {
namespace {

using namespace curl_inet;

constexpr std::uint32_t kInternetOpenTypePreconfigNoAutoproxy = 4;

// WinINet's own limits (INTERNET_MAX_*), and generous ones where it has none.
constexpr std::size_t kMaxPathLength = 2048;
constexpr std::size_t kMaxUserLength = 256;
constexpr std::size_t kMaxAgentLength = 1024;
constexpr std::size_t kMaxVerbLength = 32;
constexpr std::size_t kMaxHeadersLength = 64 * 1024;

}  // namespace

class CurlInetApi::Impl {
public:
    explicit Impl(const CurlInetConfig& config) : settings_(MakeSettings(config)) {}

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
        return table_.Add(0, std::move(session));
    }

    HInternet Connect(HInternet handle, std::string_view host, std::uint16_t port,
                      std::string_view user, std::string_view password, std::uint32_t service,
                      std::uintptr_t context) {
        auto session = table_.Find<Session>(handle);
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
        return table_.Add(handle, std::move(connection));
    }

    HInternet OpenRequest(HInternet handle, std::string_view verb, std::string_view path,
                          std::uint32_t flags, std::uintptr_t context) {
        auto connection = table_.Find<Connection>(handle);
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
        return table_.Add(handle, [&](HInternet own) -> HandleTable::Object {
            target.handle = own;
            return std::make_shared<Request>(std::move(target), settings_);
        });
    }

    bool Send(HInternet handle, std::string_view headers, std::string_view body) {
        auto request = table_.Find<Request>(handle);
        if (!request) return false;
        if (headers.size() > kMaxHeadersLength || body.size() > std::numeric_limits<std::uint32_t>::max()) {
            return Fail(kInvalidParameter);
        }
        return request->Send(request, headers, body);
    }

    bool Query(HInternet handle, std::uint32_t info_level, std::uint32_t* number) {
        auto request = table_.Find<Request>(handle);
        return request && request->Query(info_level, number);
    }

    // Called once per chunk of a reply, so it skips the table's lock when it can.
    bool Read(HInternet handle, void* buffer, std::uint32_t to_read, std::uint32_t* read) {
        Request* const request = table_.FindRequestQuickly(handle);
        return request != nullptr && request->Read(buffer, to_read, read);
    }

    bool SendStream(HInternet handle, std::uint32_t total) {
        auto request = table_.Find<Request>(handle);
        return request && request->SendStream(request, total);
    }

    bool Write(HInternet handle, const void* data, std::uint32_t size, std::uint32_t* written) {
        auto request = table_.Find<Request>(handle);
        return request && request->Write(data, size, written);
    }

    bool EndStream(HInternet handle) {
        auto request = table_.Find<Request>(handle);
        return request && request->EndStream();
    }

    bool SetCallback(HInternet handle, InternetStatusCallback callback) {
        return table_.SetCallback(handle, callback);
    }

    bool Close(HInternet handle) { return table_.Close(handle); }

private:
    const std::shared_ptr<const Settings> settings_;
    HandleTable table_;
};

CurlInetApi::CurlInetApi(CurlInetConfig config) : impl_(std::make_unique<Impl>(config)) {}

CurlInetApi::~CurlInetApi() = default;

std::uint32_t CurlInetApi::LastError() { return curl_inet::LastError(); }

HInternet CurlInetApi::InternetOpen(std::string_view agent, std::uint32_t access_type,
                                    std::uint32_t flags) {
    return impl_->Open(agent, access_type, flags);
}

bool CurlInetApi::InternetSetStatusCallback(HInternet session, InternetStatusCallback callback) {
    return impl_->SetCallback(session, callback);
}

bool CurlInetApi::InternetCrackUrl(std::string_view url, UrlComponents* components) {
    if (components == nullptr) return Fail(kInvalidParameter);
    const std::uint32_t error = CrackUrl(url, components);
    return error == 0 ? true : Fail(error);
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
