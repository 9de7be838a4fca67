// The cue stages on a GL context of the tests' own: clear colour and fog frame after frame in time
// order (state carries over, as in a run); projection and camera against matrices worked out here
// from gluPerspective's and gluLookAt's definitions; the calls the boxes and the lattice send.
#include <GL/gl.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "support/gl_context.h"
#include "support/gl_recorder.h"
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
    // A fog mode and hint no row asks for (GL's initial ones are GL_EXP, GL_DONT_CARE).
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
    for (int r = 0; r < 3; ++r)
        m[12 + r] = -(m[r] * eye[0] + m[4 + r] * eye[1] + m[8 + r] * eye[2]);
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
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(m[i], expected[i], 2e-5 * (1 + std::fabs(expected[i]))) << "element " << i;
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

using Rgb = std::array<float, 3>;

// Each box is one GL_QUADS primitive of six faces, in the order top, bottom, front, back, left,
// right, each going round its edge. Box 1 is cyan all over; box 2's faces run from green at
// x = +H to dark cyan at x = -H, but for one corner of each side face.
TEST(Drawing, BackdropBoxesAreSixFacesInTheirColoursWithinTheirOpenIntervals) {
    testsupport::GlContext gl;
    ASSERT_TRUE(gl.ok());
    const int axis[6] = {1, 1, 2, 2, 0, 0};
    const float side[6] = {1, -1, 1, -1, -1, 1};
    const Rgb cyan = {0, 0.8f, 0.9f}, green = {0, 1, 0}, dark = {0, 0.5f, 0.5f};
    const struct {
        float t, H;  // H 0: no box
        int box;
    } frames[] = {{0, 0, 0},     {16.5f, 0, 0}, {16.501f, 4.5f, 1}, {30.999998f, 4.5f, 1},
                  {31.0f, 0, 0}, {47.3f, 0, 0}, {47.300003f, 6, 2}, {92.75f, 6, 2}};
    for (const auto& f : frames) {
        SCOPED_TRACE(f.t);
        glrecord::Start();
        DrawBackdropBoxes(f.t);
        const auto calls = glrecord::Stop();
        if (f.H == 0) {
            EXPECT_TRUE(calls.empty());
            continue;
        }
        ASSERT_TRUE(calls.front().Is("glBegin") && calls.front().mode == GL_QUADS);
        ASSERT_TRUE(calls.back().Is("glEnd"));
        Rgb colour = {-1, -1, -1};
        std::vector<std::array<float, 3>> vertices;
        for (const auto& call : calls) {
            if (call.Is("glColor3f")) {
                colour = {call.arg[0], call.arg[1], call.arg[2]};
            } else if (call.Is("glVertex3f")) {
                const std::array<float, 3> v = {call.arg[0], call.arg[1], call.arg[2]};
                const int face = static_cast<int>(vertices.size()) / 4;
                const bool right = v[0] > 0, top = v[1] > 0, front = v[2] > 0;
                Rgb want = cyan;
                if (f.box == 2 && face == 4 && top && front)
                    want = {0, 1, 0.7f};
                else if (f.box == 2 && face == 5 && top && !front)
                    want = {0.7f, 1, 0};
                else if (f.box == 2)
                    want = (face < 4 ? right : !top && front == (face == 4)) ? green : dark;
                EXPECT_EQ(colour, want) << "vertex " << vertices.size();
                for (float c : v)
                    EXPECT_EQ(std::fabs(c), f.H);
                EXPECT_EQ(v[static_cast<size_t>(axis[face])], side[face] * f.H) << "face " << face;
                if (vertices.size() % 4 != 0) {
                    const auto& before = vertices.back();
                    EXPECT_EQ((v[0] != before[0]) + (v[1] != before[1]) + (v[2] != before[2]), 1)
                        << "vertex " << vertices.size() << " does not go round its face";
                }
                vertices.push_back(v);
            }
        }
        EXPECT_EQ(vertices.size(), 24u);
    }
}

