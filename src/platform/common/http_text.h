#pragma once

// The texts of an HTTP exchange that a backend checks before any of them
// reaches the wire: names, hosts, ports, paths and the caller's headers.
// Standard library only, so every backend shares one set of rules.
//
// Implements:
//  - the character rules: RFC 7230 tokens, DNS names and IPv4/IPv6 hosts,
//    control characters;
//  - decimal numbers and ports, bounded and without sign or blanks;
//  - "host" or "[v6]" at the front of a text, and back again for a URL;
//  - object names escaped for a URL, a '#' included;
//  - the caller's header block as separate lines;
//  - connect-to entries "host:port:address:port";
//  - URL cracking with InternetCrackUrlA's results and errors, over the
//    console's one URL reader (base/url_parts.h).
//
// Missing: percent-decoding, user names and passwords in a URL, IDNs.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/inet_api.h"

namespace kx {

// WinINet's own limits (INTERNET_MAX_URL_LENGTH, INTERNET_MAX_HOST_NAME_LENGTH).
inline constexpr std::size_t kMaxUrlLength = 2084;
inline constexpr std::size_t kMaxHostLength = 256;

bool HasControl(std::string_view text);

// Without the blanks around it, and without a line end.
std::string_view TrimHttpSpace(std::string_view text);

// RFC 7230 token characters, as in a method or a header name.
bool IsToken(std::string_view text);

// A DNS name or an IPv4 or IPv6 address (without brackets), at most
// kMaxHostLength long.
bool IsHostName(std::string_view host);

// Decimal digits only, at most `max`.
std::optional<std::uint32_t> ParseDecimal(std::string_view text, std::uint64_t max);

// 1 to 65535.
std::optional<std::uint16_t> ParsePort(std::string_view text);

// Splits "host" or "[v6]" off the front of `text` up to the next ':'; the
// host comes back without brackets.
std::optional<std::string_view> TakeHost(std::string_view* text);

// An IPv6 address in brackets, any other host as it is.
std::string HostForUrl(std::string_view host);

// `path` with a leading '/', its bytes above 0x7F and those that may not
// stand in a URL percent-escaped.
std::string EscapePath(std::string_view path);

struct HeaderLines {
    std::vector<std::string> lines;  // "Name: value", or "Name;" for an empty value
    bool content_type = false;       // the caller set Content-Type
};

// The caller's header text, one header a line ("\r\n" or "\n"); nothing for
// a line without a name or with a control character in its value.
std::optional<HeaderLines> SplitHeaders(std::string_view text);

// Whether `entry` has the form "host:port:address:port" with both ports
// between 1 and 65535 (IPv6 addresses in brackets).
bool IsConnectToEntry(std::string_view entry);

// Fills `components` and answers 0, or answers kErrorInternetInvalidUrl or
// kErrorInternetUnrecognizedScheme and leaves `components` alone.
std::uint32_t CrackUrl(std::string_view url, UrlComponents* components);

}  // namespace kx
