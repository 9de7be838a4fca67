#!/usr/bin/env bash
# Installs what is missing, builds the piece for web browsers into build-web/bin/ (the page,
# flimrevo.js, flimrevo.wasm and the stand-in soundtrack from the Linux build), and serves that
# folder on http://localhost:8080/ until Ctrl+C. Open the address and click Play.
#
#   scripts/web.sh [PORT]        FLIMREVO_WEB_SERVE=0 builds without serving.
set -euo pipefail
cd "$(dirname "$0")/.."
port=${1:-8080}
scripts/install-deps.sh --web
# The soundtrack's synthesiser runs only natively.
cmake -S . -B build -G Ninja -DFLIMREVO_TESTS=OFF -DFLIMREVO_BENCH=OFF >/dev/null
cmake --build build --target soundtrack -j"$(nproc)"
# Debian's emscripten finds its JavaScript modules there whichever node runs it.
export NODE_PATH=/usr/share/nodejs
emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DFLIMREVO_SOUNDTRACK="$PWD/build/bin/brumlevo.mp3" >/dev/null
cmake --build build-web -j"$(nproc)"
[ "${FLIMREVO_WEB_SERVE:-1}" = 0 ] && exit 0
echo "Serving build-web/bin on http://localhost:$port/ (Ctrl+C stops)"
exec python3 -m http.server --bind 127.0.0.1 --directory build-web/bin "$port"
