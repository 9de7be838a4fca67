#!/usr/bin/env bash
# The release's downloads, each unpacked into a new folder outside the tree and started there, on
# one private Xvfb screen with a PulseAudio null sink. The Linux folder runs with the system's
# copies of what it bundles hidden from every way the loader looks (cache, folders, dlopen):
# /dev/null bound over them in a private mount namespace (unshare -m), for that process alone.
#
# Usage: tests/release/check.sh DIST NATIVE-BIN   (as root, for the namespace; about 5 minutes)
set -euo pipefail
. "$(dirname "$0")/../windows/common.sh"
dist=$(realpath "$1")
native=$(realpath "$2")
winenv_start
cd "$WINENV_DIR"
# The sums: each file's own against its line, and a line for every download, no more.
version=$(cd "$dist" && ls flimrevo-*-web.zip | sed 's/^flimrevo-//; s/-web.zip$//')
listed=$(sed 's/^[0-9a-f]\{64\}  //' "$dist/SHA256SUMS" | sort)
present=$(cd "$dist" && ls | grep -vx SHA256SUMS | sort)
(cd "$dist" && sha256sum --quiet --strict -c SHA256SUMS) && [ "$listed" = "$present" ] &&
    report ok "SHA256SUMS: $(wc -l < "$dist/SHA256SUMS") downloads, each matching its sum" ||
    report FAIL "SHA256SUMS: the sums or the list differ (listed: $listed; present: $present)"
mkdir windows linux web elsewhere nowhere tools
unzip -q "$dist/flimrevo-$version-windows.zip" -d windows
tar -xzf "$dist/flimrevo-$version-linux-x86_64.tar.gz" -C linux
unzip -q "$dist/flimrevo-$version-web.zip" -d web
# The web zip: the site's files at its top, and nothing else.
web_files="brumlevo.mp3 flimrevo.js flimrevo.wasm icon-192.png icon-512.png index.html manifest.webmanifest page.js sw.js"
entries=$(unzip -Z1 "$dist/flimrevo-$version-web.zip" | sort | paste -sd' ')
[ "$entries" = "$web_files" ] && report ok "the web zip holds $entries" ||
    report FAIL "the web zip holds $entries, want $web_files"
windows=$PWD/windows/flimrevo-$version-windows
linux=$PWD/linux/flimrevo-$version-linux-x86_64
for info in "$windows/README.txt" "$linux/README.txt"; do
    grep -q "from 31.1 to 31.8 seconds the whole background" "$info" &&
        report ok "${info#$PWD/} warns of the flashing" || report FAIL "$info: no photosensitivity warning"
done

# Runs a command where the system's copies of the folder's libraries read as empty files.
hidden() {
    local soname path binds=""
    for soname in $(ls "$linux/lib"); do
        for path in $(ldconfig -p | awk -v n="$soname" '$1 == n { print $NF }'); do
            binds+="mount --bind /dev/null $(readlink -f "$path"); "
        done
    done
    unshare -m sh -c "$binds"'exec "$@"' sh "$@"
}
# The test build's piece is linked to the system's copies: hidden, it must fail in the loader
# itself (exit code 127 and its message), not run, nor fail later for some other reason.
said=$(hidden timeout 20 "$native/flimrevo" 2>&1) && rc=0 || rc=$?
[ "$rc" = 127 ] && grep -q "error while loading shared libraries" <<< "$said" &&
    report ok "the system's SDL2 is hidden: a program linked to it does not load: $said" ||
    report FAIL "the system's SDL2 is not hidden: exit code $rc, want 127 from the loader: $said"
