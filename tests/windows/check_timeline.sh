#!/usr/bin/env bash
# The Windows build's whole timeline under Wine, from a folder holding only flimrevo.exe and
# brumlevo.mp3: the fullscreen 1024 x 768 window comes up with no message box (so the device and
# the soundtrack opened), the soundtrack sounds on the null sink, the picture moves, and the piece
# ends by itself with exit code 0 once 92.7 s have passed, leaving no window behind and no Wine
# error in its log.
#
# Usage: tests/windows/check_timeline.sh DIR   (DIR holds flimrevo.exe and brumlevo.mp3; about
#                                             2 min)
set -euo pipefail
. "$(dirname "$0")/common.sh"
src=$(cd "$1" && pwd)

winenv_start
run="$WINENV_DIR/timeline"
rm -rf "$run"
mkdir -p "$run"
cp "$src/flimrevo.exe" "$src/brumlevo.mp3" "$run/"
cd "$run"

# The piece ends with the first frame past 92.7 s on its clock, which starts after the window
# opened and the soundtrack started, so it must not exit sooner than that after its window
# appeared; start-up and the last frame take well under the slack allowed after it.
end_s=92.7
slack_s=8

# +msgbox has Wine's message box log each box's text.
WINEDEBUG=fixme-all,+msgbox winenv_wine flimrevo.exe > wine.out 2> wine.err &
pid=$!
started=$(date +%s.%N)
if ! window=$(winenv_await flimrevo 30 "$pid"); then
    report FAIL "no window titled flimrevo within 30 s"
    kill "$pid" 2> /dev/null || true
    cat wine.err >&2
    exit 1
fi
appeared=$(date +%s.%N)
geometry=$(xdotool getwindowgeometry "$window" | awk '/Position/ { p = $2 } /Geometry/ { g = $2 }
                                                     END { print p " " g }')
if [ "$geometry" = "0,0 1024x768" ]; then
    report ok "the window covers the 1024 x 768 screen ($geometry)"
else
    report FAIL "the window is at $geometry, want 0,0 1024x768"
fi

# While it runs: no window but its own (and Wine's invisible input-method windows); the sound
# and the picture, sampled a few seconds in.
strangers=""
listened=""
shots=0
while kill -0 "$pid" 2> /dev/null; do
    now=$(awk -v a="$appeared" -v b="$(date +%s.%N)" 'BEGIN { printf "%d", b - a }')
    others=$(winenv_windows | awk '$2 != "flimrevo" && !($2 == "Default" && $3 == "IME")')
    if [ -n "$others" ]; then
        strangers="$strangers $others"
        break
    fi
    if [ -z "$listened" ] && [ "$now" -ge 5 ]; then
        listened=$(winenv_listen 1)
    fi
    if [ "$shots" -lt 2 ] && [ "$now" -ge $((8 + shots)) ]; then
        winenv_shot "shot$shots.png"
        shots=$((shots + 1))
    fi
    if [ "$now" -gt 150 ]; then
        break
    fi
    sleep 0.25
done
if [ -n "$strangers" ]; then
    report FAIL "a window other than the piece's appeared:$strangers"
    kill "$pid" 2> /dev/null || true
fi
if kill -0 "$pid" 2> /dev/null; then
    report FAIL "still running 150 s after its window appeared"
    kill "$pid" 2> /dev/null || true
fi
set +e
wait "$pid"
rc=$?
set -e
ended=$(date +%s.%N)
ran=$(awk -v a="$appeared" -v b="$ended" 'BEGIN { printf "%.1f", b - a }')
total=$(awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.1f", b - a }')

if [ "$rc" -eq 0 ]; then
    report ok "exit code 0"
else
    report FAIL "exit code $rc, want 0"
fi
if awk -v r="$ran" -v e="$end_s" -v s="$slack_s" 'BEGIN { exit !(r >= e && r <= e + s) }'; then
    report ok "ended by itself $ran s after its window appeared ($total s after launch)"
else
    report FAIL "ended $ran s after its window appeared, want $end_s to $end_s + $slack_s s"
fi

read -r peak _ <<< "${listened:-0 0}"
if [ "$peak" -ge 1000 ]; then
    report ok "the soundtrack sounds on the null sink 5 s in (peak $peak)"
else
    report FAIL "silence on the null sink 5 s in (peak $peak)"
fi

if [ "$shots" -eq 2 ]; then
    lit=$(convert shot0.png -format '%[fx:maxima]' info:)
    moved=$(compare -metric AE shot0.png shot1.png null: 2>&1 || true)
    if awk -v l="$lit" -v m="$moved" 'BEGIN { exit !(l > 0.2 && m > 1000) }'; then
        report ok "the picture is drawn and moves (brightest $lit, $moved pixels changed in 1 s)"
    else
        report FAIL "the picture: brightest $lit (want > 0.2), $moved pixels changed in 1 s (want > 1000)"
    fi
else
    report FAIL "the piece ended before its pictures were taken"
fi

boxes=$(grep -c 'MSGBOX_OnInit' wine.err || true)
if [ "$boxes" -eq 0 ]; then
    report ok "no message box"
else
    report FAIL "message boxes: $(grep 'MSGBOX_OnInit' wine.err | sed 's/.*OnInit //' | tr '\n' ' ')"
fi
left=$(winenv_windows | awk '$2 != "Default"')
if [ -z "$left" ]; then
    report ok "no window left open"
else
    report FAIL "windows left open: $left"
fi
if winenv_errors wine.err > errors.txt; then
    report FAIL "Wine reported errors:"
    head -20 errors.txt
else
    report ok "no Wine error in the log ($(grep -c . wine.err || true) lines)"
fi
exit $fail
