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
    python3 openssl ca-certificates
)

# A command or file for each package above that shows it is installed.
present() {
    command -v cmake >/dev/null &&
        command -v g++ >/dev/null &&
        command -v pkg-config >/dev/null &&
        command -v x86_64-w64-mingw32-g++-posix >/dev/null &&
        command -v python3 >/dev/null &&
        command -v openssl >/dev/null &&
        [ -f /usr/include/gtest/gtest.h ] &&
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
