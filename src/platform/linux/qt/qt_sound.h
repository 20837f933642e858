#pragma once

// Linux Qt front: sound.
//
// Implements:
//  - kx::Sound with Qt Multimedia: a WAV file played without waiting, each
//    effect kept alive until it has finished; a path that names no playable
//    file, or a desktop without an audio output, rings the bell, the
//    platform's default sound.
//
// Missing: the sound scheme's named events (only files and the bell).

#include <list>
#include <memory>

#include "platform/sound.h"

class QSoundEffect;

namespace kx {

class QtSound final : public Sound {
public:
    QtSound();
    ~QtSound() override;
    QtSound(const QtSound&) = delete;
    QtSound& operator=(const QtSound&) = delete;

    void PlayAsync(std::string_view path) override;

private:
    void Forget(QSoundEffect* effect);

    std::list<std::unique_ptr<QSoundEffect>> playing_;
};

}  // namespace kx
