#!/usr/bin/env python3
"""The web build's frame rate in headless Chromium (SwiftShader's WebGL) in a 1920 x 1080 window at
devicePixelRatio 1 and 2, against a bare WebGL loop that draws the same vertices at the same size.

For each ratio: the piece plays for SECONDS from 5 s on (the lattice drawn) and its frames are
counted (page.frames, one a SwapBuffers); meanwhile eight of its frames' WebGL calls are recorded,
spread over the time (the vertex data it uploads, the clears, the viewport, the programs' sources
and uniforms at each draw). A bare page then replays them in turn, one a requestAnimationFrame,
on a canvas of the same drawing buffer, for
as long. The bare loop is WebGL alone: no piece, no GL emulation, no WebAssembly. ROUNDS rounds
alternate the two; the best of each is compared (the machine's load swings between rounds).

   bench/web_fps.py WEB_BIN [SECONDS [ROUNDS]]   (WEB_BIN: build-web/bin; 10 s, 2 rounds)
"""
import functools, http.server, json, os, sys, tempfile, threading, time
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

SITE = sys.argv[1]
SECONDS = float(sys.argv[2]) if len(sys.argv) > 2 else 10
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 2

# Wraps the piece's WebGL context while it is measured: window.trace collects the calls of a
# frame (SwapBuffers to SwapBuffers, page.frames) every `gap` ms, a list each; stopTrace() ends it
# and gives the recording. The other frames' calls only pass through.
RECORD = """const gl = piece.gl.gl, programs = [], buffers = [], trace = window.trace = [];
const index = (list, o) => (list.includes(o) || list.push(o), list.indexOf(o));
let program = gl.getParameter(gl.CURRENT_PROGRAM), bound = gl.getParameter(gl.ARRAY_BUFFER_BINDING);
const attribs = {}, original = {};
for (let i = 0; i < 8; i++) {
  if (gl.getVertexAttrib(i, gl.VERTEX_ATTRIB_ARRAY_ENABLED))
    attribs[i] = [gl.getVertexAttrib(i, gl.VERTEX_ATTRIB_ARRAY_SIZE), gl.getVertexAttrib(i, gl.VERTEX_ATTRIB_ARRAY_STRIDE),
                  gl.getVertexAttribOffset(i, gl.VERTEX_ATTRIB_ARRAY_POINTER)];
}
let keep = false, last = 0;
const wrap = (name, f) => { original[name] = gl[name]; gl[name] = function (...a) { f(...a); return original[name].apply(gl, a); }; };
const add = call => keep && trace[trace.length - 1].push(call);
wrap('useProgram', p => program = p);
wrap('bindBuffer', (t, b) => bound = b);
wrap('vertexAttribPointer', (i, size, type, norm, stride, offset) => attribs[i] = [size, stride, offset]);
wrap('disableVertexAttribArray', i => delete attribs[i]);
wrap('bufferSubData', (t, offset, data) => add(['data', index(buffers, bound), keep && Array.from(data)]));
for (const name of ['clearColor', 'clear', 'viewport', 'scissor', 'enable', 'disable', 'lineWidth'])
  wrap(name, (...a) => add([name, a]));
wrap('drawArrays', (mode, first, count) => {
  if (!keep) return;
  const uniforms = {};
  for (let i = 0; i < gl.getProgramParameter(program, gl.ACTIVE_UNIFORMS); i++) {
    const u = gl.getActiveUniform(program, i), v = gl.getUniform(program, gl.getUniformLocation(program, u.name));
    uniforms[u.name] = [u.type, typeof v === 'number' ? v : Array.from(v)];
  }
  add(['draw', index(programs, program), uniforms, JSON.parse(JSON.stringify(attribs)), mode, first, count]);
});
// The state the frames start from: the picture's viewport and scissor box, the line width.
const setup = [['viewport', Array.from(gl.getParameter(gl.VIEWPORT))], ['scissor', Array.from(gl.getParameter(gl.SCISSOR_BOX))],
               [gl.isEnabled(gl.SCISSOR_TEST) ? 'enable' : 'disable', [gl.SCISSOR_TEST]], ['lineWidth', [gl.getParameter(gl.LINE_WIDTH)]]];
let frames = piece.page.frames;
Object.defineProperty(piece.page, 'frames', {configurable: true, get: () => frames, set: n => {
  frames = n;
  keep = performance.now() - last >= %d;
  if (keep) { last = performance.now(); trace.push([]); }
}});
window.stopTrace = () => {
  for (const name in original) gl[name] = original[name];
  delete piece.page.frames;
  piece.page.frames = frames;
  if (keep) trace.pop();  // unfinished
  const sources = programs.map(p => {
    const [a, b] = gl.getAttachedShaders(p).map(s => [gl.getShaderParameter(s, gl.SHADER_TYPE), gl.getShaderSource(s)]);
    const n = gl.getProgramParameter(p, gl.ACTIVE_ATTRIBUTES), names = [];
    for (let i = 0; i < n; i++) { const at = gl.getActiveAttrib(p, i); names[gl.getAttribLocation(p, at.name)] = at.name; }
    return {vertex: (a[0] == gl.VERTEX_SHADER ? a : b)[1], fragment: (a[0] == gl.VERTEX_SHADER ? b : a)[1], names};
  });
  return JSON.stringify({width: gl.drawingBufferWidth, height: gl.drawingBufferHeight, sources, setup,
                         buffers: buffers.length, frames: trace});
};"""

