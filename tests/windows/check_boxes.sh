#!/usr/bin/env bash
# The Windows build's audio failure boxes under Wine, each dismissed with xdotool as a user would:
#   - no soundtrack beside the executable: one box, "Kan ikke spille sang" with caption "Feil!";
#   - no audio device (the sound server unreachable): "No Init" / "Error", then the soundtrack box.
# Each box holds up the start-up until it is dismissed; then the piece runs on, drawing a moving
# picture in silence for several seconds, and Escape ends it with exit code 0. (The full timeline
# to its end is check_timeline.sh's run; here a few seconds show the piece went on.)
#
# Usage: tests/windows/check_boxes.sh DIR   (DIR holds flimrevo.exe and brumlevo.mp3; about 40 s)
set -euo pipefail
. "$(dirname "$0")/common.sh"
src=$(cd "$1" && pwd)

winenv_start

# The texts of the boxes Wine's +msgbox log shows, one a line, in order.
box_texts() { sed -n 's/.*trace:msgbox:MSGBOX_OnInit L"\(.*\)"$/\1/p' "$1"; }

# Runs the piece in a folder of its own holding FILES from DIR, with extra environment ENV for
# Wine, and answers each box in turn: CAPTION|TEXT for each expected box, in order.
scenario() { # NAME "FILES" ENV... -- CAPTION|TEXT...
    local name=$1 files=$2 run envs=() expected=() pid window i f
    run="$WINENV_DIR/boxes-${name// /-}"
    shift 2
    while [ "$1" != -- ]; do
        envs+=("$1")
        shift
    done
    shift
    expected=("$@")
    rm -rf "$run"
    mkdir -p "$run"
    for f in $files; do
        cp "$src/$f" "$run/"
    done
    cd "$run"
    env "${envs[@]}" WINEDEBUG=fixme-all,+msgbox "$WINELOADER" flimrevo.exe > wine.out 2> wine.err &
    pid=$!

    for i in "${!expected[@]}"; do
        local caption=${expected[$i]%%|*} text=${expected[$i]#*|}
        if ! window=$(winenv_await "$caption" 30 "$pid"); then
            report FAIL "$name: no box titled $caption (box $((i + 1)))"
            kill "$pid" 2> /dev/null || true
            wait "$pid" 2> /dev/null || true
            return
        fi
        # The box is modal: left open for a moment it stays, and the piece waits behind it.
        sleep 1
        local shown
        shown=$(box_texts wine.err | sed -n "$((i + 1))p")
        if [ "$shown" = "$text" ] && [ -n "$(winenv_boxes "$caption")" ] &&
            kill -0 "$pid" 2> /dev/null; then
            report ok "$name: box $((i + 1)) \"$text\" titled \"$caption\" waits to be dismissed"
        else
            report FAIL "$name: box $((i + 1)) says \"$shown\", want \"$text\" titled \"$caption\""
        fi
        winenv_press "$window" Return
        if ! winenv_gone "$caption" 10; then
            report FAIL "$name: the $caption box did not close on Return"
            kill "$pid" 2> /dev/null || true
            wait "$pid" 2> /dev/null || true
            return
        fi
    done

    # Dismissed: the piece draws on, in silence.
    if ! window=$(winenv_await flimrevo 10 "$pid"); then
        report FAIL "$name: no flimrevo window after the boxes"
        kill "$pid" 2> /dev/null || true
        wait "$pid" 2> /dev/null || true
        return
    fi
    sleep 2
    winenv_shot shot0.png
    local sound
    sound=$(winenv_listen 1)
    sleep 3
    winenv_shot shot1.png
    local others moved lit
    others=$(winenv_windows | awk '$2 != "flimrevo" && !($2 == "Default" && $3 == "IME")')
    lit=$(convert shot1.png -format '%[fx:maxima]' info:)
    moved=$(compare -metric AE shot0.png shot1.png null: 2>&1 || true)
    if kill -0 "$pid" 2> /dev/null && [ -z "$others" ] &&
        awk -v l="$lit" -v m="$moved" 'BEGIN { exit !(l > 0.2 && m > 1000) }'; then
        report ok "$name: runs on, drawing ($moved pixels changed in 4 s), no box left"
    else
        report FAIL "$name: after the boxes: running $(kill -0 "$pid" 2> /dev/null && echo yes || echo no), other windows: ${others:-none}, brightest $lit, $moved pixels changed"
    fi
    if [ "${sound%% *}" -eq 0 ]; then
        report ok "$name: silent"
    else
        report FAIL "$name: sound on the null sink (peak ${sound%% *}), want silence"
    fi

    winenv_press "$window" Escape
    local end=$((SECONDS + 15))
    while kill -0 "$pid" 2> /dev/null && [ $SECONDS -lt $end ]; do
        sleep 0.1
    done
    local rc=0
    if kill -0 "$pid" 2> /dev/null; then
        report FAIL "$name: Escape did not end it"
        kill "$pid" 2> /dev/null || true
    fi
    wait "$pid" || rc=$?
    if [ "$rc" -eq 0 ]; then
        report ok "$name: Escape ends it, exit code 0"
    else
        report FAIL "$name: exit code $rc, want 0"
    fi

    local count
    count=$(box_texts wine.err | grep -c . || true)
    [ "$count" -eq "${#expected[@]}" ] ||
        report FAIL "$name: $count boxes in all, want ${#expected[@]}"
    # Without a device, Wine says so on its error channel; that and nothing else is expected.
    if winenv_errors wine.err | grep -vE ':err:(mmdevapi|ole):' > errors.txt; then
        report FAIL "$name: Wine reported errors:"
        head -20 errors.txt
    fi
}

scenario "no soundtrack" "flimrevo.exe" -- "Feil!|Kan ikke spille sang"
# Wine's pulse driver finds no server there, so Wine has no audio device at all.
scenario "no device" "flimrevo.exe brumlevo.mp3" "PULSE_SERVER=unix:$WINENV_DIR/nowhere.sock" -- \
    "Error|No Init" "Feil!|Kan ikke spille sang"
exit $fail
