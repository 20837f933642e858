// The texts of an HTTP exchange that the transport checks before they reach
// the wire: URLs to crack, the caller's header block, connect-to entries
// from the settings, and object names to escape.
//
// Input: the bytes given to each check in turn.
//
// Implements:
//  - a cracked URL names the host the console's URL reader found, a port,
//    and a path starting with '/', none of them with a control character;
//  - accepted header lines hold no line break and no control but tab, and
//    each is "Name: value" or "Name;";
//  - an escaped path holds no byte above 0x7F and none of the unsafe set,
//    and escaping it again changes nothing.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/url_parts.h"
#include "fuzz_input.h"
#include "platform/common/http_text.h"

namespace {

constexpr std::string_view kUnsafe = " \"#<>\\^`{|}";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = kx::fuzz::AsText(data, size);

    kx::UrlComponents components;
    components.host = "untouched";
    const std::uint32_t cracked = kx::CrackUrl(text, &components);
    if (cracked == 0) {
        kx::UrlParts parts;
        KX_FUZZ_CHECK(kx::SplitUrl(text, &parts) == kx::UrlFault::None);
        KX_FUZZ_CHECK(components.host == parts.host);
        KX_FUZZ_CHECK(components.scheme == parts.scheme);
        KX_FUZZ_CHECK(kx::IsHostName(components.host));
        KX_FUZZ_CHECK(!components.path.empty() && components.path.front() == '/');
        for (const std::string* part : {&components.scheme, &components.host, &components.path}) {
            KX_FUZZ_CHECK(!kx::HasControl(*part));
        }
        if (!parts.port.empty()) KX_FUZZ_CHECK(components.port != 0);
    } else {
        KX_FUZZ_CHECK(components.host == "untouched");
    }

    if (const auto headers = kx::SplitHeaders(text)) {
        for (const std::string& line : headers->lines) {
            for (const char c : line) {
                KX_FUZZ_CHECK(c == '\t' || !kx::HasControl(std::string_view(&c, 1)));
            }
            const std::size_t colon = line.find(':');
            const std::size_t semicolon = line.find(';');
            KX_FUZZ_CHECK(colon != std::string::npos || semicolon == line.size() - 1);
            const std::string_view name = std::string_view(line).substr(0, std::min(colon, semicolon));
            KX_FUZZ_CHECK(kx::IsToken(name));
        }
    }

    (void)kx::IsConnectToEntry(text);
    std::string_view rest = text;
    if (const auto host = kx::TakeHost(&rest)) {
        KX_FUZZ_CHECK(kx::IsHostName(*host));
        const std::string written = kx::HostForUrl(*host);
        std::string_view again = written;
        KX_FUZZ_CHECK(kx::TakeHost(&again) == host && again.empty());
    }

    const std::string escaped = kx::EscapePath(text);
    KX_FUZZ_CHECK(!escaped.empty() && escaped.front() == '/');
    for (const char c : escaped) {
        const auto byte = static_cast<unsigned char>(c);
        KX_FUZZ_CHECK(byte < 0x80 && kUnsafe.find(c) == std::string_view::npos);
    }
    // A '%' is taken as an escape already made, so escaping twice changes nothing.
    KX_FUZZ_CHECK(kx::EscapePath(escaped) == escaped);
    return 0;
}
