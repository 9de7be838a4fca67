#!/usr/bin/env bash
# Makes the README's strips of frames with flimrevo-capture and ImageMagick's montage:
#   docs/strip.png         the piece at 5, 20, 31.15, 50, 60 and 75 s, 256 x 192 each, in a
#                          3 x 2 grid (rendered at 20 frames a second up to 75 s);
#   docs/detail-strip.png  (--detail) what the 4K preset adds, at four moments: the same
#                          160 x 120 patch from the middle of the picture twice, at one scale,
#                          the plain 1024 x 768 capture's pixels enlarged 2.8125 times without
#                          smoothing beside --preset youtube-4k --motion-blur 8 (3840 x 2160, the
#                          2880 x 2160 picture drawn at twice that and averaged down, 8 sub-frames
#                          over a 180-degree shutter) pixel for pixel.
#   docs/sharp-strip.png   (--sharp) the fullscreen picture on a 1920 x 1080 screen, before and
#                          after it was drawn at the screen's pixels, at three moments: the same
#                          180 x 135 patch of the screen, enlarged twice without smoothing; before,
#                          the 1024 x 768 capture enlarged 1.40625 times with linear filtering (as
#                          the stretched look shows it); after, the capture at 1440 x 1080, which
#                          is what the screen now shows (tests/e2e/screen_pixels_test.cpp).
#
#   scripts/make-strip.sh [--detail | --sharp] [BUILD_DIR]    (default: build; it must hold bin/flimrevo-capture)
set -euo pipefail
cd "$(dirname "$0")/.."
detail=0
[[ ${1:-} == --detail ]] && detail=1 && shift
[[ ${1:-} == --sharp ]] && detail=2 && shift
build=${1:-build}
capture=$build/bin/flimrevo-capture
if [[ ! -x $capture ]]; then
    echo "make-strip: no $capture; build it first: cmake --build $build --target flimrevo-capture" >&2
    exit 1
fi
capture=$(realpath "$capture")
command -v montage >/dev/null || { echo "make-strip: ImageMagick's montage is missing" >&2; exit 1; }
frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT
ln -s "$(realpath "$build/bin/brumlevo.mp3")" "$frames/brumlevo.mp3"

# montage OUT COLUMNSxROWS (-label TEXT FILE)...: the tiles labelled, on a dark ground.
grid() {
    local out=$1 tile=$2 font=() file
    shift 2
    # The labels need a font file that ImageMagick can find; without one the strip goes unlabelled.
    file=$(fc-match -f '%{file}' 'DejaVu Sans' 2>/dev/null || true)
    [[ -f $file ]] && font=(-font "$file")
    mkdir -p docs
    montage "${font[@]}" "$@" -tile "$tile" -geometry +4+4 -background '#202020' \
        -fill '#d0d0d0' -pointsize 14 -depth 8 -strip "$out"
    echo "make-strip: wrote $out ($(du -k "$out" | cut -f1) KB)"
}

if [[ $detail == 0 ]]; then
    fps=20
    times=(5 20 31.15 50 60 75)
    # Frame n shows n * 1000 / fps ms, so each time above is frame t * fps exactly. The run stops
    # after the last of them; every earlier frame is rendered, as the cues' state carries over.
    to=$(awk -v t="${times[-1]}" -v f="$fps" 'BEGIN { print t + 1 / f }')
    (cd "$frames" && "$capture" --fps "$fps" --to "$to" --size 256x192 -o all)
    tiles=()
    for t in "${times[@]}"; do
        n=$(awk -v t="$t" -v f="$fps" 'BEGIN { printf "%05d", t * f + 0.5 }')
        tiles+=(-label "$t s" "$frames/all/frame-$n.png")
    done
    grid docs/strip.png 3x2 "${tiles[@]}"
    exit 0
fi

if [[ $detail == 2 ]]; then
    tiles=()
    for t in 9 50 60; do
        to=$(awk -v t="$t" 'BEGIN { print t + 0.01 }')
        (cd "$frames" && "$capture" --from "$t" --to "$to" -o "old-$t" 2> /dev/null &&
            "$capture" --size 1440x1080 --from "$t" --to "$to" -o "sharp-$t" 2> /dev/null)
        convert "$frames/old-$t/frame-00000.png" -filter Triangle -resize 1440x1080! \
            -crop 180x135+630+472 +repage -filter point -resize 360x270! "$frames/a-$t.png"
        convert "$frames/sharp-$t/frame-00000.png" -crop 180x135+630+472 +repage -filter point \
            -resize 360x270! "$frames/b-$t.png"
        tiles+=(-label "$t s: stretched (--pixels 1024x768)" "$frames/a-$t.png"
            -label "$t s: at the screen's pixels" "$frames/b-$t.png")
    done
    grid docs/sharp-strip.png 2x3 "${tiles[@]}"
    exit 0
fi

# The patch at 1024 x 768, and where it lies in the 4K frame: the picture starts 480 pixels in
# and is 2160 / 768 = 2.8125 times as large.
x=432 y=324 w=160 h=120 big_w=450 big_h=338
big_x=$(awk -v x="$x" 'BEGIN { printf "%d", 480 + x * 2.8125 }')
big_y=$(awk -v y="$y" 'BEGIN { printf "%d", y * 2.8125 }')
tiles=()
for t in 6 31.15 50 60; do
    to=$(awk -v t="$t" 'BEGIN { print t + 0.01 }')
    (cd "$frames" && "$capture" --from "$t" --to "$to" -o "plain-$t" 2> /dev/null &&
        "$capture" --preset youtube-4k --motion-blur 8 --from "$t" --to "$to" -o "4k-$t" 2> /dev/null)
    convert "$frames/plain-$t/frame-00000.png" -crop "${w}x$h+$x+$y" +repage -filter point \
        -resize "${big_w}x$big_h!" "$frames/a-$t.png"
    convert "$frames/4k-$t/frame-00000.png" -crop "${big_w}x$big_h+$big_x+$big_y" +repage \
        "$frames/b-$t.png"
    tiles+=(-label "$t s: 1024 x 768" "$frames/a-$t.png"
        -label "$t s: youtube-4k, motion blur 8" "$frames/b-$t.png")
done
grid docs/detail-strip.png 2x4 "${tiles[@]}"
