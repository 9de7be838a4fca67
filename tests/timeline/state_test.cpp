// The cue stages through the GL state they leave: the clear colour and the fog, one frame after
// another in time order (the state carries over between frames, as in a run); the projection and
// camera, against matrices worked out here in double precision from the definitions of
// gluPerspective and gluLookAt.
#include <GL/gl.h>

#include <array>
#include <cmath>
#include <initializer_list>

#include <gtest/gtest.h>

#include "support/gl_context.h"
#include "timeline/timeline.h"
#include "window/window.h"

namespace {

using Colour = std::array<float, 4>;

Colour Get(GLenum what) {
    Colour c{};
    glGetFloatv(what, c.data());
    return c;
}

TEST(Cues, ClearColourAndFogFollowTheirTablesInOrder) {
    testsupport::GlContext gl;
    ASSERT_TRUE(gl.ok());
    const Colour none = {0.25f, 0.5f, 0.75f, 1.0f};  // set by no cue
    const Colour black = {0, 0, 0, 0}, red = {1, 0, 0, 0}, green = {0, 1, 0, 0},
                 blue = {0, 0, 1, 0}, orange = {0.4f, 0.2f, 0, 0};
    glClearColor(none[0], none[1], none[2], none[3]);
    // A fog mode and hint no row asks for, unlike GL's initial GL_EXP and GL_DONT_CARE: the rows
    // must set theirs.
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glHint(GL_FOG_HINT, GL_NICEST);
    // density 0: fog still off. 10.8f lies above the double 10.8, 10.799999f below; 58 and 16.5
    // are on bounds, which no row holds.
    const struct {
        float t;
        Colour clear;
        float density, start, end;
    } frames[] = {
        {0.0f, none, 0, 0, 0},          {10.799999f, none, 0, 0, 0},  {10.8f, black, 0, 0, 0},
        {31.05f, black, 0, 0, 0},       {31.15f, red, 0, 0, 0},       {31.25f, black, 0, 0, 0},
        {31.35f, green, 0, 0, 0},       {31.45f, black, 0, 0, 0},     {31.55f, blue, 0, 0, 0},
        {31.65f, black, 0, 0, 0},       {31.75f, red, 0, 0, 0},       {31.85f, black, 0, 0, 0},
        {48.05f, black, 0, 0, 0},       {57.999996f, black, 0, 0, 0}, {58.0f, black, 0, 0, 0},
        {58.1f, orange, 0.1f, 1, 5},    {59.3f, orange, 0.9f, 1, 5},  {59.5f, orange, 0.1f, 1, 5},
        {59.7f, orange, 0.13f, 1, 5},   {61.5f, orange, 0.32f, 1, 5}, {62.7f, orange, 0.53f, 1, 5},
        {65.0f, orange, 0.54f, 1, 5},   {68.0f, orange, 0.54f, 1, 5}, {88.99f, orange, 0.54f, 1, 5},
        {90.0f, orange, 0.24f, 10, 50}, {96.0f, orange, 0.01f, 4, 5},
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(f.t);
        ApplyClearColourCues(f.t);
        ApplyFogCues(f.t);
        EXPECT_EQ(Get(GL_COLOR_CLEAR_VALUE), f.clear);
        EXPECT_EQ(glIsEnabled(GL_FOG), f.density != 0);
        EXPECT_EQ(Get(GL_FOG_MODE)[0], f.density != 0 ? GL_EXP : GL_LINEAR);
        EXPECT_EQ(Get(GL_FOG_HINT)[0], f.density != 0 ? GL_DONT_CARE : GL_NICEST);
        if (f.density != 0) {
            EXPECT_EQ(Get(GL_FOG_DENSITY)[0], f.density);
            EXPECT_EQ(Get(GL_FOG_START)[0], f.start);
            EXPECT_EQ(Get(GL_FOG_END)[0], f.end);
            EXPECT_EQ(Get(GL_FOG_COLOR), (Colour{0.9f, 0.4f, 0, 0}));
        }
    }
}

using Mat = std::array<double, 16>;  // column-major, as the GL keeps it
using Vec = std::array<double, 3>;

const Mat Identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Mat Multiply(const Mat& a, const Mat& b) {
    Mat m{};
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k)
                m[c * 4 + r] += a[k * 4 + r] * b[c * 4 + k];
    return m;
}

