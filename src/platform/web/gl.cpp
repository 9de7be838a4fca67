// OpenGL 1.1, the part the piece draws with, and GLU's two matrix helpers, over WebGL.
//
// Immediate mode is batched: each vertex is taken to eye space on arrival with the modelview
// matrix of that moment (in single precision, as Mesa does), quads become two triangles, and the
// vertices pile up in one buffer that is drawn with a single WebGL call when something that
// affects them changes (the primitive kind, the projection, the fog, a clear) or the frame is
// presented. One draw call draws its primitives in order, so later ones still cover earlier ones
// as they do in GL without a depth test. The projection and the fog (computed per fragment from
// the eye-space depth, as Mesa does by default) are applied by the shaders.
//
// GLU's helpers follow Mesa's libGLU step for step, in the same mixture of double and single
// precision, so the matrices equal those of the Linux build.
#include <GL/gl.h>
#include <GL/glu.h>
#include <emscripten.h>

#include <cmath>
#include <initializer_list>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "web/web.h"

namespace {

// Column-major 4 x 4, as GL keeps it.
struct Matrix {
    GLfloat m[16];
};

const Matrix Identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

// The depths GL promises at least.
const int ModelviewDepth = 32;
const int ProjectionDepth = 2;

// x, y, z in eye space, then red, green, blue.
const int FloatsPerVertex = 6;
const int MostVertices = 1 << 16;

struct State {
    Matrix modelview[ModelviewDepth];
    Matrix projection[ProjectionDepth];
    int modelviewTop = 0;
    int projectionTop = 0;
    GLenum matrixMode = GL_MODELVIEW;

    GLfloat clearColour[4] = {0, 0, 0, 0};
    GLfloat colour[3] = {1, 1, 1};
    bool fogOn = false;
    GLenum fogMode = GL_EXP;
    GLfloat fogDensity = 1, fogStart = 0, fogEnd = 1;
    GLfloat fogColour[3] = {0, 0, 0};

    // The primitive being sent (0 outside glBegin/glEnd) and its vertices so far.
    GLenum primitive = 0;
    GLfloat pending[4][FloatsPerVertex];
    int pendingCount = 0;

    // Vertices waiting to be drawn, all lines or all triangles.
    GLfloat vertices[MostVertices * FloatsPerVertex];
    int vertexCount = 0;
    bool batchIsLines = false;

    // Frames that nobody will see (a still's lead-in) skip the drawing, and only the drawing.
    bool drawing = true;
    bool context = false;
    char* log = nullptr;
    size_t logUsed = 0, logSize = 0;
};

State state;

Matrix& Current() {
    return state.matrixMode == GL_PROJECTION ? state.projection[state.projectionTop]
                                             : state.modelview[state.modelviewTop];
}

// product = a * b, summed in Mesa's order.
Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix p;
    for (int i = 0; i < 4; ++i) {
        const GLfloat ai0 = a.m[i], ai1 = a.m[4 + i], ai2 = a.m[8 + i], ai3 = a.m[12 + i];
        for (int j = 0; j < 4; ++j) {
            p.m[4 * j + i] = ai0 * b.m[4 * j] + ai1 * b.m[4 * j + 1] + ai2 * b.m[4 * j + 2] +
                             ai3 * b.m[4 * j + 3];
        }
    }
    return p;
}

// clang-format off
EM_JS(int, WebGlStart, (int depth, int stencil, int preserve), {
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
    gl.bufferData(gl.ARRAY_BUFFER, (1 << 16) * 24, gl.DYNAMIC_DRAW);
    gl.enableVertexAttribArray(0);
    gl.enableVertexAttribArray(1);
    gl.vertexAttribPointer(0, 3, gl.FLOAT, false, 24, 0);
    gl.vertexAttribPointer(1, 3, gl.FLOAT, false, 24, 12);
    Module.gl = {gl, link, program, buffer, P: gl.getUniformLocation(program, "P"),
                 F: gl.getUniformLocation(program, "F"), C: gl.getUniformLocation(program, "C")};
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
    gl.bufferSubData(gl.ARRAY_BUFFER, 0, HEAPF32.subarray(vertices >> 2, (vertices >> 2) + count * 6));
    gl.drawArrays(lines ? gl.LINES : gl.TRIANGLES, 0, count);
});
// clang-format on

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

void Emit(const GLfloat* vertex) {
    std::memcpy(&state.vertices[state.vertexCount * FloatsPerVertex], vertex,
                sizeof(GLfloat) * FloatsPerVertex);
    ++state.vertexCount;
}

