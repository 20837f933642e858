#pragma once

// The player record: who is logged in and what the player chose in the login
// dialog. Four of its fields persist in the player settings key.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/registry.h"

namespace kx {

inline constexpr std::size_t kUserTextSize = 50;

// Copies at most size-1 bytes of `text` (up to its first zero byte), zeroes
// the rest of the field, so the field is always terminated and never carries
// bytes of an earlier, longer text.
void CopyToField(char* field, std::size_t size, std::string_view text);

template <std::size_t N>
void CopyToField(char (&field)[N], std::string_view text) {
    CopyToField(field, N, text);
}

// The text held in a fixed-size field, up to its terminator or its end.
std::string_view FieldText(const char* field, std::size_t size);

template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
    return FieldText(field, N);
}

struct KXUserInfo {
    char szUserName[kUserTextSize] = {};
    char szPassword[kUserTextSize] = {};
    char szUserID[kUserTextSize] = {};
    char szSessionID[kUserTextSize] = {};
    std::int32_t bLoggedIn = 0;
    std::int32_t bSavePassword = 0;
    std::int32_t bMonitor = 0;
    std::int32_t bPlaySounds = 0;

    void LoadCredentials(Registry& registry);
    void LoadSoundOption(Registry& registry);
    void SaveCredentials(Registry& registry) const;
    void SaveSoundOption(Registry& registry) const;
};

// The console-wide player record.
KXUserInfo& TheUserInfo();

}  // namespace kx
