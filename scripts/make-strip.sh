#!/usr/bin/env bash
# Makes docs/strip.png, the README's strip of frames: flimrevo-capture renders the piece at
# 20 frames a second up to 75 s into PNGs of 256 x 192, and ImageMagick's montage puts the frames
# at 5, 20, 31.15, 50, 60 and 75 s in a 3 x 2 grid, each labelled with its time.
#
#   scripts/make-strip.sh [BUILD_DIR]    (default: build; it must hold bin/flimrevo-capture)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
capture=$build/bin/flimrevo-capture
if [[ ! -x $capture ]]; then
    echo "make-strip: no $capture; build it first: cmake --build $build --target flimrevo-capture" >&2
    exit 1
fi
command -v montage >/dev/null || { echo "make-strip: ImageMagick's montage is missing" >&2; exit 1; }

fps=20
times=(5 20 31.15 50 60 75)
frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT

# Frame n shows n * 1000 / fps ms, so each time above is frame t * fps exactly. The run stops
# after the last of them; every earlier frame is rendered, as the cues' state carries over.
last=${times[-1]}
"$capture" --fps "$fps" --to "$(awk -v t="$last" -v f="$fps" 'BEGIN { print t + 1 / f }')" \
    --size 256x192 -o "$frames"

tiles=()
for t in "${times[@]}"; do
    n=$(awk -v t="$t" -v f="$fps" 'BEGIN { printf "%05d", t * f + 0.5 }')
    tiles+=(-label "$t s" "$frames/frame-$n.png")
done
# The labels need a font file that ImageMagick can find; without one the strip goes unlabelled.
font=()
file=$(fc-match -f '%{file}' 'DejaVu Sans' 2>/dev/null || true)
[[ -f $file ]] && font=(-font "$file")
mkdir -p docs
montage "${font[@]}" "${tiles[@]}" -tile 3x2 -geometry +4+4 -background '#202020' \
    -fill '#d0d0d0' -pointsize 14 -depth 8 -strip docs/strip.png
echo "make-strip: wrote docs/strip.png ($(du -k docs/strip.png | cut -f1) KB)"
