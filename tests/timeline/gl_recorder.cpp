#include "gl_recorder.h"

namespace glrecord {
namespace {

bool recording = false;
std::vector<Call> calls;

void Add(const char* name, GLenum what, GLfloat a = 0, GLfloat b = 0, GLfloat c = 0,
         GLfloat d = 0) {
    if (recording) {
        calls.push_back(Call{name, what, {a, b, c, d}});
    }
}

}  // namespace

void Start() {
    calls.clear();
    recording = true;
}

std::vector<Call> Stop() {
    recording = false;
    std::vector<Call> out;
    out.swap(calls);
    return out;
}

}  // namespace glrecord

using glrecord::Add;

// The linker sends the stages' calls here (--wrap=NAME), and __real_NAME reaches the GL.
extern "C" {
void __real_glFogi(GLenum, GLint);
void __real_glFogf(GLenum, GLfloat);
void __real_glFogfv(GLenum, const GLfloat*);
void __real_glHint(GLenum, GLenum);
void __real_glEnable(GLenum);
void __real_glDisable(GLenum);
void __real_glBegin(GLenum);
void __real_glEnd();
void __real_glColor4f(GLfloat, GLfloat, GLfloat, GLfloat);
void __real_glVertex3f(GLfloat, GLfloat, GLfloat);
void __real_glTranslatef(GLfloat, GLfloat, GLfloat);
void __real_glPushMatrix();
void __real_glPopMatrix();

void __wrap_glFogi(GLenum p, GLint v) {
    Add("glFogi", p, static_cast<GLfloat>(v));
    __real_glFogi(p, v);
}
void __wrap_glFogf(GLenum p, GLfloat v) {
    Add("glFogf", p, v);
    __real_glFogf(p, v);
}
void __wrap_glFogfv(GLenum p, const GLfloat* v) {
    Add("glFogfv", p, v[0], v[1], v[2], v[3]);
    __real_glFogfv(p, v);
}
void __wrap_glHint(GLenum target, GLenum mode) {
    Add("glHint", target, static_cast<GLfloat>(mode));
    __real_glHint(target, mode);
}
void __wrap_glEnable(GLenum cap) {
    Add("glEnable", cap);
    __real_glEnable(cap);
}
void __wrap_glDisable(GLenum cap) {
    Add("glDisable", cap);
    __real_glDisable(cap);
}
void __wrap_glBegin(GLenum mode) {
    Add("glBegin", mode);
    __real_glBegin(mode);
}
void __wrap_glEnd() {
    Add("glEnd", 0);
    __real_glEnd();
}
void __wrap_glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    Add("glColor4f", 0, r, g, b, a);
    __real_glColor4f(r, g, b, a);
}
void __wrap_glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    Add("glVertex3f", 0, x, y, z);
    __real_glVertex3f(x, y, z);
}
void __wrap_glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    Add("glTranslatef", 0, x, y, z);
    __real_glTranslatef(x, y, z);
}
void __wrap_glPushMatrix() {
    Add("glPushMatrix", 0);
    __real_glPushMatrix();
}
void __wrap_glPopMatrix() {
    Add("glPopMatrix", 0);
    __real_glPopMatrix();
}
}
