#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running the console
# need. With --if-missing it first checks for them and does nothing when all
# are there, so the make targets can call it every time.
set -euo pipefail

packages=(
    build-essential cmake make pkg-config
    googletest libgtest-dev
    g++-mingw-w64-x86-64-posix
    libcurl4-openssl-dev
    libsystemd-dev dbus
    python3 openssl ca-certificates
    qt6-base-dev qt6-webengine-dev qt6-multimedia-dev
    xvfb xauth xdotool x11-apps imagemagick fonts-dejavu-core fonts-liberation tesseract-ocr tesseract-ocr-eng
)

# A command or file for each package above that shows it is installed.
present() {
    command -v cmake >/dev/null &&
        command -v g++ >/dev/null &&
        command -v pkg-config >/dev/null &&
        command -v x86_64-w64-mingw32-g++-posix >/dev/null &&
        command -v python3 >/dev/null &&
        command -v openssl >/dev/null &&
        command -v xvfb-run >/dev/null &&
        command -v xdotool >/dev/null &&
        command -v import >/dev/null &&
        command -v tesseract >/dev/null &&
        command -v dbus-run-session >/dev/null &&
        [ -f /usr/include/systemd/sd-bus.h ] &&
        [ -d /usr/share/fonts/truetype/liberation ] &&
        [ -f /usr/include/gtest/gtest.h ] &&
        [ -f /usr/lib/x86_64-linux-gnu/cmake/Qt6WebEngineWidgets/Qt6WebEngineWidgetsConfig.cmake ] &&
        [ -f /usr/lib/x86_64-linux-gnu/cmake/Qt6Multimedia/Qt6MultimediaConfig.cmake ] &&
        { [ -f /usr/include/x86_64-linux-gnu/curl/curl.h ] || [ -f /usr/include/curl/curl.h ]; }
}

if [ "${1:-}" = "--if-missing" ] && present; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

echo "Installing build dependencies: ${packages[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${packages[@]}"
