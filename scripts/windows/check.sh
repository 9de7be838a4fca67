#!/usr/bin/env bash
# The Windows builds from the same source, and their checks (CI runs this; about 5 minutes):
#   1. a Linux build of the soundtrack tool makes brumlevo.mp3           (build-winhost/)
#   2. cross builds with mingw-w64 for i686 and x86_64, each with that   (build-win32/, build-win64/)
#      brumlevo.mp3 copied beside its flimrevo.exe
#   3. both executables' PE headers: machine, GUI subsystem, system DLLs only
#   4. under Wine, on one private Xvfb screen, PulseAudio null sink and Wine prefix: the
#      platform's tables against the real user32 (64-bit, and 32-bit where the kernel runs 32-bit
#      programs), the audio backend's calls and sound, and the x86_64 build's whole timeline.
#
# Usage: scripts/windows/check.sh        (from anywhere; builds incrementally, exit 1 on a failure)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
jobs=$(nproc)

failed=()
step() { # NAME COMMAND...
    local name=$1 t0=$SECONDS
    shift
    printf '== %s\n' "$name"
    if "$@"; then
        printf '== %s: passed (%d s)\n' "$name" $((SECONDS - t0))
    else
        printf '== %s: FAILED (%d s)\n' "$name" $((SECONDS - t0))
        failed+=("$name")
    fi
}

# Configures DIR (Ninja when it is new and Ninja is there) and builds TARGETS, quietly unless
# something goes wrong.
build() { # DIR "TARGETS" CMAKE-ARGS...
    local dir=$1 targets=$2 log generator=()
    shift 2
    mkdir -p "$dir"
    log="$dir/check-build.log"
    if [ ! -f "$dir/CMakeCache.txt" ] && command -v ninja > /dev/null; then
        generator=(-G Ninja)
    fi
    # shellcheck disable=SC2086
    if cmake -S . -B "$dir" "${generator[@]}" "$@" > "$log" 2>&1 &&
        cmake --build "$dir" -j "$jobs" ${targets:+--target $targets} >> "$log" 2>&1; then
        echo "built $dir"
    else
        tail -40 "$log"
        return 1
    fi
}

step "soundtrack (Linux build)" build build-winhost soundtrack \
    -DFLIMREVO_TESTS=OFF -DFLIMREVO_BENCH=OFF
soundtrack="$root/build-winhost/bin/brumlevo.mp3"
step "i686 build" build build-win32 "" \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake -DFLIMREVO_SOUNDTRACK="$soundtrack"
step "x86_64 build" build build-win64 "" \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake -DFLIMREVO_SOUNDTRACK="$soundtrack"

step "i686 PE header" tests/windows/check_pe.sh build-win32/bin/flimrevo.exe i386
step "x86_64 PE header" tests/windows/check_pe.sh build-win64/bin/flimrevo.exe x86-64

if [ -f build-win64/bin/flimrevo.exe ] && [ -f build-win64/bin/brumlevo.mp3 ]; then
    . scripts/windows/wine-env.sh
    t0=$SECONDS
    if winenv_start; then
        echo "Wine desktop ready in $((SECONDS - t0)) s"
        step "platform tables under Wine" tests/windows/check_platform.sh
        step "audio backend under Wine" tests/windows/check_audio.sh
        step "whole timeline under Wine" tests/windows/check_timeline.sh build-win64/bin
    else
        failed+=("Wine desktop")
    fi
else
    failed+=("Wine checks (no x86_64 build)")
fi

if [ ${#failed[@]} -eq 0 ]; then
    echo "Windows checks: all passed ($SECONDS s)"
else
    printf 'Windows checks: FAILED: %s\n' "$(IFS=,; echo "${failed[*]}")"
    exit 1
fi
