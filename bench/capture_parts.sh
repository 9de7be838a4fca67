#!/usr/bin/env bash
# The capture split into parts against one process, in one run on this machine: the whole piece
# (or what the options say) lossless, once by one process, once as N parts on N processes at a
# time (GNU parallel) and their join; the wall times and their ratio, the join counted in. The
# frames of both are checked to be the same (ffmpeg's framemd5).
#
#   bench/capture_parts.sh [-n N] [CAPTURE OPTIONS...]      (run in <build>/bin)
#
# Default: 2 parts, the whole piece at 60 fps, 1024 x 768. Options such as --fps 10 or --to 20
# make a quicker run.
set -euo pipefail
parts=2
if [ "${1:-}" = -n ]; then parts=$2; shift 2; fi
capture=$PWD/flimrevo-capture
[ -x "$capture" ] && [ -f brumlevo.mp3 ] || { echo "run in <build>/bin" >&2; exit 2; }
work=$(mktemp -d /tmp/capture-parts-XXXXXX)
trap 'rm -rf "$work"' EXIT
ln -s "$PWD/brumlevo.mp3" "$work/brumlevo.mp3"
cd "$work"

now() { date +%s.%N; }
seconds() { echo "$2 - $1" | bc; }

t0=$(now)
"$capture" "$@" -o whole.mkv 2>/dev/null
t1=$(now)
parallel --will-cite -j"$parts" --halt now,fail=1 "$capture" "$@" --segment {}/"$parts" \
    -o part{}.mkv ::: $(seq "$parts") 2>/dev/null
t2=$(now)
"$capture" --join $(seq -f part%g.mkv "$parts") -o joined.mkv 2>/dev/null
t3=$(now)

ffmpeg -v error -i whole.mkv -f framemd5 whole.md5
ffmpeg -v error -i joined.mkv -f framemd5 joined.md5
same=$(cmp -s whole.md5 joined.md5 && echo "the same frames and sound" || echo "DIFFERENT frames")
one=$(seconds "$t0" "$t1")
split=$(seconds "$t1" "$t3")
printf 'one process         %8.2f s\n' "$one"
printf '%d parts, %d at once %8.2f s (the parts %.2f s, the join %.2f s)\n' "$parts" "$parts" \
    "$split" "$(seconds "$t1" "$t2")" "$(seconds "$t2" "$t3")"
printf 'speed-up            %8.2fx  (%s)\n' "$(echo "$one / $split" | bc -l)" "$same"
