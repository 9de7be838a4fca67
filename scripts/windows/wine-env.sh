# shellcheck shell=bash
# A private, headless Windows desktop for running the Windows build under Wine:
#   - an Xvfb screen of 1024 x 768 at 24 bits on a free display (found with -displayfd),
#   - a PulseAudio server of its own whose only sink discards the sound (a null sink), so that
#     Wine finds an audio device on machines without one; its monitor lets a check listen,
#   - a 64-bit Wine prefix in a temporary folder, booted offline (no Mono or Gecko installers),
#     with pulse as its audio driver.
# Nothing outside the temporary folder is touched, and everything is stopped on exit.
#
# Source this file, then:
#   winenv_start          sets it all up (about 15 to 60 s, most of it wineboot), or, when a
#                         calling script already did (WINENV_READY=1 in the environment), uses
#                         that one and leaves its stopping to the caller
#   winenv_wine ARGS      runs the 64-bit Wine loader with the environment set
#   winenv_32bit          whether 32-bit Windows programs run here: prints the 32-bit Wine
#                         loader when they do, otherwise why not (no 32-bit Wine installed, or a
#                         kernel that refuses 32-bit programs) with exit status 1
#   winenv_windows        "ID NAME" of every named X window
#   winenv_boxes NAME     the X window ids whose title is exactly NAME (none: empty)
#   winenv_await NAME SECS PID
#                         waits up to SECS for a window titled NAME while PID lives; prints its id
#   winenv_gone NAME SECS waits up to SECS until no window is titled NAME
#   winenv_press ID KEY   sends KEY (an X key name) to window ID, and lets it go on the display
#   winenv_shot FILE      a PNG of the whole screen
#   winenv_listen SECS    what the null sink played over its next SECS seconds of samples, left
#                         channel: "PEAK HZ FRAMES", the peak sample value (0 to 32768), the
#                         frequency: the rate over the mean time between rises (from below -1000
#                         to above +1000) of the periods within a quarter of the median one,
#                         leaving out pauses such as the encoder's padding where a looped file
#                         restarts and gaps when the processor is busy; and the frames recorded
#                         (fewer than SECS x 44100 only if the recorder failed)
#   winenv_errors FILE    the lines of a Wine log that report a fault of the program or of a
#                         module it loads: err: channels, calls to unimplemented functions,
#                         unhandled exceptions; exit status 0 when any. Wine's own desktop set-up
#                         is left out (see the function)
# Needs: Xvfb, xdotool, pulseaudio (pactl, parec), wine64, imagemagick (import), coreutils; for
# 32-bit programs, Debian's wine32:i386 (with libmpg123-0:i386 for Wine's MP3 codec).

winenv_log() { printf '[wine-env] %s\n' "$*" >&2; }

winenv_need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" > /dev/null 2>&1 || {
            winenv_log "missing tool: $tool"
            return 1
        }
    done
}

winenv_stop() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX}" ]; then
        wineserver -k > /dev/null 2>&1 || true
        timeout 20 wineserver -w > /dev/null 2>&1 || true
    fi
    if [ -n "${WINENV_PULSE_PID:-}" ]; then
        kill "$WINENV_PULSE_PID" 2> /dev/null || true
        wait "$WINENV_PULSE_PID" 2> /dev/null || true
    fi
    if [ -n "${WINENV_XVFB_PID:-}" ]; then
        kill "$WINENV_XVFB_PID" 2> /dev/null || true
        wait "$WINENV_XVFB_PID" 2> /dev/null || true
    fi
    if [ -n "${WINENV_DIR:-}" ] && [ -d "$WINENV_DIR" ] && [ -z "${WINENV_KEEP:-}" ]; then
        rm -rf "$WINENV_DIR"
    fi
}