// A zero vector stays zero: that is what the GLU in use does with row 4's zero up vector.
Vec Normalised(const Vec& v) {
    const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return n == 0 ? v : Vec{v[0] / n, v[1] / n, v[2] / n};
}

Vec Cross(const Vec& a, const Vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// f = centre - eye, s = f x up, u = s x f (f, s normalised); rows s, u, -f; then -eye.
Mat LookAt(const Vec& eye, const Vec& centre, const Vec& up) {
    const Vec f = Normalised({centre[0] - eye[0], centre[1] - eye[1], centre[2] - eye[2]});
    const Vec s = Normalised(Cross(f, up));
    const Vec u = Cross(s, f);
    Mat m = Identity;
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

Mat Perspective(double aspect) {
    const double f = 1.0 / std::tan(70.0 * M_PI / 360.0), n = 1, far = 1000;
    Mat m{};
    m[0] = f / aspect;
    m[5] = f;
    m[10] = (far + n) / (n - far);
    m[11] = -1;
    m[14] = 2 * far * n / (n - far);
    return m;
}

// The camera rows, numbered from 1: eye multipliers, centre, up.
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
    Mat m = Identity;
    for (int n : rows) {
        const Row& r = Rows[n];
        const Vec eye = {std::sin(d) * r.kx, std::sin(d - 3.1415) * r.ky, std::cos(d) * r.kz};
        m = Multiply(m, LookAt(eye, r.centre, r.up));
    }
    return m;
}

// The GL and GLU keep single-precision matrices.
void ExpectMatrix(GLenum which, const Mat& expected) {
    Mat m;
    glGetDoublev(which, m.data());
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(m[i], expected[i], 2e-5 * (1 + std::fabs(expected[i]))) << "element " << i;
    }
}

TEST(Camera, ViewIsTheProductOfTheActiveRowsAndProjectionFollowsTheClientSize) {
    testsupport::GlContext gl;
    ASSERT_TRUE(gl.ok());
    // The size WM_SIZE last gave; a zero height keeps the identity projection and no GL error.
    const struct {
        float t;
        std::initializer_list<int> rows;
        int width, height;
    } frames[] = {
        {0.0f, {}, 1024, 768},         {10.0f, {1}, 1024, 768},        {10.75f, {2}, 1024, 768},
        {11.0f, {3}, 1024, 768},       {14.0f, {3, 4}, 1024, 768},     {16.5f, {}, 1024, 768},
        {20.0f, {5}, 800, 450},        {30.0f, {6}, 1024, 0},          {31.05f, {6, 7}, 0, 0},
        {45.0f, {6, 7, 8}, 1024, 768}, {57.99f, {6, 7, 8}, 1024, 768}, {63.0f, {9}, 1024, 768},
        {68.0f, {}, 1024, 768},        {70.0f, {10}, 1024, 768},       {72.0f, {10}, 1024, 768},
        {72.01f, {10, 11}, 1024, 768}, {79.0f, {10, 11}, 1024, 768},   {85.0f, {12}, 1024, 768},
        {92.0f, {13}, 1024, 768},
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(f.t);
        WindowProcedure(nullptr, WM_SIZE, 0, MAKELPARAM(f.width, f.height));
        ApplyProjectionAndCameraCues(f.t);
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
        ExpectMatrix(GL_MODELVIEW_MATRIX, ExpectedView(f.t, f.rows));
        ExpectMatrix(GL_PROJECTION_MATRIX,
                     f.height ? Perspective(static_cast<double>(f.width) / f.height) : Identity);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    DisplayState = DisplayStateRecord{};
}

}  // namespace
