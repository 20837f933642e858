// The URL reader: every URL a page, a reply or the settings name.
//
// Input: the URL itself.
//
// Implements:
//  - a read URL's parts are views into it that put it back together, in
//    order, with only the fragment left over;
//  - each part keeps its documented alphabet;
//  - the origin check agrees with the reader's host.

#include <cstdint>
#include <string>
#include <string_view>

#include "app/page_commands.h"
#include "base/url_parts.h"
#include "fuzz_input.h"

namespace {

bool Within(std::string_view whole, std::string_view part) {
    return part.empty() || (part.data() >= whole.data() &&
                            part.data() + part.size() <= whole.data() + whole.size());
}

bool AllDigits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view url = kx::fuzz::AsText(data, size);
    kx::UrlParts parts;
    parts.host = "untouched";
    const kx::UrlFault fault = kx::SplitUrl(url, &parts);
    if (fault != kx::UrlFault::None) {
        KX_FUZZ_CHECK(parts.host == "untouched");
        KX_FUZZ_CHECK(!kx::IsServiceOrigin(url, "untouched"));
        return 0;
    }

    for (const std::string_view part : {parts.scheme, parts.userinfo, parts.host, parts.port, parts.path}) {
        KX_FUZZ_CHECK(Within(url, part));
    }
    KX_FUZZ_CHECK(!parts.scheme.empty() && !parts.host.empty());
    KX_FUZZ_CHECK(AllDigits(parts.port));
    KX_FUZZ_CHECK(parts.has_port || parts.port.empty());
    KX_FUZZ_CHECK(parts.has_userinfo || parts.userinfo.empty());
    KX_FUZZ_CHECK(parts.path.find('#') == std::string_view::npos);
    KX_FUZZ_CHECK(parts.path.empty() || parts.path.find_first_of("/\\?") == 0);

    // Rebuild the URL from its parts; the rest may only be a fragment.
    const std::size_t host_at = static_cast<std::size_t>(parts.host.data() - url.data());
    const bool bracketed = host_at > 0 && url[host_at - 1] == '[';
    std::string rebuilt(parts.scheme);
    rebuilt += "://";
    if (parts.has_userinfo) {
        rebuilt += parts.userinfo;
        rebuilt += '@';
    }
    rebuilt += bracketed ? "[" + std::string(parts.host) + "]" : std::string(parts.host);
    if (parts.has_port) {
        rebuilt += ':';
        rebuilt += parts.port;
    }
    rebuilt += parts.path;
    KX_FUZZ_CHECK(url.substr(0, rebuilt.size()) == rebuilt);
    const std::string_view rest = url.substr(rebuilt.size());
    KX_FUZZ_CHECK(rest.empty() || rest.front() == '#');
    // Only an IPv6 literal may hold the characters that end a host.
    if (!bracketed) KX_FUZZ_CHECK(parts.host.find_first_of(":@/\\?#") == std::string_view::npos);

    KX_FUZZ_CHECK(kx::IsServiceOrigin(url, parts.host));
    return 0;
}
