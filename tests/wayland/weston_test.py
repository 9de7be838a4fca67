#!/usr/bin/env python3
"""flimrevo as a native Wayland client of Debian's weston, at output scales 1 and 2.

weston runs nested on an Xvfb screen of the test's own (its X11 back end, pixman renderer): its
headless back end offers no seat, and SDL 2.26's Wayland driver dereferences the missing seat's
input at start-up, so no SDL program starts there. The X11 back end gives a seat whose keyboard
is the nested window's. weston's screenshooter (offered with --debug)
takes the output's pixels.

Checked at each scale: the piece starts fullscreen over the whole output; its picture fills the
largest 4:3 rectangle of the output's device pixels, borders black; it is drawn at those pixels
(at scale 2 not at the logical half size and doubled: the picture is as fine-grained as at
scale 1); two pictures a second apart differ (it keeps going); Escape ends it with 0. Then the
compositor is killed under a running piece, which ends within 2 s with code 1 and a word.

Usage: weston_test.py FLIMREVO SOUNDTRACK
"""
import os
import signal
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image

WIDTH, HEIGHT = 1920, 1080
failures = []


def check(ok, what):
    print(('ok   ' if ok else 'FAIL ') + what, flush=True)
    if not ok:
        failures.append(what)


def wait_for(done, limit):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if done():
            return True
        time.sleep(0.05)
    return False


def start_x(folder):
    xvfb = subprocess.Popen(['Xvfb', '-displayfd', '1', '-screen', '0', f'{WIDTH}x{HEIGHT}x24',
                             '-nolisten', 'tcp', '-noreset'], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, cwd=folder)
    return xvfb, ':' + xvfb.stdout.readline().decode().strip()


