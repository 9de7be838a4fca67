// The page around the piece: it readies a fresh instance of the program, starts it on a click
// (the gesture that lets the page go fullscreen and play sound), shows its message boxes, and
// offers another run when it ends. The program reaches the page through `module.page`.
//
// The start page warns of the strobe and offers "Reduce flashing" (also ?reduced-flashing; on by
// default where the browser asks for reduced motion), which the program reads as
// page.reducedFlashing when it starts. While the piece runs, Alt+Enter, F11 and a small button
// switch the browser's fullscreen on and off; the piece is not told and runs on.
//
// The picture is drawn at the canvas's device pixels (its CSS size times devicePixelRatio), kept
// current as the page is resized, goes fullscreen or is zoomed; ?pixels=WxH draws it at that size
// instead, stretched to the page (?pixels=1024x768 is the old look). "Smooth edges" (also
// ?antialias=N, N of 2 or more) asks WebGL for multisampling, which it gives only as on or off:
// the browser picks the samples (commonly 4), or gives none where it has none.
//
// ?fps=F&frame=N renders frame N of a run at F frames a second on a virtual clock, silently and
// without waiting for a click, and leaves it on the canvas; &record also keeps that frame's GL
// calls in page.recorded. body's data-state says where the page is: loading, ready, running, ended,
// lost (the WebGL context went away under the piece), or failed when the program cannot be loaded
// (then the page says why and what to do).
//
// Phones: the start page fits a portrait screen; on touch screens a close button ends the piece as
// Escape does; fullscreen turns the picture to landscape where the browser lets a page lock the
// orientation, and where there is no fullscreen (iPhone) the picture fills the page, with a hint
// to turn the phone. A screen wake lock is held while the piece plays. A service worker keeps the
// site for visits without a network.
'use strict';
const $ = id => document.getElementById(id);
const query = new URLSearchParams(location.search);
const whole = (name, least, most, otherwise) =>
  Math.min(most, Math.max(least, Math.floor(Number(query.get(name))) || otherwise));
const still = query.has('frame')
  ? {fps: whole('fps', 1, 1000, 60), frame: whole('frame', 0, 1e6, 0), record: query.has('record')}
  : null;
const asked = /^(\d+)x(\d+)$/.exec(query.get('pixels') || '');
const pixels = asked && asked.slice(1).every(n => n >= 1 && n <= 16384) ? asked.slice(1).map(Number) : null;
let ready = null;  // the next run, loaded and waiting
$('reduce').checked =
  query.has('reduced-flashing') || matchMedia('(prefers-reduced-motion: reduce)').matches;
$('smooth').checked = whole('antialias', 0, 64, 0) >= 2;

// The canvas's size in device pixels, as page.devicePixels: from a ResizeObserver on its
// device-pixel box where the browser has one (exact, and told of zoom too), else its CSS box times
// devicePixelRatio, taken again whenever the ratio changes. A hidden canvas has none, and keeps
// the last.
function followPixels(page) {
  const canvas = page.canvas;
  const set = (width, height) => {
    if (width >= 1 && height >= 1) page.devicePixels = [Math.round(width), Math.round(height)];
    page.ratio = devicePixelRatio;
  };
  const fromCss = () => {
    const box = canvas.getBoundingClientRect();
    set(box.width * devicePixelRatio, box.height * devicePixelRatio);
  };
  if (typeof ResizeObserver === 'function') {
    // The device-pixel box is taken where it agrees with the CSS box times the ratio to within
    // the rounding it settles; Chromium's device emulation (DevTools, the tests) reports it at
    // the unscaled size.
    const observer = new ResizeObserver(entries => {
      const entry = entries[entries.length - 1], box = entry.devicePixelContentBoxSize;
      const width = entry.contentRect.width * devicePixelRatio, height = entry.contentRect.height * devicePixelRatio;
      if (box && box[0] && Math.abs(box[0].inlineSize - width) < 2 && Math.abs(box[0].blockSize - height) < 2) {
        set(box[0].inlineSize, box[0].blockSize);
      } else {
        set(width, height);
      }
    });
    try {
      observer.observe(canvas, {box: 'device-pixel-content-box'});
    } catch (e) {
      observer.observe(canvas);
    }
  } else {
    addEventListener('resize', fromCss);
  }
  // A change of the ratio alone (zoom, another screen, the device emulation) changes no CSS box,
  // and the emulation tells neither the observer nor a resolution media query: the ratio is
  // compared before each frame (page.drawingSize), which costs nothing.
  page.ratio = devicePixelRatio;
  page.followRatio = () => {
    if (page.ratio !== devicePixelRatio) {
      page.ratio = devicePixelRatio;
      fromCss();
    }
  };
}

