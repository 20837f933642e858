#include "platform/linux/curl_errors.h"

#include <cerrno>

namespace kx::curl_inet {
namespace {

// A chain that verified leaves X509_V_OK, or X509_V_ERR_UNSPECIFIED once
// libcurl's own name check refuses it; OpenSSL's name check leaves
// X509_V_ERR_HOSTNAME_MISMATCH. A bad chain leaves its own reason.
constexpr long kVerifyOk = 0;
constexpr long kVerifyUnspecified = 1;
constexpr long kVerifyHostnameMismatch = 62;

thread_local std::uint32_t t_last_error = 0;

}  // namespace

std::uint32_t LastError() { return t_last_error; }

void SetLastError(std::uint32_t error) { t_last_error = error; }

bool Fail(std::uint32_t error) {
    t_last_error = error;
    return false;
}

HInternet FailHandle(std::uint32_t error) {
    t_last_error = error;
    return 0;
}

std::uint32_t MapCurlError(CURLcode code, long os_errno, long verify_result) {
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
        return verify_result == kVerifyOk || verify_result == kVerifyUnspecified ||
                           verify_result == kVerifyHostnameMismatch
                   ? kErrorInternetSecCertCnInvalid
                   : kErrorInternetInvalidCa;
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

}  // namespace kx::curl_inet
