// The WebGL side of the web back end's GL: the context on the page's canvas, its shaders, and the
// one draw call a batch makes; the call log for the tests.
//
// The picture may lie in a larger drawing buffer (picture_size.cpp): the viewport and the scissor
// box are its rectangle, and its lines are as many pixels wide, in proportion, as the native
// build's GL draws them (glLineWidth(height / 768), rounded to whole pixels as GL rounds an
// aliased line's width). WebGL draws lines only as wide as ALIASED_LINE_WIDTH_RANGE allows, and
// most browsers allow 1 pixel and no more; wider lines are then drawn as quads: each line two
// triangles whose corners the vertex shader moves by half the width in window pixels, up and
// down for a line closer to horizontal, sideways otherwise, as GL widens an aliased line. The
// shader cuts a line at the near plane first, as GL clips it, so that a line through it keeps its
// direction on the screen.
#include <emscripten.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "web/gl_state.h"
#include "web/web.h"

namespace web_gl {

State state;

namespace {

// clang-format off
// `floats` is FloatsPerVertex and `most` MostVertices (gl_state.h); `limits` receives the drawing
// buffer's size and the widest line WebGL draws. Smooth edges (page.antialias) are WebGL's
// multisampling, which a page can only switch on or off when the context is made; the browser
// picks the samples (commonly 4) and may give none (page.antialiased says what it gave).
EM_JS(int, WebGlStart, (int depth, int stencil, int preserve, int floats, int most, int* limits), {
    const page = Module.page, canvas = page.canvas;
    const gl = canvas.getContext("webgl", {alpha: false, depth: !!depth, stencil: !!stencil,
        antialias: !!page.antialias, preserveDrawingBuffer: !!preserve});
    if (!gl) return 0;
    page.antialiased = !!gl.getContextAttributes().antialias;
    // A linked program of the two shaders, its attributes numbered in order, or null.
    const link = (vertex, fragment, attributes) => {
        const program = gl.createProgram();
        const shaders = [gl.VERTEX_SHADER, vertex, gl.FRAGMENT_SHADER, fragment];
        for (let i = 0; i < 4; i += 2) {
            const s = gl.createShader(shaders[i]);
            gl.shaderSource(s, shaders[i + 1]);
            gl.compileShader(s);
            gl.attachShader(program, s);
        }
        attributes.forEach((name, i) => gl.bindAttribLocation(program, i, name));
        gl.linkProgram(program);
        return gl.getProgramParameter(program, gl.LINK_STATUS) ? program : null;
    };
    // F: fog mode (0 off, 1 EXP, 2 EXP2, 3 LINEAR), density, start, end. Both programs colour
    // their fragments so.
    const fogged =
        "precision highp float; varying vec3 v; varying float z; uniform vec4 F; uniform vec3 C;" +
        "void main() { float f = 1.0;" +
        " if (F.x == 1.0) f = exp(-F.y * z);" +
        " else if (F.x == 2.0) f = exp(-(F.y * z) * (F.y * z));" +
        " else if (F.x == 3.0) f = (F.w - z) / (F.w - F.z);" +
        " gl_FragColor = vec4(mix(C, v, clamp(f, 0.0, 1.0)), 1.0); }";
    const program = link(
        "attribute vec3 p; attribute vec3 c; uniform mat4 P; varying vec3 v; varying float z;" +
        "void main() { v = c; z = abs(p.z); gl_Position = P * vec4(p, 1.0); }",
        fogged,
        ["p", "c"]);
    // Lines as quads: p and c are this end's, q and d the other end's, s the side (-1 or 1);
    // W is the picture's width and height and the line's width, in pixels.
    const wideProgram = link(
        "attribute vec3 p; attribute vec3 c; attribute vec3 q; attribute vec3 d; attribute float s;" +
        "uniform mat4 P; uniform vec3 W; varying vec3 v; varying float z;" +
        "void main() { vec4 a0 = P * vec4(p, 1.0), b0 = P * vec4(q, 1.0);" +
        " float da = a0.z + a0.w, db = b0.z + b0.w;" +
        " float t = da < 0.0 ? da / (da - db) : 0.0, u = db < 0.0 ? db / (db - da) : 0.0;" +
        " vec4 a = mix(a0, b0, t), b = mix(b0, a0, u);" +
        " v = mix(c, d, t); z = abs(mix(p.z, q.z, t));" +
        " vec2 e = (b.xy / b.w - a.xy / a.w) * W.xy;" +
        " vec2 o = abs(e.x) >= abs(e.y) ? vec2(0.0, W.z / W.y) : vec2(W.z / W.x, 0.0);" +
        " gl_Position = da < 0.0 && db < 0.0 ? vec4(0.0, 0.0, -2.0, 1.0) : vec4(a.xy + s * o * a.w, a.zw); }",
        fogged,
        ["p", "c", "q", "d", "s"]);
    if (!program || !wideProgram) return 0;
    const wideBuffer = gl.createBuffer();
    gl.bindBuffer(gl.ARRAY_BUFFER, wideBuffer);
    gl.bufferData(gl.ARRAY_BUFFER, most * 13 * 4, gl.DYNAMIC_DRAW);
    const wide = {program: wideProgram, buffer: wideBuffer,
                  P: gl.getUniformLocation(wideProgram, "P"), F: gl.getUniformLocation(wideProgram, "F"),
                  C: gl.getUniformLocation(wideProgram, "C"), W: gl.getUniformLocation(wideProgram, "W")};
    gl.useProgram(program);
    const buffer = gl.createBuffer();
    gl.bindBuffer(gl.ARRAY_BUFFER, buffer);
    gl.bufferData(gl.ARRAY_BUFFER, most * floats * 4, gl.DYNAMIC_DRAW);
    // The batched vertices' layout in the bound buffer: p (x, y, z) then c (red, green, blue).
    // Whatever binds another buffer to draw puts this back with it.
    const vertexLayout = () => {
        gl.enableVertexAttribArray(0);
        gl.enableVertexAttribArray(1);
        gl.vertexAttribPointer(0, 3, gl.FLOAT, false, floats * 4, 0);
        gl.vertexAttribPointer(1, 3, gl.FLOAT, false, floats * 4, 3 * 4);
    };
    vertexLayout();
    Module.gl = {gl, link, program, buffer, floats, vertexLayout, wide,
                 P: gl.getUniformLocation(program, "P"), F: gl.getUniformLocation(program, "F"),
                 C: gl.getUniformLocation(program, "C"),
                 fit: [0, 0, gl.drawingBufferWidth, gl.drawingBufferHeight], line: 1};
    HEAP32[limits >> 2] = gl.drawingBufferWidth;
    HEAP32[(limits >> 2) + 1] = gl.drawingBufferHeight;
    HEAP32[(limits >> 2) + 2] = Math.floor(gl.getParameter(gl.ALIASED_LINE_WIDTH_RANGE)[1]);
    return 1;
});

EM_JS(void, WebGlStop, (), {
    const g = Module.gl;
    if (g) {
        g.gl.deleteBuffer(g.buffer);
        g.gl.deleteProgram(g.program);
        g.gl.deleteBuffer(g.wide.buffer);
        g.gl.deleteProgram(g.wide.program);
        if (g.copy) {  // reduced flashing's (reduce_flashing.cpp)
            g.gl.deleteProgram(g.copy.program);
            g.gl.deleteTexture(g.copy.texture);
            g.gl.deleteBuffer(g.copy.buffer);
        }
        Module.gl = null;
    }
});

EM_JS(void, WebGlClear, (float r, float g, float b, float a, int mask), {
    const gl = Module.gl.gl;
    gl.clearColor(r, g, b, a);
    gl.clear(mask);
});

// `kind`: 0 triangles, 1 lines, 2 lines as quads (WideFloats a vertex, drawn as triangles).
EM_JS(void, WebGlDraw, (const float* vertices, int count, int kind, const float* projection,
                        int fogMode, float density, float start, float end, const float* colour), {
    const g = Module.gl, gl = g.gl, quads = kind == 2, s = quads ? g.wide : g;
    if (quads) {
        gl.useProgram(s.program);
        gl.bindBuffer(gl.ARRAY_BUFFER, s.buffer);
        [3, 3, 3, 3, 1].reduce((at, n, i) => {
            gl.enableVertexAttribArray(i);
            gl.vertexAttribPointer(i, n, gl.FLOAT, false, 13 * 4, at * 4);
            return at + n;
        }, 0);
        gl.uniform3f(s.W, g.fit[2], g.fit[3], g.line);
    }
    gl.uniformMatrix4fv(s.P, false, HEAPF32.subarray(projection >> 2, (projection >> 2) + 16));
    gl.uniform4f(s.F, fogMode, density, start, end);
    gl.uniform3f(s.C, HEAPF32[colour >> 2], HEAPF32[(colour >> 2) + 1], HEAPF32[(colour >> 2) + 2]);
    gl.bufferSubData(gl.ARRAY_BUFFER, 0, HEAPF32.subarray(vertices >> 2, (vertices >> 2) + count * (quads ? 13 : g.floats)));
    gl.drawArrays(kind == 1 ? gl.LINES : gl.TRIANGLES, 0, count);
    if (quads) {
        for (const i of [2, 3, 4]) gl.disableVertexAttribArray(i);
        gl.useProgram(g.program);
        gl.bindBuffer(gl.ARRAY_BUFFER, g.buffer);
        g.vertexLayout();
    }
});

// The picture's rectangle in the drawing buffer; the scissor test keeps the piece's clears inside
// it, so that the borders stay black (a resized buffer starts black, and so does each frame of a
// buffer not preserved). `line`: the lines' width in pixels, `quads` whether drawn as quads.
EM_JS(void, WebGlPicture, (int x, int y, int width, int height, int whole, int line, int quads), {
    const g = Module.gl, gl = g.gl;
    gl.viewport(x, y, width, height);
    gl.scissor(x, y, width, height);
    if (whole) gl.disable(gl.SCISSOR_TEST);
    else gl.enable(gl.SCISSOR_TEST);
    if (!quads && line != g.line) gl.lineWidth(line);
    g.fit = [x, y, width, height];
    g.line = line;
});
// clang-format on

}  // namespace

namespace {

// A vertex of a line drawn as a quad: this end (x, y, z, red, green, blue), the other end, the
// side.
const int WideFloats = 2 * FloatsPerVertex + 1;
const int WideLines = 4096;  // lines a quad draw call
GLfloat wide[WideLines * 6 * WideFloats];

int widest = 1;  // the widest line WebGL draws, in pixels

void Draw(const GLfloat* vertices, int count, int kind) {
    int fogMode = 0;
    if (state.fogOn) {
        fogMode = state.fogMode == GL_EXP ? 1 : state.fogMode == GL_EXP2 ? 2 : 3;
    }
    WebGlDraw(vertices, count, kind, state.projection[state.projectionTop].m, fogMode,
              state.fogDensity, state.fogStart, state.fogEnd, state.fogColour);
}

// The batch's lines as quads: two triangles a line, a corner on each side of each end.
void DrawQuads() {
    const int lines = state.vertexCount / 2;
    for (int first = 0; first < lines; first += WideLines) {
        const int count = lines - first < WideLines ? lines - first : WideLines;
        GLfloat* to = wide;
        for (int n = first; n < first + count; ++n) {
            const GLfloat* a = &state.vertices[2 * n * FloatsPerVertex];
            const GLfloat* b = a + FloatsPerVertex;
            const struct {
                const GLfloat *end, *other;
                GLfloat side;
            } corners[6] = {{a, b, -1}, {a, b, 1}, {b, a, -1}, {a, b, 1}, {b, a, 1}, {b, a, -1}};
            for (const auto& c : corners) {
                std::memcpy(to, c.end, sizeof(GLfloat) * FloatsPerVertex);
                std::memcpy(to + FloatsPerVertex, c.other, sizeof(GLfloat) * FloatsPerVertex);
                to[2 * FloatsPerVertex] = c.side;
                to += WideFloats;
            }
        }
        Draw(wide, 6 * count, 2);
    }
}

}  // namespace

void Flush() {
    if (state.vertexCount == 0) {
        return;
    }
    if (state.drawing && state.context) {
        if (state.batchIsLines && state.quadLines) {
            DrawQuads();
        } else {
            Draw(state.vertices, state.vertexCount, state.batchIsLines ? 1 : 0);
        }
    }
    state.vertexCount = 0;
}

void Picture(int x, int y, int width, int height, int bufferWidth, int bufferHeight, int line) {
    Flush();
    state.lineWidth = line;
    state.quadLines = line > widest;
    WebGlPicture(x, y, width, height,
                 x == 0 && y == 0 && width == bufferWidth && height == bufferHeight, line,
                 state.quadLines);
    const int picture[4] = {x, y, width, height};
    std::memcpy(state.picture, picture, sizeof picture);
    state.buffer[0] = bufferWidth;
    state.buffer[1] = bufferHeight;
}

void ClearCanvas(GLbitfield mask) {
    if (state.drawing && state.context) {
        const GLfloat* c = state.clearColour;
        WebGlClear(c[0], c[1], c[2], c[3],
                   static_cast<int>(
                       mask & (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT)));
    }
}

// One line per call of the piece: the name, then the arguments, floats to 9 significant digits
// and doubles to 17, so that equal lines mean equal values.
void Log(const char* format, ...) {
    if (state.log == nullptr || state.logUsed >= state.logSize) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    const int n =
        std::vsnprintf(state.log + state.logUsed, state.logSize - state.logUsed, format, arguments);
    va_end(arguments);
    state.logUsed += n > 0 ? static_cast<size_t>(n) : 0;
}

}  // namespace web_gl

