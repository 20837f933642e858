#include "net/version_report.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "base/registry_paths.h"
#include "base/form_encoding.h"

namespace kx {

namespace {

void AppendPair(std::string& report, std::string_view key, std::string_view value) {
    if (!report.empty()) report += '&';
    report += FormEncode(key);
    report += '=';
    report += FormEncode(value);
}

// RegEnumKeyExA's name buffer and the "VERSION" buffer, in bytes.
constexpr std::uint32_t kSubkeyNameCapacity = 300;
constexpr std::uint32_t kVersionCapacity = 25;

std::string BufferText(const char* data, std::size_t capacity) {
    // A value stored without its terminating zero still ends at the buffer.
    const void* nul = std::memchr(data, '\0', capacity);
    return std::string(data, nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - data)
                                            : capacity);
}

}  // namespace

void BuildVersionReport(Registry& registry, std::string& report) {
    report.clear();

    char number[32];
    std::snprintf(number, sizeof number, "%d.%02d", kConsoleVersionMajor, kConsoleVersionMinor);
    AppendPair(report, "CONSOLEVER", number);
    std::snprintf(number, sizeof number, "%d.%02d.%04d", kConsoleVersionMajor,
                  kConsoleVersionMinor, kConsoleBuildNumber);
    AppendPair(report, "CONSOLEBUILD", number);

    UniqueRegKey clients(registry);
    if (registry.OpenKey(kHKeyLocalMachine, kClientsKey, RegAccess::Read, clients.put()) !=
        kErrorSuccess) {
        return;
    }

    for (std::uint32_t index = 0;; ++index) {
        std::array<char, kSubkeyNameCapacity> name{};
        std::uint32_t name_chars = kSubkeyNameCapacity;
        const long result = registry.EnumKey(clients.get(), index, name.data(), &name_chars);
        // A name too long for the buffer is skipped: the buffer does not hold it.
        if (result == kErrorMoreData) continue;
        if (result != kErrorSuccess) break;

        const std::string client = BufferText(name.data(), name.size());
        UniqueRegKey subkey(registry);
        if (registry.OpenKey(clients.get(), client, RegAccess::Read, subkey.put()) !=
            kErrorSuccess) {
            continue;
        }

        // One byte more than read so the text always ends inside the array.
        std::array<char, kVersionCapacity + 1> version{};
        std::uint32_t size = kVersionCapacity;
        const long read = registry.QueryValue(subkey.get(), "VERSION", nullptr,
                                              reinterpret_cast<std::uint8_t*>(version.data()),
                                              &size);
        subkey.reset();
        if (read != kErrorSuccess) continue;

        AppendPair(report, client, BufferText(version.data(), kVersionCapacity));
    }
}

}  // namespace kx
