#!/usr/bin/env bash
# Installs, from Debian's archive, whatever this machine lacks to build and run the piece
# (with --web, to build it for web browsers; with --test, to build and run the tests, the capture
# tool's checks, the Windows builds and the web build's checks in headless Chromium; with
# --release, to make the release's downloads).
# Packages already installed are left alone, so a second run asks for nothing.
set -euo pipefail

run_packages=(
  build-essential cmake ninja-build pkg-config
  libsdl2-dev libsdl2-mixer-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl-mesa0
  libmp3lame-dev libpng-dev ffmpeg
)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev libmpg123-dev
  xvfb xauth xfonts-base xdotool x11-apps x11-utils x11-xserver-utils imagemagick clang-format valgrind parallel
  mingw-w64 binutils-mingw-w64 wine wine64 pulseaudio lame
  emscripten chromium chromium-driver python3-selenium python3-numpy python3-pil zip unzip
  weston
)
# The 32-bit Windows programs under Wine (the release's flimrevo.exe, the platform's tables):
# Debian's 32-bit Wine and the MP3 decoder its codec loads. Their i386 libraries take JACK 2, and
# one JACK only can be installed, so JACK 2's headers are asked for too: otherwise apt makes room
# by removing JACK 1's, and with them SDL2_mixer's headers. Wine only recommends the 32-bit GL and
# X libraries it needs to make a GL context and change the display mode, so they are named here.
i386_packages=(wine32:i386 libmpg123-0:i386 libjack-jackd2-dev
  libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386 libxrandr2:i386 libxrender1:i386 libxi6:i386
  libxcursor1:i386 libxinerama1:i386 libxxf86vm1:i386 libxcomposite1:i386 libxfixes3:i386)
web_packages=(emscripten)
release_packages=(mingw-w64 binutils-mingw-w64 emscripten zip)

packages=("${run_packages[@]}")
case "${1:-}" in
  --test) packages+=("${test_packages[@]}" "${i386_packages[@]}") ;;
  --web) packages+=("${web_packages[@]}") ;;
  --release) packages+=("${release_packages[@]}") ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Run as root, or install sudo, to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# A fresh machine knows no i386 packages until the architecture is added and the lists are read.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
