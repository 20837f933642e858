#pragma once

// The internet port: the subset of WinINet that the request engine and the
// upload use, with WinINet's contract. The Win32 backend forwards to WinINet;
// the Linux backend emulates the same contract on libcurl; tests script it.
//
// The asynchronous contract (a session opened with kInternetFlagAsync):
// - InternetConnect, HttpOpenRequest, HttpSendRequest and InternetReadFile
//   either complete at once or fail with LastError() == kErrorIoPending and
//   complete later, when the session's status callback receives
//   kInternetStatusRequestComplete with the outcome in dwError;
// - a handle that is created asynchronously arrives through
//   kInternetStatusHandleCreated, its dwResult the new handle;
// - a pending InternetReadFile fills the caller's count variable before the
//   completion is reported, so the caller keeps buffer and count alive;
// - the callback receives, for every handle carrying a context, the status
//   codes of the stages of the exchange as they happen, on any thread;
// - once InternetCloseHandle returns, no callback for that handle runs any
//   more and no pending operation touches the caller's buffers.
// A synchronous session (flags 0) completes every call before it returns.

#include <cstdint>
#include <string>
#include <string_view>

namespace kx {

using HInternet = std::uintptr_t;  // 0 is the null handle

inline constexpr std::uint32_t kErrorIoPending = 997;
// WinINet errors that the Linux backend reports for the matching failures.
inline constexpr std::uint32_t kErrorInternetTimeout = 12002;
inline constexpr std::uint32_t kErrorInternetInternalError = 12004;
inline constexpr std::uint32_t kErrorInternetInvalidUrl = 12005;
inline constexpr std::uint32_t kErrorInternetUnrecognizedScheme = 12006;
inline constexpr std::uint32_t kErrorInternetNameNotResolved = 12007;
inline constexpr std::uint32_t kErrorInternetOperationCancelled = 12017;
inline constexpr std::uint32_t kErrorInternetIncorrectHandleType = 12018;
inline constexpr std::uint32_t kErrorInternetCannotConnect = 12029;
inline constexpr std::uint32_t kErrorInternetConnectionAborted = 12030;
inline constexpr std::uint32_t kErrorInternetConnectionReset = 12031;
inline constexpr std::uint32_t kErrorInternetSecurityChannelError = 12157;
inline constexpr std::uint32_t kErrorInternetInvalidCa = 12045;
inline constexpr std::uint32_t kErrorInternetSecCertCnInvalid = 12038;
inline constexpr std::uint32_t kErrorInternetHttpsToHttpOnRedir = 12040;
inline constexpr std::uint32_t kErrorHttpRedirectFailed = 12156;
inline constexpr std::uint32_t kErrorHttpInvalidServerResponse = 12152;

inline constexpr std::uint32_t kInternetOpenTypePreconfig = 0;
inline constexpr std::uint32_t kInternetOpenTypeDirect = 1;
inline constexpr std::uint32_t kInternetFlagAsync = 0x10000000;
inline constexpr std::uint32_t kInternetServiceHttp = 3;
inline constexpr std::uint32_t kInternetFlagSecure = 0x00800000;
inline constexpr std::uint32_t kInternetFlagNoCacheWrite = 0x04000000;
inline constexpr std::uint16_t kInternetDefaultHttpPort = 80;
inline constexpr std::uint16_t kInternetDefaultHttpsPort = 443;

inline constexpr std::uint32_t kHttpQueryFlagNumber = 0x20000000;
inline constexpr std::uint32_t kHttpQueryContentLength = 5;
inline constexpr std::uint32_t kHttpQueryStatusCode = 19;

// Status codes delivered to the status callback.
inline constexpr std::uint32_t kInternetStatusResolvingName = 10;
inline constexpr std::uint32_t kInternetStatusNameResolved = 11;
inline constexpr std::uint32_t kInternetStatusConnectingToServer = 20;
inline constexpr std::uint32_t kInternetStatusConnectedToServer = 21;
inline constexpr std::uint32_t kInternetStatusSendingRequest = 30;
inline constexpr std::uint32_t kInternetStatusRequestSent = 31;
inline constexpr std::uint32_t kInternetStatusReceivingResponse = 40;
inline constexpr std::uint32_t kInternetStatusResponseReceived = 41;
inline constexpr std::uint32_t kInternetStatusCtlResponseReceived = 42;
inline constexpr std::uint32_t kInternetStatusPrefetch = 43;
inline constexpr std::uint32_t kInternetStatusClosingConnection = 50;
inline constexpr std::uint32_t kInternetStatusConnectionClosed = 51;
inline constexpr std::uint32_t kInternetStatusHandleCreated = 60;
inline constexpr std::uint32_t kInternetStatusHandleClosing = 70;
inline constexpr std::uint32_t kInternetStatusRequestComplete = 100;
inline constexpr std::uint32_t kInternetStatusRedirect = 110;
inline constexpr std::uint32_t kInternetStatusIntermediateResponse = 120;
inline constexpr std::uint32_t kInternetStatusStateChange = 200;

// The status information of kInternetStatusRequestComplete and
// kInternetStatusHandleCreated (INTERNET_ASYNC_RESULT).
struct InternetAsyncResult {
    std::uintptr_t dwResult = 0;
    std::uint32_t dwError = 0;
};

using InternetStatusCallback = void (*)(HInternet handle, std::uintptr_t context,
                                        std::uint32_t status, const void* information,
                                        std::uint32_t information_length);

// What InternetCrackUrlA reports of a URL.
struct UrlComponents {
    std::string scheme;
    std::string host;
    std::uint16_t port = 0;  // as written, or the scheme's default
    std::string path;        // everything after the host and port, query included
};

class InetApi {
public:
    virtual ~InetApi() = default;

