#include "platform/win32/win_browser_emulation.h"

#include <windows.h>

#include <string>

#include "base/unique_any.h"

namespace kx {

namespace {

using UniqueKey = UniqueAny<HKEY, &::RegCloseKey>;

constexpr char kEmulationKey[] =
    "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

// A name with a zero inside would be cut short by the call: refused instead.
bool UsableName(std::string_view name) {
    return !name.empty() && name.find('\0') == std::string_view::npos;
}

}  // namespace

long WriteBrowserEmulation(std::string_view program_file, std::uint32_t mode) {
    if (!UsableName(program_file)) return ERROR_INVALID_PARAMETER;
    UniqueKey key;
    const LONG created = RegCreateKeyExA(HKEY_CURRENT_USER, kEmulationKey, 0, nullptr,
                                         REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                         key.put(), nullptr);
    if (created != ERROR_SUCCESS) return created;
    const std::string name(program_file);
    const DWORD value = mode;
    return RegSetValueExA(key.get(), name.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&value), sizeof value);
}

std::optional<std::uint32_t> ReadBrowserEmulation(std::string_view program_file) {
    if (!UsableName(program_file)) return std::nullopt;
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kEmulationKey, 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    const std::string name(program_file);
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value) {
        return std::nullopt;
    }
    return value;
}

}  // namespace kx
