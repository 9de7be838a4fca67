// GLU's two matrix helpers, over the web back end's GL. They follow Mesa's libGLU step for step,
// in the same mixture of double and single precision, so the matrices equal those of the Linux
// build.
#include <GL/glu.h>

#include <cmath>

#include "web/gl_state.h"

using namespace web_gl;

// Mesa's libGLU: the matrix in double, handed to GL as glMultMatrixd does, in single precision.
extern "C" void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
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
