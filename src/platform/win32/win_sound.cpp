#include "platform/win32/win_sound.h"

#include <windows.h>
#include <mmsystem.h>

#include <string>

namespace kx {

void WinSound::PlayAsync(std::string_view path) {
    const std::string name(path);
    sndPlaySoundA(name.c_str(), SND_ASYNC);
}

}  // namespace kx