using web_gl::state;

namespace web {

bool GlStart(int depthBits, int stencilBits, bool preserve) {
    // A fresh context's state; the vertex buffer needs no resetting.
    state.modelviewTop = state.projectionTop = 0;
    state.matrixMode = GL_MODELVIEW;
    std::memset(state.clearColour, 0, sizeof state.clearColour);
    state.colour[0] = state.colour[1] = state.colour[2] = 1;
    state.fogOn = false;
    state.fogMode = GL_EXP;
    state.fogDensity = 1;
    state.fogStart = 0;
    state.fogEnd = 1;
    std::memset(state.fogColour, 0, sizeof state.fogColour);
    state.primitive = 0;
    state.pendingCount = state.vertexCount = 0;
    state.drawing = true;
    state.modelview[0] = web_gl::Identity;
    state.projection[0] = web_gl::Identity;
    int limits[3] = {0, 0, 1};
    state.context = web_gl::WebGlStart(depthBits, stencilBits, preserve, web_gl::FloatsPerVertex,
                                       web_gl::MostVertices, limits) != 0;
    const int picture[4] = {0, 0, limits[0], limits[1]};
    std::memcpy(state.picture, picture, sizeof picture);
    state.buffer[0] = limits[0];
    state.buffer[1] = limits[1];
    state.lineWidth = 1;
    state.quadLines = false;
    web_gl::widest = limits[2] > 1 ? limits[2] : 1;
    return state.context;
}

void GlStop() {
    state.context = false;
    web_gl::WebGlStop();
}

void GlPresent(bool nextFrameDrawn) {
    web_gl::Flush();
    state.drawing = nextFrameDrawn;
}

void StartLog(size_t size) {
    state.log = static_cast<char*>(std::malloc(size));
    state.logSize = state.log ? size : 0;
    state.logUsed = 0;
}

// The recorded calls, one a line; the caller frees them.
char* StopLog() {
    char* log = state.log;
    if (log != nullptr) {
        log[state.logUsed < state.logSize ? state.logUsed : state.logSize - 1] = '\0';
    }
    state.log = nullptr;
    return log;
}

}  // namespace web
