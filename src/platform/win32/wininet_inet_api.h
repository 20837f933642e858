#pragma once

// Windows backend: the internet port on WinINet.
//
// Implements:
//  - kx::InetApi by forwarding to WinINet's ANSI calls: InternetOpenA (an
//    asynchronous session with INTERNET_FLAG_ASYNC), InternetConnectA,
//    HttpOpenRequestA, HttpSendRequestA, HttpQueryInfoA as a number,
//    InternetReadFile into the caller's buffer, InternetCrackUrlA, and the
//    synchronous upload's HttpSendRequestExA (HSR_INITIATE with the body's
//    total size), InternetWriteFile and HttpEndRequestA.
//  - WinINet's asynchronous contract as the port states it: ERROR_IO_PENDING
//    from the calls that go on later, the status callback with
//    HANDLE_CREATED (60) and REQUEST_COMPLETE (100) carrying the port's
//    InternetAsyncResult (see wininet_handle_table.h), no callback after a
//    close has returned.
//  - HTTPS always verified against the system's certificate store: the
//    request flags that would ignore a certificate's name or date, or a
//    redirect between HTTP and HTTPS, are taken off.
//  - Text with an embedded NUL is refused (ERROR_INVALID_PARAMETER) rather
//    than cut short.
//  - A connection reset or aborted mid-body is reported with WinINet's codes
//    (12031, 12030), also where the system passes the Winsock code on.
//
// Missing: proxy names and bypass lists (INTERNET_OPEN_TYPE_PROXY), user
// names on the connection beyond what WinINet does with them, and any CA
// besides the system's store (the Linux backend's extra CA file and
// connect-to map have no WinINet counterpart; the store and the hosts file
// are Windows' own ways).

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/inet_api.h"

namespace kx {

class WinInetApi final : public InetApi {
public:
    WinInetApi();
    // Closes every handle still open.
    ~WinInetApi() override;
    WinInetApi(const WinInetApi&) = delete;
    WinInetApi& operator=(const WinInetApi&) = delete;

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
