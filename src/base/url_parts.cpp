#include "base/url_parts.h"

#include <algorithm>

namespace kx {
namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsScheme(std::string_view scheme) {
    return !scheme.empty() && IsAlpha(scheme.front()) &&
           std::all_of(scheme.begin(), scheme.end(), [](char c) {
               return IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.';
           });
}

}  // namespace

UrlFault SplitUrl(std::string_view url, UrlParts* parts) {
    const std::size_t separator = url.find("://");
    if (separator == std::string_view::npos) return UrlFault::Scheme;
    UrlParts out;
    out.scheme = url.substr(0, separator);
    if (!IsScheme(out.scheme)) return UrlFault::Scheme;

    const std::string_view rest = url.substr(separator + 3);
    const std::size_t authority_end = rest.find_first_of("/\\?#");
    std::string_view authority = rest.substr(0, authority_end);
    if (authority_end != std::string_view::npos) {
        out.path = rest.substr(authority_end);
        out.path = out.path.substr(0, out.path.find('#'));
    }
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        out.userinfo = authority.substr(0, at);
        out.has_userinfo = true;
        authority.remove_prefix(at + 1);
    }

    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return UrlFault::Authority;
        out.host = authority.substr(1, close - 1);
        authority.remove_prefix(close + 1);
    } else {
        out.host = authority.substr(0, authority.find(':'));
        authority.remove_prefix(out.host.size());
    }
    if (out.host.empty()) return UrlFault::Authority;
    if (!authority.empty()) {
        if (authority.front() != ':') return UrlFault::Authority;
        out.port = authority.substr(1);
        out.has_port = true;
        if (!std::all_of(out.port.begin(), out.port.end(), IsDigit)) return UrlFault::Authority;
    }
    *parts = out;
    return UrlFault::None;
}

}  // namespace kx
