#pragma once

// Linux backend: the internet port's errors.
//
// Implements:
//  - the calling thread's last error, as GetLastError keeps it;
//  - libcurl's result codes as the WinINet errors the core tells apart.

#include <curl/curl.h>

#include <cstdint>

#include "platform/inet_api.h"

namespace kx::curl_inet {

// Win32 and WinINet errors besides those the port names.
inline constexpr std::uint32_t kInvalidHandle = 6;
inline constexpr std::uint32_t kInvalidParameter = 87;
inline constexpr std::uint32_t kErrorInternetIncorrectHandleState = 12019;
inline constexpr std::uint32_t kErrorHttpHeaderNotFound = 12150;

std::uint32_t LastError();
void SetLastError(std::uint32_t error);

// Set the last error and answer the call's failure.
bool Fail(std::uint32_t error);
HInternet FailHandle(std::uint32_t error);

// `verify_result` is CURLINFO_SSL_VERIFYRESULT: libcurl reports a wrong
// host name and an unknown issuer alike, the chain's verdict tells them apart.
std::uint32_t MapCurlError(CURLcode code, long os_errno, long verify_result = 0);

}  // namespace kx::curl_inet
