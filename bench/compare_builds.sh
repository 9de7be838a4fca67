#!/usr/bin/env bash
# Two builds of the project against each other in one run, round by round and in turn, so that a
# busy machine slows both alike; each figure is given as the new build's over the old one's:
#   - the piece's frame rate, headless (timeline_bench: the piece's frames a second, best round);
#   - the capture's throughput (capture_bench: the whole piece at 10 fps, rendered and read back,
#     and as the MP4);
#   - the pictures: the capture's PNG frames of the whole piece at 5 fps from each build, compared
#     byte for byte with cmp.
#
# Usage: bench/compare_builds.sh OLD-BIN NEW-BIN [ROUNDS]
#   OLD-BIN, NEW-BIN  two builds' bin/ folders (timeline_bench, capture_bench, flimrevo-capture,
#                     brumlevo.mp3)
set -euo pipefail
old=$(cd "$1" && pwd)
new=$(cd "$2" && pwd)
rounds=${3:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# BIN: "PIECE-FPS RENDER-FPS MP4-FPS" for one round of each benchmark.
measure() {
    local piece capture
    piece=$(cd "$1" && ./timeline_bench --rounds=1 | awk '$1 == "1" { print $2 }')
    capture=$(cd "$1" && ./capture_bench)
    printf '%s %s %s\n' "$piece" \
        "$(awk '/render \+ read-back/ { print $(NF - 8) }' <<< "$capture")" \
        "$(awk '/encoder/ { print $(NF - 8) }' <<< "$capture")"
}

printf 'round  %-26s %-26s\n' "old: piece render mp4 fps" "new: piece render mp4 fps"
for round in $(seq 1 "$rounds"); do
    read -r op or om <<< "$(measure "$old")"
    read -r np nr nm <<< "$(measure "$new")"
    printf '%5d  %7.1f %7.1f %7.1f    %7.1f %7.1f %7.1f\n' "$round" "$op" "$or" "$om" "$np" "$nr" "$nm"
    echo "$op $or $om $np $nr $nm" >> "$work/rounds"
done
# The best round of each, as timeline_bench counts its own.
awk '{ for (i = 1; i <= 6; ++i) if ($i > b[i]) b[i] = $i }
     END { printf "new / old (best rounds): piece %.3f, capture rendered %.3f, capture MP4 %.3f\n",
                  b[4] / b[1], b[5] / b[2], b[6] / b[3] }' "$work/rounds"

for build in old new; do
    dir=$old && [ $build = new ] && dir=$new
    mkdir "$work/$build"
    ln -s "$dir/brumlevo.mp3" "$work/$build/brumlevo.mp3"
    (cd "$work/$build" && "$dir/flimrevo-capture" --fps 5 -o frames 2> /dev/null)
done
count=$(ls "$work/old/frames" | wc -l)
differ=0
for frame in "$work"/old/frames/*.png; do
    cmp -s "$frame" "$work/new/frames/$(basename "$frame")" || differ=$((differ + 1))
done
[ "$count" = "$(ls "$work/new/frames" | wc -l)" ] || differ=$((differ + 1))
echo "pictures: $count PNG frames at 5 fps, $differ differ"
[ "$differ" = 0 ]