// A whole primitive goes into the batch at once, so a flush never splits one.
void EmitPrimitive() {
    const bool lines = state.primitive == GL_LINES;
    const int count = state.primitive == GL_QUADS ? 6 : state.pendingCount;
    if (state.vertexCount > 0 &&
        (lines != state.batchIsLines || state.vertexCount + count > MostVertices)) {
        Flush();
    }
    state.batchIsLines = lines;
    GLfloat(&v)[4][FloatsPerVertex] = state.pending;
    if (state.primitive == GL_QUADS) {
        // Split as Mesa's llvmpipe splits a quad: (0, 1, 3) and (1, 2, 3).
        for (int n : {0, 1, 3, 1, 2, 3}) {
            Emit(v[n]);
        }
    } else {
        for (int n = 0; n < state.pendingCount; ++n) {
            Emit(v[n]);
        }
    }
    state.pendingCount = 0;
}

int PrimitiveSize(GLenum mode) {
    switch (mode) {
        case GL_LINES:
            return 2;
        case GL_TRIANGLES:
            return 3;
        case GL_QUADS:
            return 4;
        default:
            return 0;
    }
}

// Before anything that changes how batched vertices are to be drawn.
void ProjectionWillChange() {
    if (state.matrixMode == GL_PROJECTION) {
        Flush();
    }
}

void Translate(GLfloat x, GLfloat y, GLfloat z) {
    ProjectionWillChange();
    GLfloat* m = Current().m;
    m[12] = m[0] * x + m[4] * y + m[8] * z + m[12];
    m[13] = m[1] * x + m[5] * y + m[9] * z + m[13];
    m[14] = m[2] * x + m[6] * y + m[10] * z + m[14];
    m[15] = m[3] * x + m[7] * y + m[11] * z + m[15];
}

void MultiplyCurrent(const Matrix& m) {
    ProjectionWillChange();
    Current() = Multiply(Current(), m);
}

// Colours are clamped to [0, 1] when they are given.
void SetClamped(GLfloat* to, std::initializer_list<GLfloat> from) {
    for (GLfloat c : from) {
        *to++ = c < 0 ? 0 : c > 1 ? 1 : c;
    }
}

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
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

}  // namespace

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
    state.modelview[0] = Identity;
    state.projection[0] = Identity;
    state.context = WebGlStart(depthBits, stencilBits, preserve) != 0;
    return state.context;
}

void GlStop() {
    state.context = false;
    WebGlStop();
}

void GlPresent(bool nextFrameDrawn) {
    Flush();
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

extern "C" {

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) {
    Log("glClearColor %.9g %.9g %.9g %.9g\n", red, green, blue, alpha);
    SetClamped(state.clearColour, {red, green, blue, alpha});
}

void glClear(GLbitfield mask) {
    Log("glClear %u\n", mask);
    Flush();
    if (state.drawing && state.context) {
        const GLfloat* c = state.clearColour;
        WebGlClear(c[0], c[1], c[2], c[3],
                   static_cast<int>(
                       mask & (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT)));
    }
}

void glEnable(GLenum cap) {
    Log("glEnable %u\n", cap);
    if (cap == GL_FOG && !state.fogOn) {
        Flush();
        state.fogOn = true;
    }
}

void glDisable(GLenum cap) {
    Log("glDisable %u\n", cap);
    if (cap == GL_FOG && state.fogOn) {
        Flush();
        state.fogOn = false;
    }
}

// Fog is computed per fragment whatever the hint.
void glHint(GLenum target, GLenum mode) {
    Log("glHint %u %u\n", target, mode);
}

void glFogf(GLenum pname, GLfloat param) {
    Log("glFogf %u %.9g\n", pname, param);
    Flush();
    switch (pname) {
        case GL_FOG_MODE:
            state.fogMode = static_cast<GLenum>(param);
            break;
        case GL_FOG_DENSITY:
            if (param >= 0) {
                state.fogDensity = param;
            }
            break;
        case GL_FOG_START:
            state.fogStart = param;
            break;
        case GL_FOG_END:
            state.fogEnd = param;
            break;
        default:
            break;
    }
}

void glFogi(GLenum pname, GLint param) {
    Log("glFogi %u %d\n", pname, param);
    Flush();
    if (pname == GL_FOG_MODE) {
        state.fogMode = static_cast<GLenum>(param);
    }
}

void glFogfv(GLenum pname, const GLfloat* params) {
    if (pname != GL_FOG_COLOR) {
        Log("glFogfv %u %.9g\n", pname, params[0]);
        glFogf(pname, params[0]);
        return;
    }
    Log("glFogfv %u %.9g %.9g %.9g %.9g\n", pname, params[0], params[1], params[2], params[3]);
    Flush();
    SetClamped(state.fogColour, {params[0], params[1], params[2]});
}

void glMatrixMode(GLenum mode) {
    Log("glMatrixMode %u\n", mode);
    if (mode == GL_MODELVIEW || mode == GL_PROJECTION) {
        state.matrixMode = mode;
    }
}

void glLoadIdentity() {
    Log("glLoadIdentity\n");
    ProjectionWillChange();
    Current() = Identity;
}

void glPushMatrix() {
    Log("glPushMatrix\n");
    const bool projection = state.matrixMode == GL_PROJECTION;
    Matrix* stack = projection ? state.projection : state.modelview;
    int& top = projection ? state.projectionTop : state.modelviewTop;
    if (top + 1 < (projection ? ProjectionDepth : ModelviewDepth)) {
        stack[top + 1] = stack[top];
        ++top;
    }
}

void glPopMatrix() {
    Log("glPopMatrix\n");
    ProjectionWillChange();
    int& top = state.matrixMode == GL_PROJECTION ? state.projectionTop : state.modelviewTop;
    if (top > 0) {
        --top;
    }
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    Log("glTranslatef %.9g %.9g %.9g\n", x, y, z);
    Translate(x, y, z);
}

void glBegin(GLenum mode) {
    Log("glBegin %u\n", mode);
    state.primitive = PrimitiveSize(mode) != 0 ? mode : 0;
    state.pendingCount = 0;
}

// An unfinished primitive is dropped, as GL drops it.
void glEnd() {
    Log("glEnd\n");
    state.primitive = 0;
    state.pendingCount = 0;
}

void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
    Log("glColor4f %.9g %.9g %.9g %.9g\n", red, green, blue, alpha);
    // Alpha cannot show: nothing blends, and the page's canvas has none.
    SetClamped(state.colour, {red, green, blue});
}

