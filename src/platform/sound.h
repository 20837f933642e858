#pragma once

// The sound port: sndPlaySoundA with SND_ASYNC. A path that names no sound
// file plays the platform's default sound.

#include <string_view>

namespace kx {

class Sound {
public:
    virtual ~Sound() = default;
    virtual void PlayAsync(std::string_view path) = 0;
};

}  // namespace kx
