#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running the console
# need. With --if-missing it first checks for them and does nothing when all
# are there, so the make targets can call it every time.
set -euo pipefail

packages=(
    build-essential cmake make ninja-build pkg-config
    clang libclang-rt-14-dev
    googletest libgtest-dev
    g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 libwine-dev nsis
    libcurl4-openssl-dev
    libsystemd-dev dbus desktop-file-utils iproute2 util-linux curl
    dpkg-dev file lintian appstream
    python3 openssl ca-certificates
    qt6-base-dev qt6-webengine-dev qt6-multimedia-dev
    xvfb xauth xdotool x11-apps imagemagick fonts-dejavu-core fonts-liberation tesseract-ocr tesseract-ocr-eng
)

# Installed means dpkg knows the package as installed, so the list above is
# the only list.
present() {
    local package status
    for package in "${packages[@]}"; do
        status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null) || return 1
        [ "$status" = "install ok installed" ] || return 1
    done
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
