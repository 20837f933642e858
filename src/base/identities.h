#pragma once

// Who the console is to COM and to the game clients: the ids and names that
// installed game clients were built against. They never change.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/com_server.h"

namespace kx {

namespace detail {

// Left undefined: reaching it while parsing at compile time makes a
// malformed id text a compile error.
void GuidTextIsMalformed();

consteval std::uint32_t HexValue(std::string_view text, std::size_t first, std::size_t digits) {
    std::uint32_t value = 0;
    for (std::size_t i = first; i < first + digits; ++i) {
        const char c = text[i];
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else {
            GuidTextIsMalformed();
        }
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace detail

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" as the registry holds it, so each
// id is written once and its binary and text forms cannot disagree.
consteval Guid GuidFromText(std::string_view text) {
    if (text.size() != 38 || text[0] != '{' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-' || text[37] != '}') {
        detail::GuidTextIsMalformed();
    }
    Guid guid;
    guid.data1 = detail::HexValue(text, 1, 8);
    guid.data2 = static_cast<std::uint16_t>(detail::HexValue(text, 10, 4));
    guid.data3 = static_cast<std::uint16_t>(detail::HexValue(text, 15, 4));
    constexpr std::size_t kByteOffsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (std::size_t i = 0; i < 8; ++i) {
        guid.data4[i] = static_cast<std::uint8_t>(detail::HexValue(text, kByteOffsets[i], 2));
    }
    return guid;
}

// The application id.
inline constexpr std::string_view kAppIdText = "{362ACD01-8964-4B7C-A890-7EC8485A4083}";
inline constexpr Guid kAppId = GuidFromText(kAppIdText);

// The class `KXCommServices`.
inline constexpr std::string_view kClsidKXCommServicesText =
    "{EDD57D80-F4F6-11D3-8B9E-00105A18F13D}";
inline constexpr Guid kClsidKXCommServices = GuidFromText(kClsidKXCommServicesText);

// The interface `IKXServer`.
inline constexpr std::string_view kIidIKXServerText = "{EDD57D81-F4F6-11D3-8B9E-00105A18F13D}";
inline constexpr Guid kIidIKXServer = GuidFromText(kIidIKXServerText);

// The type library, carried by the executable as resource TYPELIB 1.
inline constexpr std::string_view kLibIdText = "{7929BA92-3AA7-42AE-B507-5D2C29816D89}";
inline constexpr Guid kLibId = GuidFromText(kLibIdText);
inline constexpr unsigned kTypeLibMajorVersion = 1;
inline constexpr unsigned kTypeLibMinorVersion = 0;
inline constexpr int kTypeLibResourceId = 1;
inline constexpr std::string_view kTypeLibName = "VELORALib";
inline constexpr std::string_view kTypeLibHelpString = "velora 1.0 Type Library";

inline constexpr std::string_view kClassDescription = "KXCommServices Class";
inline constexpr std::string_view kInterfaceDescription = "IKXServer Interface";

inline constexpr std::string_view kProgId = "Velora.KXCommServices.1";
inline constexpr std::string_view kVersionIndependentProgId = "Velora.KXCommServices";

// The proxy/stub that marshals IKXServer between processes, beside the executable.
inline constexpr std::string_view kProxyStubFileName = "kx_proxy_stub.dll";

// The executable's file name and the application id's description.
inline constexpr std::string_view kExecutableFileName = "velora.EXE";
inline constexpr std::string_view kAppIdDescription = "velora";

// The console window's title, by which a second start finds the first.
inline constexpr std::string_view kConsoleWindowTitle = "Kestrix Console";

}  // namespace kx
