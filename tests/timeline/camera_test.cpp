// The projection and camera stage, against matrices worked out here in double precision from
// the definitions of gluPerspective and gluLookAt.
#include <GL/gl.h>

#include <array>
#include <cmath>
#include <initializer_list>

#include <gtest/gtest.h>

#include "support/gl_context.h"
#include "timeline/timeline.h"
#include "window/window.h"

namespace {

using Mat = std::array<double, 16>;  // column-major, as the GL keeps it
using Vec = std::array<double, 3>;

Mat Identity() {
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

Mat Multiply(const Mat& a, const Mat& b) {
    Mat m{};
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k)
                m[c * 4 + r] += a[k * 4 + r] * b[c * 4 + k];
    return m;
}

Vec Cross(const Vec& a, const Vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// A zero vector stays zero: that is what the GLU in use does with row 4's zero up vector.
Vec Normalised(const Vec& v) {
    const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return n == 0 ? v : Vec{v[0] / n, v[1] / n, v[2] / n};
}

// f = centre - eye, s = f x up, u = s x f (f, s normalised); rows s, u, -f; then -eye.
Mat LookAt(const Vec& eye, const Vec& centre, const Vec& up) {
    const Vec f = Normalised({centre[0] - eye[0], centre[1] - eye[1], centre[2] - eye[2]});
    const Vec s = Normalised(Cross(f, up));
    const Vec u = Cross(s, f);
    Mat m = Identity();
    for (int i = 0; i < 3; ++i) {
        m[i * 4 + 0] = s[i];
        m[i * 4 + 1] = u[i];
        m[i * 4 + 2] = -f[i];
    }
    for (int r = 0; r < 3; ++r) {
        m[12 + r] = -(m[r] * eye[0] + m[4 + r] * eye[1] + m[8 + r] * eye[2]);
    }
    return m;
}

Mat Perspective(double fovyDegrees, double aspect, double zNear, double zFar) {
    const double f = 1.0 / std::tan(fovyDegrees * M_PI / 360.0);
    Mat m{};
    m[0] = f / aspect;
    m[5] = f;
    m[10] = (zFar + zNear) / (zNear - zFar);
    m[11] = -1;
    m[14] = 2 * zFar * zNear / (zNear - zFar);
    return m;
}

// The camera rows used below: eye multipliers, centre, up.
struct Row {
    double kx, ky, kz;
    Vec centre, up;
};
const Row Rows[14] = {
    {},
    {1, 5, 0.5, {0, 0, 0}, {1, 0, 0}},
    {1, 5, 0.5, {0, 0, 0}, {1, 0, 0}},
    {1, 5, 0.5, {0, 0, 0}, {1, 7, 0}},
    {1, 5, 0.1, {0, 1, 0}, {0, 0, 0}},
    {1, 0, 0.5, {0, 0, 0}, {1, 6, 0}},
    {1, 0, 0.5, {0, 0, 0}, {1, 5, 0}},
    {1, 5, 0.5, {0, 0, 0}, {1, 7, 0}},
    {1, 1, 0.5, {0, 0, 0}, {1, 5, 0}},
    {1, 3, 0.1, {0, 0, 0}, {8, 1, 0}},
    {10, 5, 13, {0, 0, 0}, {0, 1, 0}},
    {10, 5, 0, {0, 0, 0}, {0, 2, 0}},
    {1, 5, 0.5, {0, 0, 0}, {1, 0, 0}},
    {1, 5, 0.5, {0, 0, 0}, {1, 7, 0}},
};

// The view of the given rows at t: eye (sin t kx, sin(t - 3.1415) ky, cos t kz), each row's
// transform multiplied on the right of the ones before.
Mat ExpectedView(float t, std::initializer_list<int> rows) {
    const double d = t;
    Mat m = Identity();
    for (int n : rows) {
        const Row& r = Rows[n];
        const Vec eye = {std::sin(d) * r.kx, std::sin(d - 3.1415) * r.ky, std::cos(d) * r.kz};
        m = Multiply(m, LookAt(eye, r.centre, r.up));
    }
    return m;
}

Mat Current(GLenum which) {
    Mat m;
    glGetDoublev(which, m.data());
    return m;
}

// The GL and GLU keep single-precision matrices.
void ExpectNear(const Mat& actual, const Mat& expected, const char* what, float t) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(actual[i], expected[i], 2e-5 * (1 + std::fabs(expected[i])))
            << what << " at t = " << t << ", element " << i;
    }
}

class CameraTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gl.ok());
        DisplayState.width = 1024;
        DisplayState.height = 768;
    }
    void TearDown() override { DisplayState = DisplayStateRecord{}; }
    testsupport::GlContext gl;
};

TEST_F(CameraTest, ViewIsTheProductOfTheActiveRowsInTableOrder) {
    const struct {
        float t;
        std::initializer_list<int> rows;
    } cases[] = {
        {0.0f, {}},          {10.0f, {1}},      {10.75f, {2}}, {11.0f, {3}},     {14.0f, {3, 4}},
        {16.5f, {}},         {20.0f, {5}},      {30.0f, {6}},  {31.05f, {6, 7}}, {45.0f, {6, 7, 8}},
        {57.99f, {6, 7, 8}}, {63.0f, {9}},      {68.0f, {}},   {70.0f, {10}},    {72.0f, {10}},
        {72.01f, {10, 11}},  {79.0f, {10, 11}}, {85.0f, {12}}, {92.0f, {13}},
    };
    for (const auto& c : cases) {
        ApplyProjectionAndCameraCues(c.t);
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
        ExpectNear(Current(GL_MODELVIEW_MATRIX), ExpectedView(c.t, c.rows), "modelview", c.t);
    }
}

TEST_F(CameraTest, ProjectionFollowsTheClientSizeAndSurvivesAZeroHeight) {
    ApplyProjectionAndCameraCues(20.0f);
    ExpectNear(Current(GL_PROJECTION_MATRIX), Perspective(70, 1024.0 / 768.0, 1, 1000),
               "projection", 20.0f);

    WindowProcedure(nullptr, WM_SIZE, 0, MAKELPARAM(800, 450));
    ApplyProjectionAndCameraCues(20.0f);
    ExpectNear(Current(GL_PROJECTION_MATRIX), Perspective(70, 800.0 / 450.0, 1, 1000), "projection",
               20.0f);

    // A zero height gives the identity projection, the usual view, and no GL error.
    for (LPARAM size : {MAKELPARAM(1024, 0), MAKELPARAM(0, 0)}) {
        WindowProcedure(nullptr, WM_SIZE, 0, size);
        ApplyProjectionAndCameraCues(20.0f);
        ExpectNear(Current(GL_PROJECTION_MATRIX), Identity(), "projection", 20.0f);
        ExpectNear(Current(GL_MODELVIEW_MATRIX), ExpectedView(20.0f, {5}), "modelview", 20.0f);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    WindowProcedure(nullptr, WM_SIZE, 0, MAKELPARAM(1024, 768));
    ApplyProjectionAndCameraCues(20.0f);
    ExpectNear(Current(GL_PROJECTION_MATRIX), Perspective(70, 4.0 / 3.0, 1, 1000), "projection",
               20.0f);
}

}  // namespace
