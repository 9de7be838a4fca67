#!/usr/bin/env bash
# Two builds of the project against each other in one run, round by round and in turn, so that a
# busy machine slows both alike; each figure is given as the new build's over the old one's:
#   - the piece's frame rate, headless (timeline_bench: the piece's frames a second);
#   - the capture's throughput (capture_bench: the whole piece at 10 fps, rendered and read back,
#     and as the MP4);
#   each also as processor time a frame, which other work on the machine disturbs less;
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

# BIN: one round of each benchmark, as frames a second and processor milliseconds a frame (all of
# the process's threads, and ffmpeg's for the MP4), which a busy machine disturbs less:
# "PIECE-FPS PIECE-CPU RENDER-FPS RENDER-CPU MP4-FPS MP4-CPU".
measure() {
    local piece capture
    piece=$(cd "$1" && ./timeline_bench --rounds=1 | awk '$1 == "1" { gsub(/[()]/, ""); print $2, $3 }')
    capture=$(cd "$1" && ./capture_bench)
    printf '%s %s %s\n' "$piece" \
        "$(awk '/render \+ read-back/ { print $(NF - 8), 1000 * $(NF - 4) / $(NF - 12) }' <<< "$capture")" \
        "$(awk '/encoder/ { print $(NF - 8), 1000 * ($(NF - 4) + $(NF - 1)) / $(NF - 12) }' <<< "$capture")"
}

printf 'round  %-40s %-40s\n' "old: fps (cpu ms/frame) piece render mp4" "new: the same"
for round in $(seq 1 "$rounds"); do
    old_figures=$(measure "$old")
    new_figures=$(measure "$new")
    echo "$old_figures $new_figures" >> "$work/rounds"
    awk -v r="$round" '{ printf "%5d ", r; for (i = 1; i <= 12; i += 2) printf " %6.1f (%5.2f)%s", $i, $(i + 1), i == 5 ? "   " : ""; print "" }' \
        <<< "$old_figures $new_figures"
done
# The best round of each: the highest rate, the least processor time.
awk '{ for (i = 1; i <= 12; ++i) if (NR == 1 || (i % 2 ? $i > b[i] : $i < b[i])) b[i] = $i }
     END { printf "new / old, best rounds: piece %.3f fps, %.3f cpu; capture rendered %.3f fps, %.3f cpu; MP4 %.3f fps, %.3f cpu\n",
                  b[7] / b[1], b[8] / b[2], b[9] / b[3], b[10] / b[4], b[11] / b[5], b[12] / b[6] }' "$work/rounds"

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
