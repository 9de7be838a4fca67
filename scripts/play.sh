#!/usr/bin/env bash
# Installs what is missing, builds the piece and its stand-in soundtrack into build/, and plays it.
# Escape or closing the window ends it early.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DFLIMREVO_TESTS=OFF -DFLIMREVO_BENCH=OFF >/dev/null
cmake --build build --target flimrevo soundtrack -j"$(nproc)"
cd build/bin
exec ./flimrevo