struct Cube {
    float x = 0, y = 0, z = 0;  // the translation
    GLenum mode = 0;            // 0: no primitive drawn
    float h = 0, alpha = 0;
    int vertices = 0;
};

struct Frame {
    std::vector<Cube> cubes;
    bool done = false;
};

// One lattice frame at t, split into its cubes at each push.
Frame LatticeAt(float t) {
    Frame frame;
    glrecord::Start();
    DrawCubeLattice(t, frame.done);
    int depth = 0;
    for (const auto& call : glrecord::Stop()) {
        if (call.Is("glPushMatrix") || call.Is("glPopMatrix")) {
            EXPECT_EQ(call.Is("glPushMatrix") ? depth++ : --depth, 0);
            if (depth == 1)
                frame.cubes.emplace_back();
            continue;
        }
        EXPECT_EQ(depth, 1) << call.name << " outside a cube's push and pop";
        Cube& cube = frame.cubes.back();
        if (call.Is("glTranslatef"))
            cube.x = call.arg[0], cube.y = call.arg[1], cube.z = call.arg[2];
        else if (call.Is("glBegin"))
            cube.mode = cube.mode ? ~0u : call.mode;  // two primitives for one cube: no mode
        else if (call.Is("glColor4f"))
            cube.alpha = call.arg[3];
        else if (call.Is("glVertex3f") && cube.vertices++ == 0)
            cube.h = call.arg[1];  // the first vertex is (-h, +h, -h)
    }
    return frame;
}

// h = 0.1 (2 + sin(((t - i) - j sin((t - i) + k)) - i)) in double, rounded once to float.
float HalfSize(float t, int i, int j, int k) {
    const double d = t;
    return static_cast<float>(0.1 * (2.0 + std::sin(((d - i) - j * std::sin((d - i) + k)) - i)));
}

TEST(Drawing, LatticeCubesStandOnTheGridWithTheirBandsPrimitiveAndHalfSize) {
    testsupport::GlContext gl;
    ASSERT_TRUE(gl.ok());
    // mode 0: no band holds t, and no cube is drawn. The float 92.7 lies below the double.
    const struct {
        float t;
        GLenum mode;
        float alpha;
        bool done;
    } frames[] = {{-1.0f, 0, 0, false},           {0.0f, 0, 0, false},
                  {0.001f, GL_LINES, 1, false},   {10.0f, GL_LINES, 1, false},
                  {16.5f, 0, 0, false},           {16.501f, GL_QUADS, 3, false},
                  {26.0f, GL_QUADS, 3, false},    {26.5f, 0, 0, false},
                  {37.3f, GL_LINES, 1, false},    {68.0f, 0, 0, false},
                  {68.001f, GL_QUADS, 3, false},  {92.7f, GL_QUADS, 3, false},
                  {92.70001f, GL_QUADS, 3, true}, {96.0f, 0, 0, true}};
    for (const auto& f : frames) {
        SCOPED_TRACE(f.t);
        const Frame frame = LatticeAt(f.t);
        EXPECT_EQ(frame.done, f.done);
        ASSERT_EQ(frame.cubes.size(), 1000u);
        for (int i = 0; i < 10; ++i)
            for (int j = 0; j < 10; ++j)
                for (int k = 0; k < 10; ++k) {
                    const Cube& c = frame.cubes[static_cast<size_t>(100 * i + 10 * j + k)];
                    ASSERT_TRUE(c.x == k - 5 && c.y == j - 5 && c.z == i - 5) << i << j << k;
                    ASSERT_EQ(c.mode, f.mode);
                    ASSERT_EQ(c.vertices, f.mode ? 24 : 0);
                    ASSERT_EQ(c.alpha, f.alpha);
                    ASSERT_EQ(c.h, f.mode ? HalfSize(f.t, i, j, k) : 0.0f) << i << j << k;
                }
    }
    // Written out: at t = 10 the cube i = 1, j = 2, k = 3 stands at (-2, -3, -4).
    EXPECT_NEAR(LatticeAt(10.0f).cubes[123].h, 0.1 * (2 + std::sin(8 - 2 * std::sin(12.0))), 2e-8);
}

}  // namespace
