#pragma once

// Where the console's own settings live. A standard user of today's Windows
// cannot write under HKEY_LOCAL_MACHINE, so settings the console writes there
// would silently be lost. The console's own values (the player's choices,
// the suppressed tips) are therefore the user's: written under
// HKEY_CURRENT_USER, read from there first and, value by value, from the
// same path under HKEY_LOCAL_MACHINE, where earlier consoles and machine-wide
// setups left them. What installers write (the Clients key, ServiceHost,
// CAFile, ConnectTo) stays machine-wide and is read from there alone.

#include <cstdint>
#include <string_view>

#include "platform/registry.h"

namespace kx {

// The root the console writes its own values under.
inline constexpr RegKeyHandle kOwnSettingsRoot = kHKeyCurrentUser;
// The root that installers write under, and the fallback of the console's own values.
inline constexpr RegKeyHandle kInstalledSettingsRoot = kHKeyLocalMachine;

// Reads the console's own values of one key: each value from the user's copy
// of the key when it holds it, else from the machine's.
class OwnSettingsReader {
public:
    // Opens both copies of `path` for reading.
    OwnSettingsReader(Registry& registry, std::string_view path);

    // Whether either copy could be opened; when neither could, there is
    // nothing to read.
    bool Opened() const { return static_cast<bool>(user_) || static_cast<bool>(machine_); }

    // RegQueryValueExA on the first copy that holds the value. A value that
    // is there but cannot be read (a buffer too small) is not looked for
    // further: the user's copy decides. kErrorFileNotFound when neither
    // copy holds it.
    long QueryValue(std::string_view name, RegType* type, std::uint8_t* data,
                    std::uint32_t* size);

private:
    Registry& registry_;
    UniqueRegKey user_;
    UniqueRegKey machine_;
};

// Opens, creating it when missing, the user's copy of `path` to write the
// console's own values to. The result is RegCreateKeyExA's.
long CreateOwnSettingsKey(Registry& registry, std::string_view path, UniqueRegKey* key);

}  // namespace kx
