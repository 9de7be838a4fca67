#!/usr/bin/env bash
# The Windows audio backend under Wine: builds bass_check.cpp for x86_64, makes 1 kHz tones with
# lame in the three MPEG versions, plays them and listens on the null sink: the right pitch at the right level after the file's end with the loop flag (so
# the decoder's rate and channels reach the device intact), and silence without it.
#
# Usage: tests/windows/check_audio.sh   (about 30 s; needs mingw-w64, wine64, lame, ffmpeg,
#                                       Xvfb, xdotool, pulseaudio)
set -euo pipefail
. "$(dirname "$0")/common.sh"

winenv_start
mkdir -p "$WINENV_DIR/audio"
cd "$WINENV_DIR/audio"
x86_64-w64-mingw32-g++ -std=c++17 -O2 -Wall -Wextra -Wpedantic -Wshadow -Werror \
    -I "$root/src/platform/audio/include" "$here/bass_check.cpp" \
    "$root"/src/platform/audio/windows/*.cpp -static -lwinmm -lmsacm32 -o bass_check.exe

# Tones at half scale (a peak of 16384), 1 s each.
ffmpeg -v error -f lavfi -i "aevalsrc=0.5*sin(2*PI*1000*t)|0.5*sin(2*PI*1000*t):s=44100:d=1" \
    -c:a pcm_s16le tone.wav
lame --quiet -b 128 --add-id3v2 --tt "test tone" tone.wav tone44_stereo.mp3
lame --quiet -m m --resample 22.05 -b 64 tone.wav tone22_mono.mp3
lame --quiet -t -m m --resample 8 -b 32 tone.wav tone8_mono.mp3

# Plays FILE (loop|once) and listens to a second of samples from 2 s after the play call, and to
# up to TRIES - 1 more seconds while it is not silent: "PEAK HZ FRAMES" of the last. The player
# plays on until told to stop, so a slow start or a slow listener cannot cut the sound short; the
# start is waited for up to 60 s and its time said on standard error.
listen() { # FILE MODE [TRIES]
    rm -f stop play.out # an earlier run's "playing" must not count
    winenv_wine bass_check.exe play "$1" "$2" > play.out 2>> play.err &
    local pid=$! start=$SECONDS
    while ! grep -qs playing play.out && kill -0 "$pid" 2> /dev/null && [ $((SECONDS - start)) -lt 60 ]; do
        sleep 0.05
    done
    echo "$1 $2: playing after $((SECONDS - start)) s" >&2
    local heard="0 0 0" try
    if grep -qs playing play.out && sleep 2; then
        for try in $(seq "${3:-1}"); do
            heard=$(winenv_listen 1)
            [ "${heard%% *}" -le 50 ] && break
        done
    fi
    echo "$heard"
    touch stop
    wait "$pid" || true
}

# A looping 1 s file still sounds 2 s in, at 1 kHz within 3 per cent (a wrong rate given to the
# device would shift it by the ratio of two rates), at 16384 within 20 per cent (the codec's
# filters change the peak a little; a wrong channel count or sample format would not pass).
for file in tone44_stereo.mp3 tone22_mono.mp3 tone8_mono.mp3; do
    listen "$file" loop > heard.txt # to its end: the player stopped before the next starts
    read -r peak hz frames < heard.txt
    if [ "$peak" -ge 13107 ] && [ "$peak" -le 19661 ] && [ "$hz" -ge 970 ] && [ "$hz" -le 1030 ]; then
        report ok "$file loops: peak $peak, $hz Hz"
    else
        report FAIL "$file loops: peak $peak (want about 16384), $hz Hz (want about 1000)"
    fi
done
# Without it, the stream ends: silence within ten seconds (a busy machine delays the sound).
listen tone44_stereo.mp3 once 10 > heard.txt
read -r peak _ frames < heard.txt
[ "$peak" -le 50 ] && [ "$frames" = 44100 ] &&
    report ok "without the loop flag the stream ends: peak $peak over $frames frames" ||
    report FAIL "without the loop flag the stream ends: peak $peak over $frames frames (want silence over 44100)"

winenv_errors play.err && report FAIL "Wine reported errors (above)"
exit $fail