winenv_start() {
    if [ "${WINENV_READY:-}" = 1 ] && [ -d "${WINEPREFIX:-}" ] && [ -n "${DISPLAY:-}" ]; then
        return 0
    fi
    winenv_need Xvfb xdotool pulseaudio pactl parec wineserver import timeout od awk || return 1
    WINENV_LOADER=$(command -v wine64 || true)
    [ -n "$WINENV_LOADER" ] || WINENV_LOADER=/usr/lib/wine/wine64
    [ -x "$WINENV_LOADER" ] || {
        winenv_log "no 64-bit Wine loader (install wine64)"
        return 1
    }
    WINENV_DIR=$(mktemp -d "${TMPDIR:-/tmp}/flimrevo-wine.XXXXXX")
    export WINENV_DIR WINENV_LOADER
    trap winenv_stop EXIT

    # The X screen. Xvfb writes the display number to the descriptor once it accepts clients.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        3> "$WINENV_DIR/display" > "$WINENV_DIR/xvfb.log" 2>&1 &
    WINENV_XVFB_PID=$!
    local i
    for i in $(seq 100); do
        grep -q '^[0-9][0-9]*$' "$WINENV_DIR/display" 2> /dev/null && break
        kill -0 "$WINENV_XVFB_PID" 2> /dev/null || break
        sleep 0.1
    done
    grep -q '^[0-9][0-9]*$' "$WINENV_DIR/display" 2> /dev/null || {
        winenv_log "Xvfb did not start:"
        cat "$WINENV_DIR/xvfb.log" >&2
        return 1
    }
    export DISPLAY=":$(cat "$WINENV_DIR/display")"

    # The sound server: per-user mode with its own runtime folder and socket, no autospawn, one
    # null sink as the default output. (As root it warns that it is meant for --system; the
    # warning is harmless for a private server.)
    export HOME="$WINENV_DIR/home" XDG_RUNTIME_DIR="$WINENV_DIR/run"
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    printf 'autospawn = no\n' > "$WINENV_DIR/client.conf"
    export PULSE_CLIENTCONFIG="$WINENV_DIR/client.conf"
    export PULSE_SERVER="unix:$WINENV_DIR/pulse.sock"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no -F /dev/null \
        --load="module-null-sink sink_name=flimrevo_null rate=44100 channels=2" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$WINENV_DIR/pulse.sock" \
        > "$WINENV_DIR/pulse.log" 2>&1 &
    WINENV_PULSE_PID=$!
    for i in $(seq 100); do
        pactl info > /dev/null 2>&1 && break
        kill -0 "$WINENV_PULSE_PID" 2> /dev/null || break
        sleep 0.1
    done
    pactl info > /dev/null 2>&1 || {
        winenv_log "PulseAudio did not start:"
        cat "$WINENV_DIR/pulse.log" >&2
        return 1
    }

    # The prefix. Mono and Gecko are not needed; their installers would wait for a click.
    export WINEPREFIX="$WINENV_DIR/prefix" WINEARCH=win64 WINELOADER="$WINENV_LOADER"
    export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG="${WINEDEBUG:-fixme-all}"
    local t0=$SECONDS
    WINEDEBUG=-all timeout 180 "$WINELOADER" wineboot -i > "$WINENV_DIR/wineboot.log" 2>&1 || {
        winenv_log "wineboot failed:"
        tail -20 "$WINENV_DIR/wineboot.log" >&2
        return 1
    }
    WINEDEBUG=-all timeout 120 "$WINELOADER" reg add 'HKCU\Software\Wine\Drivers' /v Audio \
        /d pulse /f >> "$WINENV_DIR/wineboot.log" 2>&1 || {
        winenv_log "could not choose Wine's audio driver:"
        tail -20 "$WINENV_DIR/wineboot.log" >&2
        return 1
    }
    timeout 60 wineserver -w
    export WINENV_READY=1
    winenv_log "display $DISPLAY, sound server $PULSE_SERVER, prefix booted in $((SECONDS - t0)) s"
}

winenv_wine() { "$WINELOADER" "$@"; }

