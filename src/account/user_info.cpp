#include "account/user_info.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/own_settings.h"
#include "base/registry_paths.h"

namespace kx {

namespace {

// Reads a text value into a field. The value goes through a zeroed buffer of
// the field's size, so a value without a terminator is cut one byte short of
// the field and a missing or longer value leaves the field as it was.
void ReadTextValue(OwnSettingsReader& key, std::string_view name, char* field, std::size_t size) {
    std::array<std::uint8_t, kUserTextSize> buffer{};
    auto length = static_cast<std::uint32_t>(std::min(size, buffer.size()));
    if (key.QueryValue(name, nullptr, buffer.data(), &length) != kErrorSuccess) return;
    CopyToField(field, size,
                std::string_view(reinterpret_cast<const char*>(buffer.data()), length));
}

// Reads a "1"/"0" flag into a two-byte buffer that starts zeroed: anything
// that is missing, longer than two bytes or not starting with '1' is off.
bool ReadFlagValue(OwnSettingsReader& key, std::string_view name) {
    std::array<std::uint8_t, 2> buffer{};
    std::uint32_t length = buffer.size();
    key.QueryValue(name, nullptr, buffer.data(), &length);
    return buffer[0] == '1';
}

void WriteField(Registry& registry, RegKeyHandle key, std::string_view name, const char* field,
                std::size_t size) {
    registry.SetValue(key, name, RegType::Sz, reinterpret_cast<const std::uint8_t*>(field),
                      static_cast<std::uint32_t>(size));
}

void WriteFlag(Registry& registry, RegKeyHandle key, std::string_view name, bool on) {
    static constexpr char kOn[] = "1";
    static constexpr char kOff[] = "0";
    WriteField(registry, key, name, on ? kOn : kOff, sizeof kOn);
}

}  // namespace

void CopyToField(char* field, std::size_t size, std::string_view text) {
    if (size == 0) return;
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    const std::size_t count = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), count);
    std::memset(field + count, 0, size - count);
}

std::string_view FieldText(const char* field, std::size_t size) {
    const void* nul = std::memchr(field, '\0', size);
    return std::string_view(
        field, nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - field)
                              : size);
}

void KXUserInfo::LoadCredentials(Registry& registry) {
    bLoggedIn = 0;
    OwnSettingsReader key(registry, kPlayerKey);
    if (!key.Opened()) return;
    ReadTextValue(key, "Username", szUserName, sizeof szUserName);
    if (ReadFlagValue(key, "Savepwd")) {
        bSavePassword = 1;
        ReadTextValue(key, "password", szPassword, sizeof szPassword);
    } else {
        bSavePassword = 0;
    }
}

void KXUserInfo::LoadSoundOption(Registry& registry) {
    bLoggedIn = 0;
    OwnSettingsReader key(registry, kPlayerKey);
    if (!key.Opened()) return;
    bPlaySounds = ReadFlagValue(key, "PlaySounds") ? 1 : 0;
}

void KXUserInfo::SaveCredentials(Registry& registry) const {
    UniqueRegKey key(registry);
    if (CreateOwnSettingsKey(registry, kPlayerKey, &key) != kErrorSuccess) return;
    WriteField(registry, key.get(), "Username", szUserName, sizeof szUserName);
    if (bSavePassword == 1) {
        WriteField(registry, key.get(), "Password", szPassword, sizeof szPassword);
        WriteFlag(registry, key.get(), "SavePWD", true);
    } else {
        registry.SetValue(key.get(), "Password", RegType::Sz, nullptr, 0);
        WriteFlag(registry, key.get(), "SavePWD", false);
    }
}

void KXUserInfo::SaveSoundOption(Registry& registry) const {
    UniqueRegKey key(registry);
    if (CreateOwnSettingsKey(registry, kPlayerKey, &key) != kErrorSuccess) return;
    WriteFlag(registry, key.get(), "PlaySounds", bPlaySounds == 1);
}

KXUserInfo& TheUserInfo() {
    static KXUserInfo info;
    return info;
}

}  // namespace kx