libs=$(hidden ldd "$linux"/bin/* | sed "s| (0x.*||; s|$linux/bin/\.\./lib/|$linux/lib/|")
echo "ldd of the unpacked piece, with the system's copies hidden:"
sed -n "2,/:\$/ { /:\$/d; s|$linux/|./|; p }" <<< "$libs"
stray=$(for soname in $(ls "$linux/lib"); do grep -qF "$soname => $linux/lib/$soname" <<< "$libs" || printf "%s " "$soname"; done)
[ -z "$stray" ] && ! grep -q "not found" <<< "$libs" && report ok "the programs load every bundled library from lib/" ||
    report FAIL "libraries not found, or not from lib/: $stray $(grep "not found" <<< "$libs")"

# The command lines of PID and of every process below it, one a line.
command_lines() { # PID
    local child
    tr '\0' ' ' < "/proc/$1/cmdline" 2> /dev/null && echo
    for child in $(pgrep -P "$1"); do command_lines "$child"; done
}

# Each start shows a window and sounds (listened to for up to 10 s), and its arguments reach the
# program through the launcher.
ln -s "$linux/flimrevo" elsewhere/link
for start in "$linux:./flimrevo --window" "$PWD/nowhere:$PWD/elsewhere/link"; do
    read -r program args <<< "${start#*:}"
    # shellcheck disable=SC2086  # the arguments, as words
    (cd "${start%%:*}" && hidden "$program" $args) > piece.out 2>&1 &
    pid=$!
    if window=$(winenv_await flimrevo 30 $pid); then
        peak=0
        for _ in $(seq 10); do
            read -r peak _ < <(winenv_listen 1)
            [ "$peak" -ge 1000 ] && break
        done
        [ "$peak" -ge 1000 ] && report ok "${start#*:}: the soundtrack sounds (peak $peak)" ||
            report FAIL "${start#*:}: silence on the null sink (peak $peak)"
        command_lines $pid | grep -qx "\./bin/flimrevo $args *" &&
            report ok "${start#*:}: the program is started as ./bin/flimrevo $args" ||
            report FAIL "${start#*:}: the program's command line: $(command_lines $pid) $(cat piece.out)"
        winenv_press "$window" Escape || true
    else
        report FAIL "${start#*:}: no window within 30 s: $(cat piece.out)"
    fi
    timeout 10 tail --pid=$pid -f /dev/null || kill $pid
    rc=0 && wait $pid || rc=$?
    [ "$rc" = 0 ] && report ok "${start#*:}: Escape ends it with 0" ||
        report FAIL "${start#*:}: exit code $rc, want 0: $(cat piece.out)"
done
said=$(env -u DISPLAY -u WAYLAND_DISPLAY "$linux/flimrevo" 2>&1) && rc=0 || rc=$?
[ "$rc" = 1 ] && grep -q "no display" <<< "$said" && report ok "no display: $said" ||
    report FAIL "no display: exit code $rc, $said"
# Without ffmpeg: only the launcher's tools on PATH.
ln -s "$(command -v readlink)" "$(command -v dirname)" tools/
said=$(cd "$linux" && hidden env PATH="$WINENV_DIR/tools" ./flimrevo-capture -o a.mp4 2>&1) && rc=0 || rc=$?
[ "$rc" = 1 ] && grep -q "no ffmpeg on PATH" <<< "$said" && report ok "capture without ffmpeg: $said" ||
    report FAIL "capture without ffmpeg: exit code $rc, $said"
# The capture's launcher passes its arguments on as they are, spaces and all.
(cd "$linux" && hidden ./flimrevo-capture --fps 10 --to 0.2 --size 64x48 -o "$WINENV_DIR/two words" 2> /dev/null) &&
    [ "$(ls "$WINENV_DIR/two words")" = "$(printf 'frame-00000.png\nframe-00001.png')" ] &&
    report ok "the capture's launcher passes its arguments on" ||
    report FAIL "the capture's launcher: not two frames in 'two words'"

# The archives again from what they unpacked to, with every file's time made new: the same bytes,
# as the packing sets times, modes, owners and order itself. (This is the packing's part of
# scripts/release.sh --check; the builds' part, a second release build from another clone, is
# left to that command, which doubles the release's time.)
(
    . "$root/scripts/release/contents.sh"
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
    mkdir repack
    find windows linux web -exec touch {} +
    make_zip repack/windows.zip windows "flimrevo-$version-windows"
    make_tar repack/linux.tar.gz linux "flimrevo-$version-linux-x86_64"
    make_zip repack/web.zip web .
    cmp repack/windows.zip "$dist/flimrevo-$version-windows.zip" &&
        cmp repack/linux.tar.gz "$dist/flimrevo-$version-linux-x86_64.tar.gz" &&
        cmp repack/web.zip "$dist/flimrevo-$version-web.zip"
) && report ok "the archives packed again from their files: the same bytes" ||
    report FAIL "the archives packed again from their files differ (above)"

# The video's preset, made by the Linux folder's capture tool over two seconds of the piece (the
# whole video is left to scripts/release.sh: 8 minutes of processor time). Not hidden: ffmpeg
# needs some of the libraries the folder also bundles. Its frame at 60 s (frame 30 of the clip):
# the bars black but for 8 pixels (a transform block) next to the picture, where the encoder's
# ringing may reach; the picture, cut out and compared with the capture tool's PNG at 512 x 384
# (where the lattice's thin lines survive), differs by an RMSE of 0.0245 (the encoding, its 4:2:0
# colour, two rescalings), the frames 1/60 s either side by 0.049 and more: 0.035 lies between, so
# a frame off by one, shifted, stretched or in other colours fails.
video=$WINENV_DIR/at60.mp4
(cd "$linux" && ./flimrevo-capture --preset party-1080p --from 59.5 --to 60.5 -o "$video" 2> /dev/null) ||
    report FAIL "the release's capture tool made no video with --preset party-1080p"
probe() { ffprobe -v error -select_streams "$1" -show_entries "$2" -of default=nw=1:nk=1 "$video" | paste -sd' '; }
read -r codec profile width height rate length bits <<< "$(probe v:0 stream=codec_name,profile,width,height,r_frame_rate,duration,bit_rate)"
read -r audio abits <<< "$(probe a:0 stream=codec_name,bit_rate)"
[ "$codec $profile ${width}x$height $rate $audio" = "h264 High 1920x1080 60/1 aac" ] &&
    [ "${bits:-0}" -ge 6000000 ] && [ "${abits:-0}" -ge 128000 ] &&
    awk -v v="$length" 'BEGIN { exit !(v > 0.99 && v < 1.01) }' &&
    report ok "video: $codec $profile ${width}x$height at $rate fps, $bits bit/s, $audio $abits bit/s, $length s" ||
    report FAIL "video: $codec $profile ${width}x$height at $rate fps, $bits bit/s, $audio $abits bit/s, $length s, want 1 s"
(cd "$linux" && hidden ./flimrevo-capture --from 60 --to 60.01 -o "$WINENV_DIR/png" 2> /dev/null) || true
ffmpeg -v error -i "$video" -vf 'select=eq(n\,30)' -frames:v 1 -y frame.png
bars=$(convert \( frame.png -crop 232x1080+0+0 \) \( frame.png -crop 232x1080+1688+0 \) +repage -append \
    -format '%[fx:maxima]' info:)
convert frame.png -crop 1440x1080+240+0 +repage -resize '512x384!' picture.png
convert png/frame-00000.png -resize '512x384!' reference.png || true
rmse=$(compare -metric RMSE picture.png reference.png null: 2>&1 | sed 's/.*(\(.*\))/\1/' || true)
awk -v b="$bars" -v e="$rmse" 'BEGIN { exit !(b <= 0.02 && e <= 0.035) }' &&
    report ok "the frame at 60 s: bars black (brightest $bars), the picture as the capture tool's (RMSE $rmse)" ||
    report FAIL "the frame at 60 s: bars' brightest $bars (want <= 0.02), RMSE to the capture tool's $rmse (want <= 0.035)"

# The strobe in the preset's video, its flashes counted by the folder's own counting tool.
said="no video made"
(cd "$linux" && ./flimrevo-capture --preset party-1080p --from 30.6 --to 32.2 -o "$WINENV_DIR/strobe.mp4" 2> /dev/null) &&
    said=$("$linux/flimrevo-flashes" "$WINENV_DIR/strobe.mp4" 2>&1 | tail -2 | paste -sd' ') || true
grep -q "^worst second: .* fails: " <<< "$said" && report ok "the strobe's flashes in the video: $said" ||
    report FAIL "the strobe's flashes in the video: $said"

for exe in "$windows"/*.exe; do
    TZ=UTC objdump -p "$exe" | awk '/^Time\/Date/ { t = $0 } END { exit t !~ /Thu Jan  1 00:00:00 1970/ }' &&
        report ok "$(basename "$exe"): no build time in its header" || report FAIL "$(basename "$exe"): a build time"
done
"$here/check_pe.sh" "$windows/flimrevo.exe" i386 || fail=1
"$here/check_pe.sh" "$windows/flimrevo-64bit.exe" x86-64 || fail=1
"$here/check_audio.sh" || fail=1
"$here/check_timeline.sh" "$windows" flimrevo-64bit.exe || fail=1
# The 32-bit download, the piece's own target, where this kernel runs 32-bit programs: the
# platform's tables (the audio contract's among them) and the whole timeline, as the 64-bit one's.
if loader32=$(winenv_32bit); then
    "$here/check_platform.sh" || fail=1
    "$here/check_timeline.sh" "$windows" flimrevo.exe "$loader32" || fail=1
else
    echo "flimrevo.exe (32-bit) not run: $loader32"
fi
/usr/bin/python3 "$root/tests/web/web_test.py" web "$native" "$root/build-release/web/checks" || fail=1
exit $fail
