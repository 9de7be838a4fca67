#!/usr/bin/env bash
# The release's video as ffprobe and ffmpeg read it: 1920 x 1080 at 60 fps, H.264 High of at least
# 6 Mbit/s, AAC of at least 128 kbit/s, 92.7 s long within a frame; and its frame at 60 s, the
# picture cut out of its black side bars and scaled back to 1024 x 768, against flimrevo-capture's
# PNG of that frame (frame 3600 at 60 fps).
#
# Usage: tests/release/video.sh VIDEO PNG   (needs ffmpeg, imagemagick)
set -euo pipefail
. "$(dirname "$0")/../windows/common.sh"
video=$1 png=$2
probe() { # STREAM ENTRIES
    ffprobe -v error -select_streams "$1" -show_entries "$2" -of default=nw=1:nk=1 "$video" | paste -sd' '
}
read -r codec profile width height rate length bits <<< "$(probe v:0 \
    stream=codec_name,profile,width,height,r_frame_rate,bit_rate,duration)"
[ "$codec $profile ${width}x$height $rate" = "h264 High 1920x1080 60/1" ] && [ "$bits" -ge 6000000 ] &&
    report ok "video: $codec $profile ${width}x$height at $rate fps, $bits bit/s" ||
    report FAIL "video: $codec $profile ${width}x$height at $rate fps, $bits bit/s"
read -r codec bits <<< "$(probe a:0 stream=codec_name,bit_rate)"
[ "$codec" = aac ] && [ "$bits" -ge 128000 ] && report ok "sound: $codec, $bits bit/s" ||
    report FAIL "sound: $codec, $bits bit/s"
whole=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$video")
# The last frame shows 92.7 s and lasts a frame: 92.717 s. Within a frame, to the millisecond.
awk -v v="$length" -v w="$whole" 'BEGIN { exit !(v > 92.683 && v < 92.718 && w > 92.683 && w < 92.718) }' &&
    report ok "length: $length s (the file: $whole s)" ||
    report FAIL "length: $length s (the file: $whole s), want 92.7 s within 1/60 s"

# The bars are black up to 8 pixels (a transform block) from the picture, where the encoder's
# ringing may reach. The picture and the PNG are compared at 512 x 384, where the lattice's thin
# lines survive: the right frame differs from the PNG by an RMSE of 0.0245 (the encoding, its
# 4:2:0 colour and two rescalings), the frames 1/60 s either side by 0.049 and more. 0.035 lies
# between, so a frame off by one, shifted, stretched or in other colours fails.
ffmpeg -v error -ss 60 -i "$video" -frames:v 1 -y frame.png
bars=$(convert \( frame.png -crop 232x1080+0+0 \) \( frame.png -crop 232x1080+1688+0 \) +repage -append \
    -format '%[fx:maxima]' info:)
convert frame.png -crop 1440x1080+240+0 +repage -resize '512x384!' picture.png
convert "$png" -resize '512x384!' reference.png
rmse=$(compare -metric RMSE picture.png reference.png null: 2>&1 | sed 's/.*(\(.*\))/\1/' || true)
awk -v b="$bars" -v e="$rmse" 'BEGIN { exit !(b <= 0.02 && e <= 0.035) }' &&
    report ok "the frame at 60 s: side bars black (brightest $bars), the picture as captured (RMSE $rmse)" ||
    report FAIL "the frame at 60 s: side bars' brightest $bars (want <= 0.02), RMSE $rmse (want <= 0.035)"
exit $fail
