#include "platform/linux/qt/qt_sound.h"

#include <QApplication>
#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include "platform/linux/posix_processes.h"
#include "platform/linux/qt/qt_text.h"

namespace kx {

QtSound::QtSound() = default;
QtSound::~QtSound() = default;

void QtSound::PlayAsync(std::string_view path) {
    const QString file = AnsiToQString(NativePath(path));
    // Without an output device an effect has nowhere to play (and Qt's
    // multimedia leaves events behind that crash the application's exit).
    if (file.isEmpty() || !QFileInfo(file).isFile() || QMediaDevices::defaultAudioOutput().isNull()) {
        QApplication::beep();
        return;
    }
    auto effect = std::make_unique<QSoundEffect>();
    QSoundEffect* raw = effect.get();
    // A file that turns out not to be a sound still gives the default sound.
    QObject::connect(raw, &QSoundEffect::statusChanged, raw, [this, raw] {
        if (raw->status() == QSoundEffect::Error) {
            QApplication::beep();
            Forget(raw);
        }
    });
    QObject::connect(raw, &QSoundEffect::playingChanged, raw, [this, raw] {
        if (!raw->isPlaying() && raw->status() == QSoundEffect::Ready) Forget(raw);
    });
    raw->setSource(QUrl::fromLocalFile(file));
    raw->play();
    playing_.push_back(std::move(effect));
}

void QtSound::Forget(QSoundEffect* effect) {
    // Deleted later: this runs inside the effect's own signal.
    for (auto it = playing_.begin(); it != playing_.end(); ++it) {
        if (it->get() == effect) {
            it->release()->deleteLater();
            playing_.erase(it);
            return;
        }
    }
}

}  // namespace kx
