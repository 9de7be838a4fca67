#!/usr/bin/env bash
# The Windows build under Wine, from a folder holding only flimrevo.exe and brumlevo.mp3: the
# fullscreen 1024 x 768 window comes up with no message box, the soundtrack sounds on the null
# sink, the picture moves, and the piece ends by itself with exit code 0 once 92.7 s have passed,
# with no Wine error. (The boxes of a missing soundtrack are the piece's own code, checked by the
# Linux tests; that the Windows audio calls give 0 for a missing file, by check_platform.sh.)
#
# Usage: tests/windows/check_timeline.sh DIR [EXE [LOADER]]
#        (DIR holds EXE, by default flimrevo.exe, and brumlevo.mp3; LOADER is the Wine loader that
#        runs it, by default the 64-bit one; 2 min)
set -euo pipefail
. "$(dirname "$0")/common.sh"
src=$(cd "$1" && pwd)

winenv_start
mkdir -p "$WINENV_DIR/timeline"
cd "$WINENV_DIR/timeline"
cp "$src/${2:-flimrevo.exe}" flimrevo.exe
cp "$src/brumlevo.mp3" .

# +msgbox has Wine's message box log each box's text.
WINEDEBUG=fixme-all,+msgbox "${3:-$WINELOADER}" flimrevo.exe > wine.out 2> wine.err &
pid=$!
if ! window=$(winenv_await flimrevo 30 "$pid"); then
    report FAIL "no window titled flimrevo within 30 s"
    kill "$pid" 2> /dev/null || true
    exit 1
fi
appeared=$SECONDS
geometry=$(xdotool getwindowgeometry "$window" | awk '/Position/ { p = $2 } /Geometry/ { g = $2 }
                                                     END { print p " " g }')
[ "$geometry" = "0,0 1024x768" ] && report ok "the window covers the 1024 x 768 screen" ||
    report FAIL "the window is at $geometry, want 0,0 1024x768"

# While it runs: the sound 5 s in and the picture 8 and 9 s in.
sound=""
while kill -0 "$pid" 2> /dev/null && [ $((SECONDS - appeared)) -le 150 ]; do
    now=$((SECONDS - appeared))
    [ -z "$sound" ] && [ "$now" -ge 5 ] && sound=$(winenv_listen 1)
    [ ! -f shot8.png ] && [ "$now" -ge 8 ] && winenv_shot shot8.png
    [ -f shot8.png ] && [ ! -f shot9.png ] && [ "$now" -ge 9 ] && winenv_shot shot9.png
    sleep 0.25
done
sound=${sound:-0 0}
kill "$pid" 2> /dev/null && report FAIL "still running 150 s after its window appeared"
rc=0
wait "$pid" || rc=$?
ran=$((SECONDS - appeared))

[ "$rc" -eq 0 ] && report ok "exit code 0" || report FAIL "exit code $rc, want 0"
# Its clock starts as the soundtrack starts, after the window opened; start-up and the last frame
# take well under the slack allowed after 92.7 s.
[ "$ran" -ge 92 ] && [ "$ran" -le 101 ] && report ok "ended by itself $ran s after its window appeared" ||
    report FAIL "ended $ran s after its window appeared, want 92.7 to 100.7 s"
[ "${sound%% *}" -ge 1000 ] && report ok "the soundtrack sounds on the null sink (peak ${sound%% *})" ||
    report FAIL "silence on the null sink 5 s in (peak ${sound%% *})"
lit=$(convert shot8.png -format '%[fx:maxima]' info: 2> /dev/null || echo 0)
moved=$(compare -metric AE shot8.png shot9.png null: 2>&1 || true)
awk -v l="$lit" -v m="$moved" 'BEGIN { exit !(l > 0.2 && m > 1000) }' &&
    report ok "the picture is drawn and moves (brightest $lit, $moved pixels changed in 1 s)" ||
    report FAIL "the picture: brightest $lit (want > 0.2), $moved pixels changed (want > 1000)"
! grep -q MSGBOX_OnInit wine.err && report ok "no message box" ||
    report FAIL "message boxes: $(grep MSGBOX_OnInit wine.err | sed 's/.*OnInit //' | tr '\n' ' ')"
winenv_errors wine.err && report FAIL "Wine reported errors (above)"
exit $fail
