#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the demo and the tests need,
# only those that are missing. Runs apt-get as root or through sudo.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libfreetype-dev fonts-dejavu-core fonts-dejavu-extra libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev libstb-dev libexif-dev libpixman-1-dev zlib1g-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libcpp-httplib-dev libboost-dev nlohmann-json3-dev libcli11-dev libpugixml-dev libelf-dev
    libcurl4-openssl-dev libssl-dev libheif-dev
    clang clang-format libclang-rt-14-dev valgrind
    g++-mipsel-linux-gnu qemu-user
    emscripten fonttools
    chromium
)
[ "${1:-}" = "--demo-only" ] && packages=(
    cmake ninja-build g++ pkg-config
    libfreetype-dev fonts-dejavu-core fonts-dejavu-extra libjpeg62-turbo-dev libpng-dev libexif-dev libpixman-1-dev
    libgtest-dev libgmock-dev libcpp-httplib-dev libboost-dev nlohmann-json3-dev libcli11-dev libpugixml-dev libelf-dev
    libcurl4-openssl-dev libssl-dev libheif-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
# The browser tests need node and npm; a node from elsewhere that brings its
# own npm is kept.
[ "${1:-}" != "--demo-only" ] && ! command -v npm >/dev/null && missing+=(nodejs npm)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