function messageBox(text, caption) {
  const box = $('box');
  $('caption').textContent = caption;
  $('text').textContent = text;
  box.showModal();
  return new Promise(done => box.addEventListener('close', done, {once: true}));
}

// The input of the running program: keys for GetAsyncKeyState and its message queue (Win32's
// key codes are the browser's keyCode), and leaving the page as its close button.
function key(e, down) {
  const page = window.piece && window.piece.page, vk = e.keyCode & 255;
  if (e.key === 'F11' || (e.key === 'Enter' && e.altKey)) {
    e.preventDefault();
    if (down && !e.repeat) switchFullscreen();
    return;
  }
  if (!page || !page.keys) return;
  if (down && !page.keys.down[vk]) page.keys.pressed[vk] = 1;
  page.keys.down[vk] = down;
  page.events.push([down ? 0x100 : 0x101, vk]);  // WM_KEYDOWN, WM_KEYUP
}
addEventListener('keydown', e => key(e, 1));
addEventListener('keyup', e => key(e, 0));
addEventListener('pagehide', () => window.piece && window.piece.page.events.push([0x10, 0]));  // WM_CLOSE
// The close button is the touch screen's Escape.
$('close').addEventListener('click', () => {
  const page = window.piece && window.piece.page;
  if (page && page.keys) page.keys.pressed[27] = 1;
});
// The browser's own way out of fullscreen is Escape: leaving it counts as Escape.
document.addEventListener('fullscreenchange', () => {
  const page = window.piece && window.piece.page;
  if (page && page.keys && page.inFullscreen && !document.fullscreenElement) page.keys.pressed[27] = 1;
  if (page) page.inFullscreen = !!document.fullscreenElement;
});

// The program could not be loaded: the page says why, and how to serve it so that it can.
function failed(why) {
  document.body.dataset.state = 'failed';
  $('play').hidden = $('end').hidden = true;
  $('start').hidden = false;
  const problem = $('problem');
  problem.hidden = false;
  problem.innerHTML = why + ' Serve the unzipped folder over http, for example with ' +
    '<code>python3 -m http.server 8080</code> in it, then open <code>http://localhost:8080/</code>; ' +
    'or upload the folder, as it is, to a static web host.';
}

// Fullscreen on or off while the piece runs; leaving it this way is no Escape.
function switchFullscreen() {
  const page = window.piece && window.piece.page;
  if (page && document.body.dataset.state === 'running') page.fullscreen(!document.fullscreenElement);
}
$('fullscreen').addEventListener('click', e => {
  e.currentTarget.blur();  // so that Enter or Space goes on to the piece, not to the button
  switchFullscreen();
});