    // The error of the calling thread's latest failed call (GetLastError).
    virtual std::uint32_t LastError() = 0;

    virtual HInternet InternetOpen(std::string_view agent, std::uint32_t access_type,
                                   std::uint32_t flags) = 0;

    // False where WinINet returns INTERNET_INVALID_STATUS_CALLBACK.
    virtual bool InternetSetStatusCallback(HInternet session, InternetStatusCallback callback) = 0;

    virtual bool InternetCrackUrl(std::string_view url, UrlComponents* components) = 0;

    virtual HInternet InternetConnect(HInternet session, std::string_view host,
                                      std::uint16_t port, std::string_view user,
                                      std::string_view password, std::uint32_t service,
                                      std::uint32_t flags, std::uintptr_t context) = 0;

    virtual HInternet HttpOpenRequest(HInternet connection, std::string_view verb,
                                      std::string_view path, std::uint32_t flags,
                                      std::uintptr_t context) = 0;

    // The headers and body are copied or kept alive by the caller until the
    // send completes.
    virtual bool HttpSendRequest(HInternet request, std::string_view headers,
                                 std::string_view body) = 0;

    // HttpQueryInfoA with HTTP_QUERY_FLAG_NUMBER into a 32-bit number; on
    // failure `number` keeps its value.
    virtual bool HttpQueryInfoNumber(HInternet request, std::uint32_t info_level,
                                     std::uint32_t* number) = 0;

    virtual bool InternetReadFile(HInternet request, void* buffer, std::uint32_t to_read,
                                  std::uint32_t* read) = 0;

    // The synchronous upload's calls: HttpSendRequestExA announcing the total
    // body size (HSR_INITIATE), InternetWriteFile and HttpEndRequestA.
    virtual bool HttpSendRequestEx(HInternet request, std::uint32_t total_body_size) = 0;
    virtual bool InternetWriteFile(HInternet request, const void* data, std::uint32_t size,
                                   std::uint32_t* written) = 0;
    virtual bool HttpEndRequest(HInternet request) = 0;

    virtual bool InternetCloseHandle(HInternet handle) = 0;
};

// Owns one internet handle and closes it on every path out of a scope.
class UniqueInternetHandle {
public:
    UniqueInternetHandle() = default;
    UniqueInternetHandle(InetApi& api, HInternet handle) : api_(&api), handle_(handle) {}
    UniqueInternetHandle(const UniqueInternetHandle&) = delete;
    UniqueInternetHandle& operator=(const UniqueInternetHandle&) = delete;
    ~UniqueInternetHandle() { reset(); }

    HInternet get() const { return handle_; }
    explicit operator bool() const { return handle_ != 0; }

    HInternet release() {
        const HInternet handle = handle_;
        handle_ = 0;
        return handle;
    }

    // Closes the handle now and reports whether the close succeeded.
    bool reset() {
        bool closed = true;
        if (handle_ != 0 && api_ != nullptr) closed = api_->InternetCloseHandle(handle_);
        handle_ = 0;
        return closed;
    }

private:
    InetApi* api_ = nullptr;
    HInternet handle_ = 0;
};

}  // namespace kx
