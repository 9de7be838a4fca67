// Records the GL drawing calls made between Start and Stop, with their arguments, and passes each
// on to the GL. Executables using it are linked with --wrap=NAME for each recorded function (see
// tests/CMakeLists.txt), so the code under test runs unchanged against Mesa.
#pragma once

#include <GL/gl.h>

#include <cstring>
#include <vector>

namespace glrecord {

struct Call {
    const char* name;
    GLenum mode;     // glBegin's argument
    GLfloat arg[4];  // the float arguments
    bool Is(const char* n) const { return std::strcmp(name, n) == 0; }
};

void Start();
std::vector<Call> Stop();

}  // namespace glrecord