function prepare(button) {
  const page = {canvas: $('canvas'), still, messageBox};
  // The drawing buffer's size (picture_size.cpp); none: the window's own.
  page.drawingSize = () => pixels || (still ? null : (page.followRatio(), page.devicePixels));
  followPixels(page);
  page.fullscreen = on => {
    if (on) {
      const stage = $('stage');
      if (stage.requestFullscreen) stage.requestFullscreen().then(landscape, fillPage);
      else fillPage();
    } else if (document.fullscreenElement) {
      page.inFullscreen = false;  // leaving it ourselves is no Escape
      document.exitFullscreen().catch(() => {});
    }
  };
  if (location.protocol === 'file:') {
    return failed('This page is opened from a file, and browsers load its program only over ' +
                  'http(s).');
  }
  if (typeof createFlimrevo !== 'function') return failed('flimrevo.js is missing beside the page.');
  return createFlimrevo({page, noInitialRun: true}).then(module => {
    ready = module;
    if (document.body.dataset.state === 'loading') document.body.dataset.state = 'ready';
    if (button) {
      button.disabled = false;
      button.textContent = button.dataset.label || button.textContent;
    }
    return module;
  }, () => failed('The program, flimrevo.wasm, is missing beside the page or could not be loaded.'));
}

// Where the page can be fullscreen, the picture is turned to landscape if the browser lets a page
// lock the orientation (phones; desktops refuse, which changes nothing).
function landscape() {
  const orientation = screen.orientation;
  if (orientation && orientation.lock) orientation.lock('landscape').catch(() => {});
}

// Where it cannot (an iPhone's browser has no fullscreen for a canvas), the picture fills the page
// at 4:3 as it is, and a phone held upright is asked, briefly, to turn.
function fillPage() {
  $('turn').hidden = !(navigator.maxTouchPoints > 0) || document.body.dataset.state !== 'running';
}

// The screen stays on while the piece plays: a wake lock, asked for again whenever the page is
// shown again (the browser lets it go while the page is hidden), let go at the end. Without the
// API, or when the browser refuses, the piece plays all the same.
const wakeLock = {wanted: false, lock: null, asking: false};
function keepAwake(on) {
  wakeLock.wanted = on;
  if (!on) {
    if (wakeLock.lock) wakeLock.lock.release().catch(() => {});
    wakeLock.lock = null;
    return;
  }
  if ((wakeLock.lock && !wakeLock.lock.released) || wakeLock.asking || !navigator.wakeLock ||
      document.visibilityState !== 'visible') return;
  wakeLock.asking = true;
  Promise.resolve().then(() => navigator.wakeLock.request('screen')).then(lock => {
    wakeLock.asking = false;
    if (wakeLock.wanted) wakeLock.lock = lock;
    else lock.release().catch(() => {});
  }, () => { wakeLock.asking = false; });
}
document.addEventListener('visibilitychange', () => {
  if (wakeLock.wanted && document.visibilityState === 'visible') keepAwake(true);
});

// An iPhone or iPad before iOS 17 has no navigator.audioSession to declare the sound playback, and
// there Web Audio stays silent while the ringer switch is off, unless media plays: so a silent
// <audio> loop plays beside the piece, started by the same tap, and stops with it.
const silentMedia = {element: null};
function holdMediaPlayback(on) {
  const apple = /iP(hone|ad|od)/.test(navigator.userAgent) ||
    (navigator.platform === 'MacIntel' && navigator.maxTouchPoints > 1);
  if (on && apple && !navigator.audioSession && !silentMedia.element) {
    // A tenth of a second of 8 kHz, 8-bit mono silence, as a WAV file.
    const samples = 800, bytes = new DataView(new ArrayBuffer(44 + samples));
    [[0, 0x52494646], [8, 0x57415645], [12, 0x666d7420], [36, 0x64617461]].forEach(([at, tag]) => bytes.setUint32(at, tag));
    [[4, 36 + samples], [16, 16], [24, 8000], [28, 8000], [40, samples]].forEach(([at, v]) => bytes.setUint32(at, v, true));
    [[20, 1], [22, 1], [32, 1], [34, 8]].forEach(([at, v]) => bytes.setUint16(at, v, true));
    for (let i = 0; i < samples; ++i) bytes.setUint8(44 + i, 128);
    const element = silentMedia.element = document.createElement('audio');
    element.src = URL.createObjectURL(new Blob([bytes], {type: 'audio/wav'}));
    element.loop = true;
    element.setAttribute('playsinline', '');
    document.body.appendChild(element);
    element.play().catch(() => {});
  } else if (!on && silentMedia.element) {
    silentMedia.element.pause();
    URL.revokeObjectURL(silentMedia.element.src);
    silentMedia.element.remove();
    silentMedia.element = null;
  }
}

