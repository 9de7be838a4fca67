#include "gl_recorder.h"

namespace glrecord {

static bool recording = false;
static std::vector<Call> calls;

static void Add(const char* name, GLenum mode, GLfloat a = 0, GLfloat b = 0, GLfloat c = 0,
                GLfloat d = 0) {
    if (recording)
        calls.push_back(Call{name, mode, {a, b, c, d}});
}

void Start() {
    calls.clear();
    recording = true;
}

std::vector<Call> Stop() {
    recording = false;
    return std::move(calls);
}

}  // namespace glrecord

// The linker sends the calls here (--wrap=NAME); __real_NAME reaches the GL.
#define RECORDED(name, params, args, ...)  \
    extern "C" void __real_##name params;  \
    extern "C" void __wrap_##name params { \
        glrecord::Add(#name, __VA_ARGS__); \
        __real_##name args;                \
    }

RECORDED(glBegin, (GLenum mode), (mode), mode)
RECORDED(glEnd, (), (), 0)
RECORDED(glColor3f, (GLfloat r, GLfloat g, GLfloat b), (r, g, b), 0, r, g, b, 1)
RECORDED(glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a), 0, r, g, b, a)
RECORDED(glVertex3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), 0, x, y, z)
RECORDED(glTranslatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z), 0, x, y, z)
RECORDED(glPushMatrix, (), (), 0)
RECORDED(glPopMatrix, (), (), 0)
