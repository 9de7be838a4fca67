// The page around the piece: it readies a fresh instance of the program, starts it on a click
// (the gesture that lets the page go fullscreen and play sound), shows its message boxes, and
// offers another run when it ends. The program reaches the page through `module.page`.
//
// The start page warns of the strobe and offers "Reduce flashing" (also ?reduced-flashing; on by
// default where the browser asks for reduced motion), which the program reads as
// page.reducedFlashing when it starts. While the piece runs, Alt+Enter, F11 and a small button
// switch the browser's fullscreen on and off; the piece is not told and runs on.
//
// ?fps=F&frame=N renders frame N of a run at F frames a second on a virtual clock, silently and
// without waiting for a click, and leaves it on the canvas; &record also keeps that frame's GL
// calls in page.recorded. body's data-state says where the page is: loading, ready, running, ended,
// or failed when the program cannot be loaded (then the page says why and what to do).
'use strict';
const $ = id => document.getElementById(id);
const query = new URLSearchParams(location.search);
const whole = (name, least, most, otherwise) =>
  Math.min(most, Math.max(least, Math.floor(Number(query.get(name))) || otherwise));
const still = query.has('frame')
  ? {fps: whole('fps', 1, 1000, 60), frame: whole('frame', 0, 1e6, 0), record: query.has('record')}
  : null;
let ready = null;  // the next run, loaded and waiting
$('reduce').checked =
  query.has('reduced-flashing') || matchMedia('(prefers-reduced-motion: reduce)').matches;

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
  page.fullscreen = on => {
    if (on) {
      $('stage').requestFullscreen().catch(() => {});
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

async function run() {
  const module = window.piece = ready;
  ready = null;
  module.page.reducedFlashing = $('reduce').checked;
  $('start').hidden = $('end').hidden = true;
  $('fullscreen').hidden = !!still;
  document.body.dataset.state = 'running';
  try {
    module.page.exitCode = await module.ccall('main', 'number', ['number', 'number'], [0, 0], {async: true});
  } catch (e) {
    module.page.exitCode = e && typeof e.status === 'number' ? e.status : 1;  // exit() after a fatal error
  }
  document.body.dataset.state = 'ended';
  $('fullscreen').hidden = true;
  if (!still) {
    module.page.fullscreen(false);
    $('end').hidden = false;
    $('again').disabled = true;
    prepare($('again'));
  }
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
