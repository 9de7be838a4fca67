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
# shellcheck source=scripts/windows/wine-env.sh
source "$root/scripts/windows/wine-env.sh"
trap winenv_stop EXIT
winenv_start

# COMMAND... timed, for SECONDS when given (a SIGTERM ends either program), else to its end.
run() {
    if [ "$limit" -gt 0 ]; then
        /usr/bin/time -f 'cpu %U %S' timeout "$limit" "$@"
    else
        /usr/bin/time -f 'cpu %U %S' "$@"
    fi
}

# Processor time per frame too (all the program's threads: the piece, GL's rasteriser, the
# sound), which a busy machine disturbs less than the frame rate: ours from native_fps, Wine's
# frames from its last total rate and the time between its first report (at its first frame) and
# its last.
stamp() { while IFS= read -r line; do printf '%s %s\n' "$(date +%s.%N)" "$line"; done; }
ratios=()
for round in $(seq 1 "$rounds"); do
    out=$(cd "$linux" && { run ./native_fps 2>&1 || true; })
    native=$(sed -n 's/^native: .* \([0-9.]*\) fps$/\1/p' <<< "$out")
    nativeCpu=$(awk '/^native:/ { f = $2 } /^cpu / { c = $2 + $3 } END { if (f) printf "%.2f", 1000 * c / f }' <<< "$out")
    out=$(cd "$windows" && { WINEDEBUG=+fps run "$WINELOADER" flimrevo.exe 2>&1 | stamp || true; })
    wine=$(sed -n 's/.*trace:fps:.*total \([0-9.]*\)fps.*/\1/p' <<< "$out" | tail -n 1)
    wineCpu=$(awk '/trace:fps:/ { if (!t0) t0 = $1; t1 = $1; match($0, /total [0-9.]+/); r = substr($0, RSTART + 6, RLENGTH - 6) }
                   / cpu [0-9.]+ [0-9.]+$/ { c = $(NF - 1) + $NF }
                   END { f = r * (t1 - t0); if (f > 0) printf "%.2f", 1000 * c / f }' <<< "$out")
    if [ -z "$native" ] || [ -z "$wine" ]; then
        echo "round $round: no figure (native '${native}', Wine '${wine}')" >&2
        exit 1
    fi
    ratio=$(awk -v n="$native" -v w="$wine" 'BEGIN { printf "%.3f", n / w }')
    ratios+=("$ratio")
    printf 'round %d: native %7.2f fps (%s ms cpu/frame), Wine %7.2f fps (%s ms cpu/frame), native / Wine %s\n' \
        "$round" "$native" "$nativeCpu" "$wine" "$wineCpu" "$ratio"
done
printf 'median native / Wine over %d rounds: %s\n' "$rounds" \
    "$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ r[NR] = $1 } END { print r[int((NR + 1) / 2)] }')"