winenv_32bit() {
    local loader=/usr/lib/wine/wine out
    [ -x "$loader" ] || {
        echo "no 32-bit Wine: install wine32:i386"
        return 1
    }
    # The loader is itself a 32-bit program: the kernel's answer to it is the answer for all.
    if ! out=$("$loader" --version 2>&1); then
        case "$out" in
            *"Exec format error"*) echo "this kernel does not run 32-bit programs (Exec format error)" ;;
            *) echo "the 32-bit Wine loader does not start: $out" ;;
        esac
        return 1
    fi
    echo "$loader"
}

winenv_windows() {
    local id name
    for id in $(xdotool search --name . 2> /dev/null); do
        # A window found by the search may be gone by the time its name is asked for (the
        # piece's own, as it closes); only windows that still have a name are listed.
        name=$(xdotool getwindowname "$id" 2> /dev/null) || continue
        [ -n "$name" ] && printf '%s %s\n' "$id" "$name"
    done
    return 0
}

winenv_boxes() { xdotool search --name "^$1\$" 2> /dev/null || true; }

winenv_await() { # NAME SECS PID
    local end=$((SECONDS + $2)) ids
    while [ $SECONDS -lt $end ] && kill -0 "$3" 2> /dev/null; do
        ids=$(winenv_boxes "$1")
        if [ -n "$ids" ]; then
            echo "$ids" | head -1
            return 0
        fi
        sleep 0.1
    done
    return 1
}

winenv_gone() { # NAME SECS
    local end=$((SECONDS + $2))
    while [ $SECONDS -lt $end ]; do
        [ -z "$(winenv_boxes "$1")" ] && return 0
        sleep 0.1
    done
    return 1
}

# The key is let go of again on the whole display as well: when the window goes on the press (the
# piece ends on Escape's key-down), xdotool can fail before its release, and the key would stay
# down for the next program on the display, which would end at once.
winenv_press() {
    local rc=0
    xdotool key --window "$1" "$2" 2> /dev/null || rc=$?
    xdotool keyup "$2" 2> /dev/null || true
    return $rc
}

winenv_shot() { import -display "$DISPLAY" -window root "$1" 2> /dev/null; }

winenv_listen() {
    # SECS seconds of samples, however long parec takes to connect on a busy machine (up to 20 s
    # more, when timeout stops it and fewer frames are counted).
    { timeout "$(($1 + 20))" parec -d flimrevo_null.monitor --raw --format=s16le --channels=2 \
        --rate=44100 2> /dev/null || true; } | head -c "$(($1 * 44100 * 4))" | od -An -v -td2 -w4 |
        awk '{ v = $1; a = v < 0 ? -v : v; if (a > peak) peak = a
               if (v < -1000) low = 1
               else if (v > 1000 && low) {
                   if (rises && n - rise < 441) { count[n - rise]++; cycles++ }
                   rise = n; rises++; low = 0
               }
               n++ }
             END {
                 # The frequency from the median period and the periods near it, so that a
                 # short gap in the output (a busy processor) counts for nothing.
                 for (p = 1; p < 441 && seen * 2 < cycles; p++) { seen += count[p]; median = p }
                 for (p = 1; p < 441; p++)
                     if (count[p] && p * 4 >= median * 3 && p * 4 <= median * 5) {
                         near += count[p]; span += count[p] * p
                     }
                 printf "%d %.0f %d\n", peak, span ? near * 44100 / span : 0, n }'
}

winenv_errors() {
    # err:system: is Wine's display-configuration cache, which every new Wine process reads while
    # Wine's desktop process may still be writing it; when the two meet, Wine logs "Failed to read
    # display config." and reads it again. That is Wine talking about itself, at random, and says
    # nothing about the program, so it is not judged. Nor is err:ole:start_rpcss: a 32-bit
    # process in a 64-bit prefix asks the service manager for Wine's RPC service and logs its
    # refusal; that is Wine's own set-up, whatever the program does.
    grep -E 'err:|unimplemented function|Unhandled (exception|page fault)|wine: could not load' \
        "$1" | grep -v -E ':err:system:|:err:ole:start_rpcss '
}
