// OpenGL 1.1, the part the piece draws with, over WebGL (the WebGL side in webgl.cpp, GLU in
// glu.cpp).
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

#include <cstring>
#include <initializer_list>

#include "web/gl_state.h"

namespace web_gl {

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

namespace {

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

}  // namespace

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

namespace {

// Colours are clamped to [0, 1] when they are given.
void SetClamped(GLfloat* to, std::initializer_list<GLfloat> from) {
    for (GLfloat c : from) {
        *to++ = c < 0 ? 0 : c > 1 ? 1 : c;
    }
}

}  // namespace
}  // namespace web_gl

using namespace web_gl;

extern "C" {

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) {
    Log("glClearColor %.9g %.9g %.9g %.9g\n", red, green, blue, alpha);
    SetClamped(state.clearColour, {red, green, blue, alpha});
}

void glClear(GLbitfield mask) {
    Log("glClear %u\n", mask);
    Flush();
    ClearCanvas(mask);
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

}  // extern "C"
