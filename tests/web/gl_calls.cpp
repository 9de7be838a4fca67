// Prints the GL and GLU calls that the piece makes in the given frames of a run at FPS frames a
// second (frame n at n * 1000 / FPS ms), one a line as the web build records them, each frame
// after a line "frame N", for the web test to compare. The calls are not passed on: which calls
// the piece makes never depends on what GL does, and without drawing a late frame takes seconds.
//
//   web_gl_calls FPS FRAME...
#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstdlib>
#include <set>

#include "support/piece_run.h"
#include "platform/frame_time.h"

static bool recording = false;

// The linker sends the piece's calls here (--wrap=NAME).
extern "C" {
#define WRAP(name, params, format, ...)                  \
    void __wrap_##name params {                          \
        if (recording)                                   \
            std::printf(#name format "\n", __VA_ARGS__); \
    }
WRAP(glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), " %.9g %.9g %.9g %.9g", r, g,
     b, a)
WRAP(glClear, (GLbitfield mask), " %u", mask)
WRAP(glEnable, (GLenum cap), " %u", cap)
WRAP(glDisable, (GLenum cap), " %u", cap)
WRAP(glHint, (GLenum target, GLenum mode), " %u %u", target, mode)
WRAP(glFogf, (GLenum p, GLfloat v), " %u %.9g", p, v)
WRAP(glFogi, (GLenum p, GLint v), " %u %d", p, v)
WRAP(glMatrixMode, (GLenum mode), " %u", mode)
WRAP(glLoadIdentity, (), "%s", "")
WRAP(glPushMatrix, (), "%s", "")
WRAP(glPopMatrix, (), "%s", "")
WRAP(glEnd, (), "%s", "")
WRAP(glTranslatef, (GLfloat x, GLfloat y, GLfloat z), " %.9g %.9g %.9g", x, y, z)
WRAP(glBegin, (GLenum mode), " %u", mode)
WRAP(glColor3f, (GLfloat r, GLfloat g, GLfloat b), " %.9g %.9g %.9g", r, g, b)
WRAP(glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), " %.9g %.9g %.9g %.9g", r, g, b, a)
WRAP(glVertex3f, (GLfloat x, GLfloat y, GLfloat z), " %.9g %.9g %.9g", x, y, z)
WRAP(gluPerspective, (GLdouble f, GLdouble a, GLdouble n, GLdouble z), " %.17g %.17g %.17g %.17g",
     f, a, n, z)
WRAP(gluLookAt,
     (GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux,
      GLdouble uy, GLdouble uz),
     " %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g %.17g", ex, ey, ez, cx, cy, cz, ux, uy, uz)

void __wrap_glFogfv(GLenum p, const GLfloat* v) {
    if (recording && p == GL_FOG_COLOR)
        std::printf("glFogfv %u %.9g %.9g %.9g %.9g\n", p, v[0], v[1], v[2], v[3]);
    else if (recording)
        std::printf("glFogfv %u %.9g\n", p, v[0]);
}
}

int main(int argc, char** argv) {
    const int fps = argc > 2 ? std::atoi(argv[1]) : 0;
    if (fps <= 0) {
        std::fprintf(stderr, "usage: web_gl_calls FPS FRAME...\n");
        return 2;
    }
    std::set<int> frames;
    for (int n = 2; n < argc; ++n) {
        frames.insert(std::atoi(argv[n]));
    }
    testsupport::PieceRunOptions options;
    options.startTicks = 0;
    options.frameMs = [fps](int n) {
        return static_cast<std::uint32_t>(platform::FrameMs(n, fps));
    };
    // A frame's calls run from the previous present to its own.
    auto begin = [&](int n) {
        recording = frames.count(n) != 0;
        if (recording) {
            std::printf("frame %d\n", n);
        }
    };
    begin(0);
    options.onFrame = [&](int n, const host::Frame&) {
        begin(n + 1);
        return n < *frames.rbegin();
    };
    return testsupport::RunPiece(options).exitCode;
}
