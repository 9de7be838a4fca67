#!/bin/sh
# The share of the frame loop's instructions that the piece's own code executes, under callgrind.
# Usage: callgrind_share.sh <build>/bin [step-ms]   (default: a frame every 1000 ms of the piece)
# Costs before the first presented frame (start-up, shader compilation) are zeroed by the
# benchmark itself; the dump it takes after the loop is the one read here.
set -eu
bin=$1
step=${2:-1000}
out=$(mktemp -d)
cd "$bin"
valgrind --tool=callgrind --callgrind-out-file="$out/cg.out" \
    ./timeline_bench --callgrind --step-ms="$step" >"$out/log" 2>&1 || { cat "$out/log"; exit 1; }
dump=$(ls "$out"/cg.out.* | head -n 1)
# Self cost per file:function; the piece's own code is what lives under src/ outside the platform.
callgrind_annotate --threshold=100 --inclusive=no --auto=no "$dump" >"$out/annotate"
awk '
    /^ *[0-9,]+ .*PROGRAM TOTALS/ { gsub(",", "", $1); total = $1 }
    /^ *[0-9,]+ +\(.*\) / || /^ *[0-9,]+ +[^ ]+:/ {
        n = $1; gsub(",", "", n)
        if ($0 ~ /\/src\/(timeline|geometry|driver|window|audio)\//) { ours += n }
        if ($0 ~ /\/src\/timeline\//) { timeline += n }
        if ($0 ~ /\/src\/geometry\//) { geometry += n }
        if ($0 ~ /__sin|__cos/) { sine += n }
    }
    END {
        printf "frame loop instructions: %.0f\n", total
        printf "own code (timeline, geometry, driver, window): %.2f%%\n", 100 * ours / total
        printf "  timeline %.2f%%, geometry %.2f%%\n", 100 * timeline / total, 100 * geometry / total
        printf "libm sine, called by the timeline: %.2f%%\n", 100 * sine / total
    }' "$out/annotate"
grep "frames" "$out/log" || true
echo "profile: $dump"
