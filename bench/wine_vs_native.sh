#!/usr/bin/env bash
# Native flimrevo against our Win64 build under Wine, on one Xvfb screen of 1024 x 768 (the same
# Mesa draws both), in alternating rounds: the piece from its start to its own end (or for SECONDS
# of each run), the soundtrack on a PulseAudio null sink. Our swaps are counted by native_fps, the
# piece on our platform layer as flimrevo runs it; Wine counts its own (WINEDEBUG=+fps, the last
# "total" it reports).
#
# Usage: bench/wine_vs_native.sh LINUX-BIN WIN64-BIN [ROUNDS [SECONDS]]
#   LINUX-BIN  a Linux build's bin/ (native_fps, brumlevo.mp3)
#   WIN64-BIN  the x86_64 Windows build's bin/ (flimrevo.exe, brumlevo.mp3); see the README's
#              "Windows" section, after scripts/install-deps.sh --test
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
rounds=${3:-3}
limit=${4:-0}
# shellcheck source=../scripts/windows/wine-env.sh
source "$root/scripts/windows/wine-env.sh"
trap winenv_stop EXIT
winenv_start

run() { # COMMAND...: for SECONDS when given (a SIGTERM ends either program), else to the end
    if [ "$limit" -gt 0 ]; then timeout "$limit" "$@"; else "$@"; fi
}

ratios=()
for round in $(seq 1 "$rounds"); do
    native=$(cd "$linux" && run ./native_fps 2> /dev/null |
        sed -n 's/^native: .* \([0-9.]*\) fps$/\1/p' || true)
    wine=$(cd "$windows" && WINEDEBUG=+fps run "$WINELOADER" flimrevo.exe 2>&1 |
        sed -n 's/.*trace:fps:.*total \([0-9.]*\)fps.*/\1/p' | tail -n 1 || true)
    if [ -z "$native" ] || [ -z "$wine" ]; then
        echo "round $round: no figure (native '${native}', Wine '${wine}')" >&2
        exit 1
    fi
    ratio=$(awk -v n="$native" -v w="$wine" 'BEGIN { printf "%.3f", n / w }')
    ratios+=("$ratio")
    printf 'round %d: native %7.2f fps, Wine %7.2f fps, native / Wine %s\n' \
        "$round" "$native" "$wine" "$ratio"
done
printf 'median native / Wine over %d rounds: %s\n' "$rounds" \
    "$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ r[NR] = $1 } END { print r[int((NR + 1) / 2)] }')"
