#pragma once

// The one reading of "scheme://[userinfo@]host[:port][/path][?query][#fragment]"
// for every part of the console that decides where a URL leads, so that the
// host a page is judged by is the host the transport connects to.
//
// The authority ends at the first '/', '\', '?' or '#', as browsers end it;
// the userinfo runs to the authority's last '@'. Nothing is percent-decoded
// and a host's characters are the caller's to judge.

#include <string_view>

namespace kx {

enum class UrlFault {
    None,
    Scheme,     // no "://", or a scheme that is not a letter then letters, digits, '+', '-', '.'
    Authority,  // no host, an unclosed or empty "[...]", or something but digits after ':'
};

struct UrlParts {
    std::string_view scheme;
    std::string_view userinfo;  // without its '@'
    bool has_userinfo = false;
    std::string_view host;      // an IPv6 address without its brackets
    std::string_view port;      // the digits after ':', perhaps none
    bool has_port = false;
    std::string_view path;      // what follows the authority, query included, fragment left out
};

// Views into `url`; `parts` is left alone on a fault.
UrlFault SplitUrl(std::string_view url, UrlParts* parts);

}  // namespace kx
