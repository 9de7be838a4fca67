#!/usr/bin/env bash
# The release's downloads (scripts/release.sh), each unpacked into a new folder outside the tree
# and started there as a user would, on one private Xvfb screen with a PulseAudio null sink:
#   - the Linux folder, where the loader cannot find the system's SDL2, SDL2_mixer or any other
#     library the folder bundles: a private mount namespace (unshare -m) binds /dev/null over the
#     system's copies, which hides them from every way the loader looks (its cache, its default
#     folders, dlopen) for this process alone, needs nothing from outside, and ends with it.
#     It plays with sound and Escape ends it with 0, also through a link from elsewhere; without
#     a display, and the capture tool without ffmpeg, they say so; the capture tool renders the
#     frame at 60 s that the video is compared with;
#   - the Windows zip: both executables' PE headers, the audio calls, and the 64-bit build's whole
#     timeline under Wine (tests/windows);
#   - the web zip in headless Chromium (tests/web/web_test.py, against NATIVE-BIN);
#   - the video's streams, length and its frame at 60 s.
#
# Usage: tests/release/check.sh DIST NATIVE-BIN   (as root, for the namespace; about 5 minutes)
set -euo pipefail
. "$(dirname "$0")/../windows/common.sh"
dist=$(realpath "$1")
native=$(realpath "$2")
winenv_start
cd "$WINENV_DIR"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) && report ok "SHA256SUMS" || report FAIL "SHA256SUMS"
version=$(cd "$dist" && ls flimrevo-*-web.zip | sed 's/^flimrevo-//; s/-web.zip$//')
mkdir windows linux web elsewhere nowhere
unzip -q "$dist/flimrevo-$version-windows.zip" -d windows
tar -xzf "$dist/flimrevo-$version-linux-x86_64.tar.gz" -C linux
unzip -q "$dist/flimrevo-$version-web.zip" -d web
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
hidden timeout 20 "$native/flimrevo" > /dev/null 2>&1 && report FAIL "the system's SDL2 is not hidden" ||
    report ok "the system's SDL2 is hidden: a program linked to it does not start"
libs=$(hidden ldd "$linux"/bin/* | sed "s| (0x.*||; s|$linux/bin/\.\./lib/|$linux/lib/|")
echo "ldd of the unpacked piece, with the system's copies hidden:"
sed -n "2,/:\$/ { /:\$/d; s|$linux/|./|; p }" <<< "$libs"
stray=$(for soname in $(ls "$linux/lib"); do grep -qF "$soname => $linux/lib/$soname" <<< "$libs" || printf "%s " "$soname"; done)
[ -z "$stray" ] && ! grep -q "not found" <<< "$libs" && report ok "the programs load every bundled library from lib/" ||
    report FAIL "libraries not found, or not from lib/: $stray $(grep "not found" <<< "$libs")"

# ./flimrevo in its folder, and through a link from another folder: window, sound, Escape, 0.
ln -s "$linux/flimrevo" elsewhere/link
for start in "$linux:./flimrevo" "$PWD/nowhere:$PWD/elsewhere/link"; do
    (cd "${start%%:*}" && hidden "${start#*:}") > piece.out 2>&1 &
    pid=$!
    if window=$(winenv_await flimrevo 30 $pid); then
        sleep 3
        read -r peak _ < <(winenv_listen 1)
        [ "$peak" -ge 1000 ] && report ok "${start#*:}: the soundtrack sounds (peak $peak)" ||
            report FAIL "${start#*:}: silence on the null sink (peak $peak)"
        winenv_press "$window" Escape
    fi
    timeout 10 tail --pid=$pid -f /dev/null || kill $pid
    rc=0 && wait $pid || rc=$?
    [ "$rc" = 0 ] && report ok "${start#*:}: Escape ends it with 0" ||
        report FAIL "${start#*:}: exit code $rc, want 0: $(cat piece.out)"
done
said=$(env -u DISPLAY -u WAYLAND_DISPLAY "$linux/flimrevo" 2>&1) && rc=0 || rc=$?
[ "$rc" = 1 ] && grep -q "no display" <<< "$said" && report ok "no display: $said" ||
    report FAIL "no display: exit code $rc, $said"

# The capture tool from the folder: without ffmpeg (the launcher's tools only on PATH) it says so;
# with it, the PNG of frame 3600 (60 s at 60 fps).
mkdir tools && ln -s "$(command -v readlink)" "$(command -v dirname)" tools/
said=$(cd "$linux" && hidden env PATH="$WINENV_DIR/tools" ./flimrevo-capture -o a.mp4 2>&1) && rc=0 || rc=$?
[ "$rc" = 1 ] && grep -q "no ffmpeg on PATH" <<< "$said" && report ok "capture without ffmpeg: $said" ||
    report FAIL "capture without ffmpeg: exit code $rc, $said"
(cd "$linux" && hidden ./flimrevo-capture --from 60 --to 60.01 -o "$WINENV_DIR/png" 2> /dev/null) &&
    report ok "the capture tool renders from the folder" || report FAIL "the capture tool from the folder"

step() {
    printf -- '-- %s\n' "$1"
    shift
    "$@" || fail=1
}
step "Windows: PE headers" "$here/../windows/check_pe.sh" "$windows/flimrevo.exe" i386
step "" "$here/../windows/check_pe.sh" "$windows/flimrevo-64bit.exe" x86-64
for exe in "$windows"/*.exe; do
    objdump -p "$exe" | grep -qE '^Time/Date\s+Thu Jan  1 00:00:00 1970' &&
        report ok "$(basename "$exe"): no build time in its header" || report FAIL "$(basename "$exe"): a build time"
done
step "Windows: audio calls under Wine" "$here/../windows/check_audio.sh"
step "Windows: the 64-bit build's timeline" "$here/../windows/check_timeline.sh" "$windows" flimrevo-64bit.exe
step "Web" /usr/bin/python3 "$here/../web/web_test.py" web "$native"
step "Video" "$here/video.sh" "$dist/flimrevo-$version-1080p60.mp4" png/frame-00000.png
exit $fail
