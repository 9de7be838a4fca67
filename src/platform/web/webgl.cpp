// The WebGL side of the web back end's GL: the context on the page's canvas, its shaders, and the
// one draw call a batch makes; the call log for the tests.
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
// `floats` is FloatsPerVertex and `most` MostVertices (gl_state.h).
EM_JS(int, WebGlStart, (int depth, int stencil, int preserve, int floats, int most), {
    const canvas = Module.page.canvas;
    const gl = canvas.getContext("webgl", {alpha: false, depth: !!depth, stencil: !!stencil,
        antialias: false, preserveDrawingBuffer: !!preserve});
    if (!gl) return 0;
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
    // F: fog mode (0 off, 1 EXP, 2 EXP2, 3 LINEAR), density, start, end.
    const program = link(
        "attribute vec3 p; attribute vec3 c; uniform mat4 P; varying vec3 v; varying float z;" +
        "void main() { v = c; z = abs(p.z); gl_Position = P * vec4(p, 1.0); }",
        "precision highp float; varying vec3 v; varying float z; uniform vec4 F; uniform vec3 C;" +
        "void main() { float f = 1.0;" +
        " if (F.x == 1.0) f = exp(-F.y * z);" +
        " else if (F.x == 2.0) f = exp(-(F.y * z) * (F.y * z));" +
        " else if (F.x == 3.0) f = (F.w - z) / (F.w - F.z);" +
        " gl_FragColor = vec4(mix(C, v, clamp(f, 0.0, 1.0)), 1.0); }",
        ["p", "c"]);
    if (!program) return 0;
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
    Module.gl = {gl, link, program, buffer, floats, vertexLayout,
                 P: gl.getUniformLocation(program, "P"), F: gl.getUniformLocation(program, "F"),
                 C: gl.getUniformLocation(program, "C")};
    return 1;
});

EM_JS(void, WebGlStop, (), {
    const g = Module.gl;
    if (g) {
        g.gl.deleteBuffer(g.buffer);
        g.gl.deleteProgram(g.program);
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

EM_JS(void, WebGlDraw, (const float* vertices, int count, int lines, const float* projection,
                        int fogMode, float density, float start, float end, const float* colour), {
    const g = Module.gl, gl = g.gl;
    gl.uniformMatrix4fv(g.P, false, HEAPF32.subarray(projection >> 2, (projection >> 2) + 16));
    gl.uniform4f(g.F, fogMode, density, start, end);
    gl.uniform3f(g.C, HEAPF32[colour >> 2], HEAPF32[(colour >> 2) + 1], HEAPF32[(colour >> 2) + 2]);
    gl.bufferSubData(gl.ARRAY_BUFFER, 0, HEAPF32.subarray(vertices >> 2, (vertices >> 2) + count * g.floats));
    gl.drawArrays(lines ? gl.LINES : gl.TRIANGLES, 0, count);
});
// clang-format on

}  // namespace

void Flush() {
    if (state.vertexCount == 0) {
        return;
    }
    if (state.drawing && state.context) {
        int fogMode = 0;
        if (state.fogOn) {
            fogMode = state.fogMode == GL_EXP ? 1 : state.fogMode == GL_EXP2 ? 2 : 3;
        }
        WebGlDraw(state.vertices, state.vertexCount, state.batchIsLines,
                  state.projection[state.projectionTop].m, fogMode, state.fogDensity,
                  state.fogStart, state.fogEnd, state.fogColour);
    }
    state.vertexCount = 0;
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
    state.context = web_gl::WebGlStart(depthBits, stencilBits, preserve, web_gl::FloatsPerVertex,
                                       web_gl::MostVertices) != 0;
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
