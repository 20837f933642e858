// Sounds are played without waiting, and nothing a path names can hurt the
// console: a missing file, a file that is no sound, a real sound.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/linux/qt/qt_sound.h"

namespace kx {
namespace {

namespace fs = std::filesystem;

void Put16(std::ofstream& out, std::uint16_t value) {
    out.put(static_cast<char>(value & 0xFF)).put(static_cast<char>(value >> 8));
}
void Put32(std::ofstream& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(value >> 16));
}

// A tenth of a second of silence as 8-bit mono PCM.
void WriteWave(const fs::path& path) {
    const std::uint32_t samples = 800;
    std::ofstream out(path, std::ios::binary);
    out << "RIFF";
    Put32(out, 36 + samples);
    out << "WAVEfmt ";
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, 1);
    Put32(out, 8000);
    Put32(out, 8000);
    Put16(out, 1);
    Put16(out, 8);
    out << "data";
    Put32(out, samples);
    out << std::string(samples, static_cast<char>(0x80));
}

void ServeFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

TEST(QtSoundTest, PlaysWhateverThePathNamesWithoutWaitingOrFailing) {
    const fs::path dir = fs::temp_directory_path() / ("kx_sound_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    WriteWave(dir / "rank1.wav");
    std::ofstream(dir / "broken.wav", std::ios::binary) << "RIFF not really";

    QtSound sound;
    for (const std::string& path : {(dir / "rank1.wav").string(), (dir / "broken.wav").string(),
                                   (dir / "missing.wav").string(), std::string(),
                                   dir.string()}) {
        sound.PlayAsync(path);
    }
    // The sounds finish, or fail, in the background while the UI is served.
    ServeFor(500);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kx
