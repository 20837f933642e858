#include "base/own_settings.h"

namespace kx {

OwnSettingsReader::OwnSettingsReader(Registry& registry, std::string_view path)
    : registry_(registry), user_(registry), machine_(registry) {
    // A copy that cannot be opened is simply not there to read.
    registry.OpenKey(kOwnSettingsRoot, path, RegAccess::Read, user_.put());
    registry.OpenKey(kInstalledSettingsRoot, path, RegAccess::Read, machine_.put());
}

long OwnSettingsReader::QueryValue(std::string_view name, RegType* type, std::uint8_t* data,
                                   std::uint32_t* size) {
    long status = kErrorFileNotFound;
    // The caller's size is the capacity on entry; each attempt starts from it.
    const std::uint32_t capacity = size != nullptr ? *size : 0;
    for (const UniqueRegKey* key : {&user_, &machine_}) {
        if (!*key) continue;
        if (size != nullptr) *size = capacity;
        status = registry_.QueryValue(key->get(), name, type, data, size);
        if (status != kErrorFileNotFound) return status;
    }
    if (size != nullptr) *size = capacity;
    return status;
}

long CreateOwnSettingsKey(Registry& registry, std::string_view path, UniqueRegKey* key) {
    return registry.CreateKey(kOwnSettingsRoot, path, RegAccess::Write, key->put());
}

}  // namespace kx