// The sound ends with the run, as a program's sound ends with its process.
function stopSound(page) {
  const context = page.audio && page.audio.context;
  if (context && context.close && context.state !== 'closed') context.close().catch(() => {});
}

// A lost WebGL context (a GPU reset, a driver update, too many tabs) ends the run: the piece's GL
// state carries over from frame to frame, so it cannot go on where it was. The page says so at
// once and stops the sound, and the piece is closed as by the window's close button (its loop
// runs on meanwhile, drawing nothing). A fresh canvas then takes the lost one's place, since a
// canvas whose context was lost gives only that context again, and Play starts a fresh run.
function contextLost(module, event) {
  const page = module.page;
  event.preventDefault();
  if (page.lost || document.body.dataset.state !== 'running') return;
  page.lost = true;
  document.body.dataset.state = 'lost';
  stopSound(page);
  page.events.push([0x10, 0]);  // WM_CLOSE
  page.fullscreen(false);
  $('fullscreen').hidden = $('close').hidden = $('turn').hidden = true;
  $('play').disabled = true;
  $('play').textContent = 'Loading\u2026';
  $('start').hidden = false;
  const problem = $('problem');
  problem.textContent = 'The graphics context was lost (the browser or its graphics driver reset it), ' +
                        'so the piece stopped. Play starts it again from the beginning.';
  problem.hidden = false;
}

function freshCanvas() {
  const old = $('canvas'), canvas = old.cloneNode(false);
  old.replaceWith(canvas);
}

async function run() {
  const module = window.piece = ready;
  ready = null;
  module.page.reducedFlashing = $('reduce').checked;
  module.page.antialias = $('smooth').checked;
  $('start').hidden = $('end').hidden = $('problem').hidden = true;
  $('fullscreen').hidden = $('close').hidden = !!still;
  document.body.dataset.state = 'running';
  const lost = event => contextLost(module, event);
  module.page.canvas.addEventListener('webglcontextlost', lost);
  if (!still) {
    keepAwake(true);
    holdMediaPlayback(true);
  }
  try {
    module.page.exitCode = await module.ccall('main', 'number', ['number', 'number'], [0, 0], {async: true});
  } catch (e) {
    module.page.exitCode = e && typeof e.status === 'number' ? e.status : 1;  // exit() after a fatal error
  }
  module.page.canvas.removeEventListener('webglcontextlost', lost);
  keepAwake(false);
  holdMediaPlayback(false);
  $('fullscreen').hidden = $('close').hidden = $('turn').hidden = true;
  if (module.page.lost) {
    freshCanvas();
    document.body.dataset.state = 'loading';
    prepare($('play'));
    return;
  }
  document.body.dataset.state = 'ended';
  if (!still) {
    stopSound(module.page);
    module.page.fullscreen(false);
    $('end').hidden = false;
    $('again').disabled = true;
    prepare($('again'));
  }
}

// The service worker (sw.js) keeps the site for visits without a network; it needs http(s).
if (navigator.serviceWorker && location.protocol !== 'file:') {
  navigator.serviceWorker.register('sw.js').catch(() => {});
}

if (still) {
  $('start').hidden = true;
  prepare().then(module => module && run());
} else {
  $('play').dataset.label = 'Play';
  prepare($('play'));
  $('play').addEventListener('click', run);
  $('again').addEventListener('click', run);
}
