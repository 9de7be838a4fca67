#!/usr/bin/env bash
# The Windows audio backend under Wine, through its three calls: builds tests/windows/bass_check.cpp
# with the backend for x86_64, makes test MP3 files with lame, checks the calls' answers (also
# with no audio device at all), then plays 1 kHz tones and listens on the null sink: the right
# pitch at the right level (so the decoder's rate and channels reach the device intact), sound
# again after the file's end with the loop flag, and silence after it without.
#
# Usage: tests/windows/check_audio.sh          (about 30 s; needs mingw-w64, wine64, lame, ffmpeg,
#                                              Xvfb, xdotool, pulseaudio)
set -euo pipefail
. "$(dirname "$0")/common.sh"

winenv_start
work="$WINENV_DIR/audio"
mkdir -p "$work"

x86_64-w64-mingw32-g++ -std=c++17 -O2 -Wall -Wextra -Wpedantic -Wshadow -Werror \
    -I "$root/src/platform/audio/include" \
    "$here/bass_check.cpp" "$root"/src/platform/audio/windows/*.cpp \
    -static -lwinmm -lmsacm32 -o "$work/bass_check.exe"

# 1 kHz tones at half scale, so a peak of 0.5 * 32768 = 16384: 1 s each, in the three MPEG
# versions.
ffmpeg -v error -f lavfi -i "aevalsrc=0.5*sin(2*PI*1000*t)|0.5*sin(2*PI*1000*t):s=44100:d=1" \
    -c:a pcm_s16le "$work/tone.wav"
lame --quiet -b 128 --add-id3v2 --tt "test tone" "$work/tone.wav" "$work/tone44_stereo.mp3"
lame --quiet -m m --resample 22.05 -b 64 "$work/tone.wav" "$work/tone22_mono.mp3"
lame --quiet -t -m m --resample 8 -b 32 "$work/tone.wav" "$work/tone8_mono.mp3"

cd "$work"
if winenv_wine bass_check.exe api . > api.log 2> api.err; then
    report ok "the calls' answers ($(grep -c '^ok' api.log) checks)"
else
    grep -v '^ok' api.log || true
    report FAIL "the calls' answers"
fi
# Wine's pulse driver finds no server there, so Wine has no audio device at all.
if PULSE_SERVER="unix:$WINENV_DIR/nowhere.sock" winenv_wine bass_check.exe nodevice \
    tone44_stereo.mp3 > nodevice.log 2> nodevice.err; then
    report ok "with no device ($(grep -c '^ok' nodevice.log) checks)"
else
    grep -v '^ok' nodevice.log || true
    report FAIL "with no device"
fi

# Plays FILE (loop|once) and listens from 2.0 to 3.0 s after the play call: "PEAK HZ".
listen() {
    local out="$work/play.out"
    : > "$out"
    winenv_wine bass_check.exe play "$1" "$2" > "$out" 2>> "$work/play.err" &
    local pid=$! i
    for i in $(seq 200); do
        grep -q playing "$out" && break
        kill -0 "$pid" 2> /dev/null || break
        sleep 0.05
    done
    if ! grep -q playing "$out"; then
        cat "$out" "$work/play.err" >&2
        wait "$pid" || true
        echo "0 0"
        return
    fi
    sleep 2
    winenv_listen 1
    wait "$pid" || true
}

within() { # VALUE LOW HIGH
    [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]
}

# A looping 1 s file still sounds 2 s in, at 1 kHz within 3 per cent (a wrong rate given to the
# device would shift it by the ratio of two rates), at 16384 within 20 per cent (the codec's
# filters change the peak a little; a wrong channel count or sample format would not pass).
for file in tone44_stereo.mp3 tone22_mono.mp3 tone8_mono.mp3; do
    read -r peak hz < <(listen "$file" loop)
    if within "$peak" 13107 19661 && within "$hz" 970 1030; then
        report ok "$file loops: peak $peak, $hz Hz"
    else
        report FAIL "$file loops: peak $peak (want about 16384), $hz Hz (want about 1000)"
    fi
done
read -r peak hz < <(listen tone44_stereo.mp3 once)
if within "$peak" 0 50; then
    report ok "without the loop flag the stream ends: peak $peak"
else
    report FAIL "without the loop flag the stream ends: peak $peak (want silence)"
fi

# Without a device, Wine says so on its error channel; that and nothing else is expected.
if cat api.err play.err | winenv_errors /dev/stdin ||
    winenv_errors nodevice.err | grep -vE ':err:(mmdevapi|ole):'; then
    report FAIL "Wine reported errors (above)"
fi
exit $fail
