#include "platform/common/http_text.h"

#include <algorithm>

#include "base/ascii.h"
#include "base/url_parts.h"

namespace kx {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

bool TakeColonPort(std::string_view* text, bool last) {
    if (text->empty() || text->front() != ':') return false;
    text->remove_prefix(1);
    const std::size_t end = last ? text->size() : text->find(':');
    if (end == std::string_view::npos) return false;
    if (!ParsePort(text->substr(0, end))) return false;
    text->remove_prefix(end);
    return true;
}

}  // namespace

bool HasControl(std::string_view text) { return std::any_of(text.begin(), text.end(), IsControl); }

std::string_view TrimHttpSpace(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsToken(std::string_view text) {
    static constexpr std::string_view kSpecials = "!#$%&'*+-.^_`|~";
    if (text.empty()) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return IsAlpha(c) || IsDigit(c) || kSpecials.find(c) != std::string_view::npos;
    });
}

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

std::optional<std::uint32_t> ParseDecimal(std::string_view text, std::uint64_t max) {
    // Checked against `max` after every digit, so the sum never wraps.
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
    const auto port = ParseDecimal(text, 65535);
    if (!port || *port == 0) return std::nullopt;
    return static_cast<std::uint16_t>(*port);
}

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

std::string HostForUrl(std::string_view host) {
    if (host.find(':') != std::string_view::npos) return "[" + std::string(host) + "]";
    return std::string(host);
}

std::string EscapePath(std::string_view path) {
    // A '#' in an object name is data, never the start of a fragment.
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

std::optional<HeaderLines> SplitHeaders(std::string_view text) {
    HeaderLines out;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (TrimHttpSpace(line).empty()) continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = TrimHttpSpace(line.substr(colon + 1));
        if (!IsToken(name) || std::any_of(value.begin(), value.end(), [](char c) {
                return IsControl(c) && c != '\t';
            })) {
            return std::nullopt;
        }
        if (EqualsIgnoringAsciiCase(name, "Content-Type")) out.content_type = true;
        // An empty value stays a header rather than libcurl's "remove this header".
        out.lines.push_back(value.empty() ? std::string(name) + ";"
                                          : std::string(name) + ": " + std::string(value));
    }
    return out;
}

bool IsConnectToEntry(std::string_view entry) {
    std::string_view rest = entry;
    if (!TakeHost(&rest) || !TakeColonPort(&rest, false)) return false;
    rest.remove_prefix(1);  // the ':' that TakeColonPort stopped at
    return TakeHost(&rest) && TakeColonPort(&rest, true) && rest.empty();
}

std::uint32_t CrackUrl(std::string_view url, UrlComponents* components) {
    if (url.empty() || url.size() > kMaxUrlLength || HasControl(url)) return kErrorInternetInvalidUrl;
    UrlParts parts;
    switch (SplitUrl(url, &parts)) {
    case UrlFault::None:
        break;
    case UrlFault::Scheme:
        return kErrorInternetUnrecognizedScheme;
    case UrlFault::Authority:
        return kErrorInternetInvalidUrl;
    }
    if (!IsHostName(parts.host)) return kErrorInternetInvalidUrl;
    std::uint16_t port = 0;
    if (!parts.port.empty()) {
        const auto written = ParsePort(parts.port);
        if (!written) return kErrorInternetInvalidUrl;
        port = *written;
    }
    if (port == 0) {
        if (EqualsIgnoringAsciiCase(parts.scheme, "http")) port = kInternetDefaultHttpPort;
        if (EqualsIgnoringAsciiCase(parts.scheme, "https")) port = kInternetDefaultHttpsPort;
    }
    const std::string_view path = parts.path;
    components->scheme = std::string(parts.scheme);
    components->host = std::string(parts.host);
    components->port = port;
    components->path = path.empty() || path.front() != '/' ? "/" + std::string(path) : std::string(path);
    return 0;
}

}  // namespace kx
