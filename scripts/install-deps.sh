#!/usr/bin/env bash
# Installs every Debian package Spoolora needs to build, test and run.
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config python3 coreutils
    libgtest-dev libgmock-dev libbenchmark-dev
    libsdl2-dev libx11-dev libcairo2-dev libpango1.0-dev
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
    libtag1-dev libsqlite3-dev nlohmann-json3-dev
    xvfb xauth x11-utils xdotool imagemagick
    dpkg-dev file desktop-file-utils appstream dbus
    ffmpeg sox
    fonts-dejavu-core fonts-wqy-microhei fonts-kacst fonts-noto-core
    fonts-dkg-handwriting fonts-comic-neue
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo="sudo"
fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
