#!/usr/bin/env bash
# The platform's tables (tests/platform) as Windows programs against the real user32 under Wine,
# as Wine's own tests run on Windows: built with mingw-w64 for x86_64 and i686, each run on one
# private Wine desktop (scripts/windows/wine-env.sh). The 64-bit run always; the 32-bit one where
# this kernel runs 32-bit programs and 32-bit Wine is installed, otherwise one line says why not.
#
# Usage: tests/windows/check_platform.sh   (about a minute; needs mingw-w64, wine64, lame, Xvfb,
#                                          xdotool, pulseaudio; wine32:i386 for the 32-bit run)
set -euo pipefail
. "$(dirname "$0")/common.sh"

winenv_start
mkdir -p "$WINENV_DIR/platform"
cd "$WINENV_DIR/platform"
ffmpeg -v error -f lavfi -i "sine=frequency=1000:duration=0.5:sample_rate=44100" -ac 2 tone.wav
lame --quiet -b 128 tone.wav tone.mp3
printf 'not a sound file\n%.0s' $(seq 300) > text.mp3

build() { # TRIPLET OUTPUT
    "$1-g++" -std=c++17 -O2 -Wall -Wextra -Wpedantic -Wshadow -Werror \
        -I "$root/src/platform/audio/include" -I "$root/tests/platform" "$here/platform_check.cpp" \
        "$root/tests/platform/core_cases.cpp" "$root/tests/platform/audio_cases.cpp" \
        "$root"/src/platform/audio/windows/*.cpp -static -luser32 -lgdi32 -lopengl32 -lwinmm \
        -lmsacm32 -o "$2"
}

run() { # NAME LOADER EXE
    local status=0
    "$2" "$3" . > "$1.log" 2> "$1.err" || status=$?
    grep -v '^ok' "$1.log" || true
    if [ "$status" -eq 0 ] && [ -s "$1.log" ]; then
        report ok "$1: every row holds ($(grep -c '^ok' "$1.log") rows)"
    else
        report FAIL "$1: $(grep -c '^FAIL' "$1.log") rows fail, exit code $status"
    fi
    winenv_errors "$1.err" && report FAIL "$1: Wine reported errors (above)"
    return 0
}

build x86_64-w64-mingw32 platform_check64.exe
run "64-bit Wine" "$WINELOADER" platform_check64.exe

if loader32=$(winenv_32bit); then
    build i686-w64-mingw32 platform_check32.exe
    run "32-bit Wine" "$loader32" platform_check32.exe
else
    echo "32-bit Wine: not run: $loader32"
fi
exit $fail
