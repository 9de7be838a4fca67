// Records the GL calls that the stages make, with their arguments, and passes every one on to the
// real GL. The test executable is linked with --wrap for each recorded function, so the stages
// run unchanged against Mesa while the test sees exactly what they sent.
#pragma once

#include <GL/gl.h>

#include <cstring>
#include <vector>

namespace glrecord {

struct Call {
    const char* name;
    GLenum what;     // the first enum argument, where the call has one
    GLfloat arg[4];  // the remaining arguments, converted to float
};

void Start();
std::vector<Call> Stop();

inline bool Is(const Call& call, const char* name) {
    return std::strcmp(call.name, name) == 0;
}

inline int Count(const std::vector<Call>& calls, const char* name) {
    int n = 0;
    for (const Call& call : calls) {
        n += Is(call, name) ? 1 : 0;
    }
    return n;
}

}  // namespace glrecord
