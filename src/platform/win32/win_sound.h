#pragma once

// Windows backend: the rank sounds.
//
// Implements:
//  - kx::Sound over sndPlaySoundA with SND_ASYNC: the call returns at once,
//    and a path that names no sound file plays the system's default sound.

#include "platform/sound.h"

namespace kx {

class WinSound final : public Sound {
public:
    void PlayAsync(std::string_view path) override;
};

}  // namespace kx