# The bare loop: the recorded frames replayed in turn, one each animation frame.
BARE = """<!doctype html><body style="margin:0;background:#000"><canvas id="c" style="display:block;width:100vw;height:100vh"></canvas>
<script>
window.start = (recording, seconds) => {
  const r = JSON.parse(recording), c = document.getElementById('c');
  c.width = r.width; c.height = r.height;
  const gl = c.getContext('webgl', {alpha: false, antialias: false});
  const programs = r.sources.map(s => {
    const p = gl.createProgram();
    for (const [type, text] of [[gl.VERTEX_SHADER, s.vertex], [gl.FRAGMENT_SHADER, s.fragment]]) {
      const sh = gl.createShader(type); gl.shaderSource(sh, text); gl.compileShader(sh); gl.attachShader(p, sh);
    }
    s.names.forEach((name, i) => name && gl.bindAttribLocation(p, i, name));
    gl.linkProgram(p);
    return p;
  });
  const buffers = Array.from({length: r.buffers}, () => {
    const b = gl.createBuffer(); gl.bindBuffer(gl.ARRAY_BUFFER, b); gl.bufferData(gl.ARRAY_BUFFER, 1 << 22, gl.DYNAMIC_DRAW); return b;
  });
  const frames = r.frames.map(f => f.map(c => c[0] == 'data' ? [c[0], c[1], new Float32Array(c[2])] : c));
  const locations = programs.map(() => ({}));
  for (const [name, a] of r.setup) gl[name](...a);
  let n = 0;
  const end = performance.now() + seconds * 1000;
  return new Promise(done => {
    const frame = () => {
      for (const c of frames[n % frames.length]) {
        if (c[0] == 'data') { gl.bindBuffer(gl.ARRAY_BUFFER, buffers[c[1]]); gl.bufferSubData(gl.ARRAY_BUFFER, 0, c[2]); }
        else if (c[0] == 'draw') {
          const [, i, uniforms, attribs, mode, first, count] = c, p = programs[i];
          gl.useProgram(p);
          for (const name in uniforms) {
            const at = locations[i][name] = locations[i][name] || gl.getUniformLocation(p, name), [type, v] = uniforms[name];
            if (type == gl.FLOAT_MAT4) gl.uniformMatrix4fv(at, false, v);
            else if (type == gl.FLOAT_VEC4) gl.uniform4fv(at, v);
            else if (type == gl.FLOAT_VEC3) gl.uniform3fv(at, v);
            else if (type == gl.FLOAT) gl.uniform1f(at, v);
            else gl.uniform1i(at, v);
          }
          for (let a = 0; a < 8; a++) {
            if (attribs[a]) { gl.enableVertexAttribArray(a); gl.vertexAttribPointer(a, attribs[a][0], gl.FLOAT, false, attribs[a][1], attribs[a][2]); }
            else gl.disableVertexAttribArray(a);
          }
          gl.drawArrays(mode, first, count);
        } else gl[c[0]](...c[1]);
      }
      n++;
      if (performance.now() < end) requestAnimationFrame(frame); else done(n);
    };
    requestAnimationFrame(frame);
  });
};
</script>"""


