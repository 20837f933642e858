#pragma once

// Linux backend: the internet port on libcurl.
//
// Implements:
//  - kx::InetApi with WinINet's contract: session, connection and request
//    handles (12018 for a handle of the wrong type), URL splitting, HTTP and
//    HTTPS requests. In an asynchronous session each request runs on a
//    transfer thread of its own and reports the stages of the exchange to
//    the status callback as they happen (10, 11, 20, 21, 30, 31, 40, 41,
//    110 on a redirect), then REQUEST_COMPLETE (100); reads that find no
//    body bytes yet complete later through 100. A synchronous session
//    blocks in every call instead.
//  - The streamed upload: HttpSendRequestEx announces the body size and
//    returns once the host is reached, InternetWriteFile feeds a bounded
//    pipe, HttpEndRequest waits for the reply.
//  - Closing a handle stops its transfer (and those of its children), sends
//    50, 51 and 70, and no callback runs for it afterwards. It returns at
//    once even while a name lookup hangs: the resolver thread is left to end
//    by itself.
//  - TLS is always verified, against the system's CA store plus an optional
//    extra CA file. A connect-to map sends "host:port" to another address.
//    INTERNET_OPEN_TYPE_PRECONFIG honours the proxy environment variables as
//    libcurl does; INTERNET_OPEN_TYPE_DIRECT uses no proxy.
//  - The body is buffered at most about 256 KiB ahead of the reader.
//
// Its pieces: the handles (curl_handle_table.h), one request and its
// transfer thread (curl_request.h), the settings (curl_inet_config.h), the
// errors (curl_errors.h) and the texts it checks (platform/common/http_text.h).
//
// Missing: authentication, cookies, caching, connection reuse across
// requests, HTTP/2, INTERNET_OPEN_TYPE_PROXY with a named proxy.

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/inet_api.h"
#include "platform/linux/curl_inet_config.h"

namespace kx {

class CurlInetApi final : public InetApi {
public:
    explicit CurlInetApi(CurlInetConfig config);
    // Closes every handle still open, stopping their transfers.
    ~CurlInetApi() override;
    CurlInetApi(const CurlInetApi&) = delete;
    CurlInetApi& operator=(const CurlInetApi&) = delete;

    std::uint32_t LastError() override;
    HInternet InternetOpen(std::string_view agent, std::uint32_t access_type,
                           std::uint32_t flags) override;
    bool InternetSetStatusCallback(HInternet session, InternetStatusCallback callback) override;
    bool InternetCrackUrl(std::string_view url, UrlComponents* components) override;
    HInternet InternetConnect(HInternet session, std::string_view host, std::uint16_t port,
                              std::string_view user, std::string_view password,
                              std::uint32_t service, std::uint32_t flags,
                              std::uintptr_t context) override;
    HInternet HttpOpenRequest(HInternet connection, std::string_view verb, std::string_view path,
                              std::uint32_t flags, std::uintptr_t context) override;
    bool HttpSendRequest(HInternet request, std::string_view headers,
                         std::string_view body) override;
    bool HttpQueryInfoNumber(HInternet request, std::uint32_t info_level,
                             std::uint32_t* number) override;
    bool InternetReadFile(HInternet request, void* buffer, std::uint32_t to_read,
                          std::uint32_t* read) override;
    bool HttpSendRequestEx(HInternet request, std::uint32_t total_body_size) override;
    bool InternetWriteFile(HInternet request, const void* data, std::uint32_t size,
                           std::uint32_t* written) override;
    bool HttpEndRequest(HInternet request) override;
    bool InternetCloseHandle(HInternet handle) override;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kx