def fineness(shot):
    """How much of the lit picture's detail is finer than 2 x 2 device pixels: the mean distance
    of each pixel from its aligned 2 x 2 block's mean, over the lit blocks. A picture drawn at
    half the size and doubled has next to none."""
    a = shot[:HEIGHT // 2 * 2, :WIDTH // 2 * 2].astype(np.float64).max(axis=2)
    blocks = a.reshape(HEIGHT // 2, 2, WIDTH // 2, 2)
    means = blocks.mean(axis=(1, 3), keepdims=True)
    lit = (means > 16).squeeze()
    return float(np.abs(blocks - means).mean(axis=(1, 3))[lit].mean()) if lit.any() else 0.0


def run(flimrevo, soundtrack, scale, folder):
    xvfb, display = start_x(folder)
    runtime = tempfile.mkdtemp(dir=folder)
    os.chmod(runtime, 0o700)
    socket = f'flimrevo-{scale}'
    env = dict(os.environ, DISPLAY=display, XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY=socket)
    weston = subprocess.Popen(['weston', '--backend=x11-backend.so', '--use-pixman',
                               f'--width={WIDTH // scale}', f'--height={HEIGHT // scale}',
                               f'--scale={scale}', f'--socket={socket}', '--debug',
                               '--idle-time=0', '--no-config'],
                              env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    piece_env = dict(env, SDL_VIDEODRIVER='wayland', SDL_AUDIODRIVER='dummy')
    piece = None
    try:
        check(wait_for(lambda: os.path.exists(os.path.join(runtime, socket)), 10),
              f'scale {scale}: weston is up')
        if not os.path.exists(os.path.join(folder, 'brumlevo.mp3')):
            os.symlink(soundtrack, os.path.join(folder, 'brumlevo.mp3'))

        def shot(name):
            shots = os.path.join(folder, name)
            os.makedirs(shots, exist_ok=True)
            subprocess.run(['weston-screenshooter'], env=env, cwd=shots, timeout=20,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            files = [f for f in os.listdir(shots) if f.endswith('.png')]
            return np.asarray(Image.open(os.path.join(shots, files[0])).convert('RGB'), dtype=np.int16) if files else None

        left = (WIDTH - HEIGHT * 4 // 3) // 2

        def shown(name):
            # The piece's picture once it covers the output: the desktop's panel and ground gone
            # from the left border (the machine may be slow to start it).
            for attempt in range(40):
                picture = shot(f'{name}-{attempt}')
                if (picture is not None and not picture[:, :left - 1].any() and
                        np.mean(picture[:, left:WIDTH - left].max(axis=2) > 40) > 0.01):
                    return picture
                time.sleep(0.5)
            return picture

        # The piece at the output's pixels.
        piece = subprocess.Popen([flimrevo], env=piece_env, cwd=folder,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        a = shown(f'a{scale}')
        time.sleep(1)
        b = shot(f'b{scale}')
        check(a is not None and a.shape == (HEIGHT, WIDTH, 3), f'scale {scale}: the output taken at {WIDTH} x {HEIGHT} device pixels')
        if a is not None and b is not None:
            border = np.concatenate([a[:, :left - 1], a[:, WIDTH - left + 1:]])
            check(not border.any(), f'scale {scale}: borders black')
            lit = np.mean(a[:, left:WIDTH - left].max(axis=2) > 40)
            check(lit > 0.01, f'scale {scale}: the picture fills the 4:3 rectangle ({lit:.1%} lit)')
            edge = a[:, left + 2:left + 40].max(axis=2) > 40
            check(edge.any(), f'scale {scale}: the picture reaches the rectangle\'s left edge')
            changed = np.mean(np.abs(a - b).max(axis=2) > 32)
            check(changed > 0.005, f'scale {scale}: the picture moves on ({changed:.1%} changed in 1 s)')
            fine = fineness(a)
            print(f'scale {scale}: detail finer than 2 x 2 pixels: {fine:.1f} levels', flush=True)
            run.fineness[scale] = fine
        # Escape ends it with 0. The keys go through the X server's test extension to weston's
        # window, which covers the screen: a click there first gives the piece's surface weston's
        # keyboard focus (a key alone reached it only some of the time), and a key that still
        # went unseen is pressed again, up to three times.
        code = None
        for _ in range(3):
            subprocess.run(['xdotool', 'mousemove', str(WIDTH // 2), str(HEIGHT // 2), 'click', '1'],
                           env=env)
            subprocess.run(['xdotool', 'key', 'Escape'], env=env)
            try:
                code = piece.wait(3)
                break
            except subprocess.TimeoutExpired:
                pass
        check(code == 0, f'scale {scale}: Escape ends it with 0 (got {code})')

        # The compositor going away ends it within 2 s with 1 and a word.
        piece = subprocess.Popen([flimrevo], env=piece_env, cwd=folder,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        shown(f'c{scale}')
        weston.kill()
        weston.wait()
        gone = time.monotonic()
        try:
            code = piece.wait(10)
        except subprocess.TimeoutExpired:
            code = None
        took = time.monotonic() - gone
        err = piece.stderr.read().decode() if code is not None else ''
        check(code == 1 and 'display was lost' in err.splitlines()[-1] and took < 2,
              f'scale {scale}: the compositor gone, it ends with 1 in {took:.2f} s: {err.splitlines()[-1]!r}')
    finally:
        for p in (piece, weston, xvfb):
            if p and p.poll() is None:
                p.kill()
                p.wait()


run.fineness = {}


def main():
    flimrevo, soundtrack = (os.path.abspath(p) for p in sys.argv[1:3])
    with tempfile.TemporaryDirectory() as folder:
        folder = os.environ.get("KEEP_SHOTS", folder)  # a folder to keep the screenshots in
        for scale in (1, 2):
            run(flimrevo, soundtrack, scale, folder)
    if len(run.fineness) == 2:
        ratio = run.fineness[2] / max(run.fineness[1], 1e-9)
        check(ratio > 0.6, f'scale 2 is as fine-grained as scale 1 ({ratio:.2f} of it)')
    print(f'{len(failures)} failed' if failures else 'all passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
