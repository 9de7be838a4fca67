#!/usr/bin/env bash
# How late the sound comes against the picture, measured from outside: the piece runs on a private
# Xvfb screen with a PulseAudio null sink as its output, and one ffmpeg records a corner of the
# screen (x11grab, 200 grabs a second) and the sink's monitor together, both stamped with the wall
# clock. The strobe's steps (from 31.1 s) and the soundtrack's own stretch around 31.1 s are found
# in the recording; the offset is the sound's time minus the picture's (positive: the sound is
# late), with how well the sound matched (1 is exact). Not a test: the figures depend on the
# machine and its load.
#
#   bench/av_offset.sh native BUILD_BIN [RUNS]     the Linux build (SDL2 over PulseAudio)
#   bench/av_offset.sh web WEB_BIN [RUNS]          the web build in Chromium (not headless) on Xvfb
#   AV_KEEP=1 keeps the recordings in /tmp/flimrevo-av.*
set -euo pipefail
kind=$1
bin=$(realpath "$2")
runs=${3:-3}
work=$(mktemp -d /tmp/flimrevo-av.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
    wait 2> /dev/null || true
    [ -n "${AV_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3> "$work/display" 2> /dev/null &
pids+=($!)
for _ in $(seq 100); do grep -q '^[0-9]' "$work/display" 2> /dev/null && break; sleep 0.1; done
DISPLAY=":$(cat "$work/display")"
export DISPLAY
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" PULSE_SERVER="unix:$work/pulse.sock"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
printf 'autospawn = no\n' > "$work/client.conf"
export PULSE_CLIENTCONFIG="$work/client.conf"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no -F /dev/null \
    --load="module-null-sink sink_name=av rate=44100 channels=2" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$work/pulse.sock" > /dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do pactl info > /dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink av

for run in $(seq "$runs"); do
    rec="$work/rec$run.mkv"
    # The inputs' own times are kept (-copyts), so each input's length is given on it.
    ffmpeg -hide_banner -loglevel error -y -thread_queue_size 4096 -t 50 -f x11grab -framerate 200 \
        -video_size 16x16 -grab_x 4 -grab_y 4 -i "$DISPLAY" -thread_queue_size 4096 -t 50 -f pulse -fragment_size 1764 \
        -sample_rate 44100 -channels 2 -i av.monitor -map 0:v -c:v ffv1 -map 1:a -c:a pcm_s16le \
        -copyts "$rec" &
    recorder=$!
    sleep 1
    if [ "$kind" = native ]; then
        (cd "$bin" && SDL_AUDIODRIVER=pulseaudio timeout -s TERM 34 ./flimrevo > /dev/null 2>&1) || true
    else
        /usr/bin/python3 - "$bin" "$work" << 'EOF'
import functools, http.server, sys, tempfile, threading, time
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
class Quiet(http.server.SimpleHTTPRequestHandler):
    log_message = lambda *a: None
handler = functools.partial(Quiet, directory=sys.argv[1])
server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
threading.Thread(target=server.serve_forever, daemon=True).start()
options = webdriver.ChromeOptions()
options.binary_location = '/usr/bin/chromium'
profile = tempfile.TemporaryDirectory()
options.add_experimental_option('excludeSwitches', ['enable-automation'])
for a in ['--no-sandbox', '--test-type', '--kiosk', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-first-run', '--autoplay-policy=no-user-gesture-required',
          '--user-data-dir=' + profile.name, '--window-position=0,0', '--window-size=1024,768']:
    options.add_argument(a)
browser = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
try:
    browser.get(f'http://127.0.0.1:{server.server_port}/')
    while browser.execute_script("return document.body.dataset.state") != 'ready':
        time.sleep(0.1)
    browser.find_element(By.ID, 'play').click()
    # Until the piece's clock is past the strobe's first red.
    while not browser.execute_script("const a = window.piece && piece.page.audio;"
                                     " return a && a.heard && performance.now() - a.heard > 32000"):
        time.sleep(0.5)
    a = browser.execute_script("const a = piece.page.audio; return [a.heard - a.started, a.context.baseLatency,"
                               " a.context.outputLatency, 1000 * piece.page.frames / (performance.now() - a.heard)]")
    print(f'browser: waited {a[0]:.1f} ms (base latency {a[1]}, output latency {a[2]}), '
          f'{a[3]:.0f} frames a second', file=sys.stderr)
finally:
    browser.quit()
EOF
    fi
    wait "$recorder" || true
    # The picture: each grab's time and mean colour; the sound: its first sample's time and samples.
    ffmpeg -hide_banner -copyts -i "$rec" -map 0:v -vf format=gbrp,showinfo -f null - 2>&1 |
        sed -n 's/.* pts: *\([0-9]*\) .* mean:\[\([0-9]*\) \([0-9]*\) \([0-9]*\)\].*/\1 \2 \3 \4/p' > "$work/video.txt"
    [ -f "$work/song.raw" ] || ffmpeg -hide_banner -loglevel error -i "$bin/brumlevo.mp3" -ac 1 -ar 44100 \
        -f s16le "$work/song.raw"
    ffprobe -v error -select_streams a -show_entries stream=start_time -of csv=p=0 "$rec" > "$work/audio_start.txt"
    ffmpeg -hide_banner -loglevel error -y -copyts -i "$rec" -map 0:a -ac 1 -af aresample=async=1 \
        -f s16le "$work/audio.raw"  # silence where the capture lost packets, so samples keep their times
    /usr/bin/python3 - "$work" << 'EOF'
import sys
import numpy as np
work = sys.argv[1]
video = np.loadtxt(f'{work}/video.txt', ndmin=2)
# The planes' means in G, B, R order: the strobe's red is the first red picture.
t, g, b, r = video.T
t = t / 1000  # the recording's milliseconds
red = np.nonzero((r > 120) & (g < 60) & (b < 60))[0]
if not len(red):
    print('no red picture in the recording'); sys.exit(0)
# The strobe's steps, each a tenth of a second of the piece: red, black, green, black, blue, black,
# red. Each step shows up a frame's work (or more) after its time; the step that came soonest says
# best when the picture shows the piece's 31.1 s, and the spread says how long the frames took.
colour = np.select([(r > 120) & (g < 60) & (b < 60), (g > 120) & (r < 60) & (b < 60),
                    (b > 120) & (r < 60) & (g < 60), r + g + b < 30], list('RGBk'), '?')
steps, shown = 'RkGkBkR', []
for i in range(red[0], len(t)):
    if len(shown) < len(steps) and colour[i] == steps[len(shown)]:
        shown.append(t[i] - 0.1 * len(shown))
picture = min(shown)
spread = 1000 * (max(shown) - picture)
start = float(open(f'{work}/audio_start.txt').read())
pcm = np.fromfile(f'{work}/audio.raw', np.int16).astype(float)
# Where the soundtrack's own 30.1 to 32.1 s lie in the recording, four seconds around the picture's
# time: the lag of the best match of the two, by cross-correlation (the looped soundtrack plays its
# 31.1 s then). Matching the whole stretch finds it wherever it lies within two seconds, to the
# sample, with nothing to mistake it for: the strobe's stabs repeat, a single onset may not.
rate = 44100
song = np.fromfile(f'{work}/song.raw', np.int16).astype(float)
part = song[int(30.1 * rate):int(32.1 * rate)]
first = max(int((picture - 2.0 - start) * rate), 0)
heard = pcm[first:first + int(4.0 * rate)]
n = 1 << int(np.ceil(np.log2(len(heard) + len(part))))
corr = np.fft.irfft(np.fft.rfft(heard, n) * np.conj(np.fft.rfft(part, n)), n)[:len(heard) - len(part)]
power = np.concatenate([[0], np.cumsum(heard ** 2)])
energy = np.sqrt((power[len(part):len(part) + len(corr)] - power[:len(corr)]) * (part ** 2).sum())
match = corr / np.maximum(energy, 1e-9)
lag = int(np.argmax(match))
sound = start + (first + lag) / rate + 1.0
grabs = np.diff(t[max(red[0] - 20, 1):red[0]]).mean() * 1000
print(f'offset {1000 * (sound - picture):+.1f} ms (sound at {sound:.4f}, picture at {picture:.4f}; '
      f'match {match[lag]:.3f}; {len(shown)} steps seen, up to {spread:.0f} ms later; '
      f'grabs every {grabs:.1f} ms)')
EOF
done