class Site(http.server.SimpleHTTPRequestHandler):
    """The site, and beside it the bare page and the recording it replays."""
    log_message = lambda *args: None
    recording = ''

    def do_GET(self):
        if self.path in ('/bare.html', '/recording.json'):
            body = BARE.encode() if self.path == '/bare.html' else Site.recording.encode()
            self.send_response(200)
            self.send_header('Content-Type', 'text/html' if self.path == '/bare.html' else 'application/json')
            self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        super().do_GET()


def wait(script, seconds=60):
    end = time.monotonic() + seconds
    while not browser.execute_script('return ' + script):
        if time.monotonic() > end:
            sys.exit('timed out waiting for: ' + script)
        time.sleep(0.1)


server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), functools.partial(Site, directory=SITE))
threading.Thread(target=server.serve_forever, daemon=True).start()
url = f'http://127.0.0.1:{server.server_port}/'
options = webdriver.ChromeOptions()
options.binary_location = '/usr/bin/chromium'
profile = tempfile.TemporaryDirectory()
for argument in ['--headless', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
                 '--disable-background-networking', '--no-first-run', '--user-data-dir=' + profile.name,
                 '--window-size=1920,1080']:
    options.add_argument(argument)
browser = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
browser.set_script_timeout(SECONDS * 3 + 120)
print(f'load average at the start: {" ".join(f"{x:.2f}" for x in os.getloadavg())}')
try:
    for ratio in (1, 2):
        browser.execute_cdp_cmd('Emulation.setDeviceMetricsOverride', {'width': 1920, 'height': 1080,
                                                                       'deviceScaleFactor': ratio, 'mobile': False})
        pieces, bares = [], []
        for round in range(ROUNDS):
            browser.get(url)
            wait("document.body.dataset.state == 'ready'")
            browser.find_element(By.ID, 'play').click()
            # From 5 s into the piece: the lattice drawn (before, little or nothing is).
            wait(f'window.piece && piece.page.frames > 5 && piece.page.canvas.width == {1920 * ratio} && '
                 'performance.now() - piece.page.firstFrameAt > 5000', 60)
            if round == 0:
                browser.execute_script(RECORD % (SECONDS * 1000 / 8))
            first = browser.execute_script('return [piece.page.frames, performance.now()]')
            time.sleep(SECONDS)
            last = browser.execute_script('return [piece.page.frames, performance.now(), piece.page.canvas.width, '
                                          'piece.page.canvas.height, piece.gl.line]')
            pieces.append((last[0] - first[0]) / (last[1] - first[1]) * 1000)
            if round == 0:
                Site.recording = browser.execute_script('return stopTrace()')
            browser.get(url + 'bare.html')
            frames = browser.execute_async_script(f'fetch("recording.json").then(r => r.text()).then(r => start(r, {SECONDS}))'
                                                  '.then(arguments[0])')
            bares.append(frames / SECONDS)
        recorded = json.loads(Site.recording)['frames']
        vertices = sum(c[6] for f in recorded for c in f if c[0] == 'draw') / max(1, len(recorded))
        piece, bare = max(pieces), max(bares)
        print(f'devicePixelRatio {ratio}: buffer {last[2]}x{last[3]}, lines {last[4]} px, {vertices:.0f} vertices a frame; '
              f'piece {" ".join(f"{x:.2f}" for x in pieces)} fps, bare WebGL {" ".join(f"{x:.2f}" for x in bares)} fps; '
              f'best against best {piece / bare:.3f}', flush=True)
finally:
    browser.quit()
    server.shutdown()
print(f'load average at the end: {" ".join(f"{x:.2f}" for x in os.getloadavg())}')