void glColor3f(GLfloat red, GLfloat green, GLfloat blue) {
    Log("glColor3f %.9g %.9g %.9g\n", red, green, blue);
    SetClamped(state.colour, {red, green, blue});
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    Log("glVertex3f %.9g %.9g %.9g\n", x, y, z);
    if (state.primitive == 0) {
        return;
    }
    const GLfloat* m = state.modelview[state.modelviewTop].m;
    GLfloat* v = state.pending[state.pendingCount];
    v[0] = m[0] * x + m[4] * y + m[8] * z + m[12];
    v[1] = m[1] * x + m[5] * y + m[9] * z + m[13];
    v[2] = m[2] * x + m[6] * y + m[10] * z + m[14];
    std::memcpy(v + 3, state.colour, sizeof state.colour);
    if (++state.pendingCount == PrimitiveSize(state.primitive)) {
        EmitPrimitive();
    }
}

// Mesa's libGLU: the matrix in double, handed to GL as glMultMatrixd does, in single precision.
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    Log("gluPerspective %.17g %.17g %.17g %.17g\n", fovy, aspect, zNear, zFar);
    const double radians = fovy / 2 * 3.14159265358979323846 / 180;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    if (deltaZ == 0 || sine == 0 || aspect == 0) {
        return;
    }
    const double cotangent = std::cos(radians) / sine;
    double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(zFar + zNear) / deltaZ;
    m[11] = -1;
    m[14] = -2 * zNear * zFar / deltaZ;
    m[15] = 0;
    Matrix f;
    for (int n = 0; n < 16; ++n) {
        f.m[n] = static_cast<GLfloat>(m[n]);
    }
    MultiplyCurrent(f);
}

}  // extern "C"

namespace {

// libGLU normalises in single precision around a double square root, and gives up on a zero
// vector, leaving it as it is.
void Normalise(float v[3]) {
    const float r =
        static_cast<float>(std::sqrt(static_cast<double>(v[0] * v[0] + v[1] * v[1] + v[2] * v[2])));
    if (r == 0.0f) {
        return;
    }
    v[0] /= r;
    v[1] /= r;
    v[2] /= r;
}

void Cross(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

}  // namespace

extern "C" void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX,
                          GLdouble centerY, GLdouble centerZ, GLdouble upX, GLdouble upY,
                          GLdouble upZ) {
    Log("gluLookAt %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g\n", eyeX, eyeY, eyeZ,
        centerX, centerY, centerZ, upX, upY, upZ);
    float forward[3] = {static_cast<float>(centerX - eyeX), static_cast<float>(centerY - eyeY),
                        static_cast<float>(centerZ - eyeZ)};
    float up[3] = {static_cast<float>(upX), static_cast<float>(upY), static_cast<float>(upZ)};
    float side[3];
    Normalise(forward);
    Cross(forward, up, side);
    Normalise(side);
    Cross(side, forward, up);
    Matrix m = Identity;
    for (int n = 0; n < 3; ++n) {
        m.m[4 * n] = side[n];
        m.m[4 * n + 1] = up[n];
        m.m[4 * n + 2] = -forward[n];
    }
    MultiplyCurrent(m);
    // glTranslated, which GL takes in single precision.
    Translate(static_cast<GLfloat>(-eyeX), static_cast<GLfloat>(-eyeY),
              static_cast<GLfloat>(-eyeZ));
}
