#include "gl_recorder.h"

namespace glrecord {
namespace {

bool recording = false;
std::vector<Call> calls;

}  // namespace

void Add(const char* name, GLenum mode, GLfloat a = 0, GLfloat b = 0, GLfloat c = 0,
         GLfloat d = 0) {
    if (recording) {
        calls.push_back(Call{name, mode, {a, b, c, d}});
    }
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

using glrecord::Add;

// The linker sends the calls here (--wrap=NAME); __real_NAME reaches the GL.
extern "C" {
void __real_glBegin(GLenum);
void __real_glEnd();
void __real_glColor3f(GLfloat, GLfloat, GLfloat);
void __real_glColor4f(GLfloat, GLfloat, GLfloat, GLfloat);
void __real_glVertex3f(GLfloat, GLfloat, GLfloat);
void __real_glTranslatef(GLfloat, GLfloat, GLfloat);
void __real_glPushMatrix();
void __real_glPopMatrix();

void __wrap_glBegin(GLenum mode) {
    Add("glBegin", mode);
    __real_glBegin(mode);
}
void __wrap_glEnd() {
    Add("glEnd", 0);
    __real_glEnd();
}
void __wrap_glColor3f(GLfloat r, GLfloat g, GLfloat b) {
    Add("glColor3f", 0, r, g, b, 1);
    __real_glColor3f(r, g, b);
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
