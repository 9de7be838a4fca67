// The backdrop boxes and the cube lattice, through the calls they send on their way to the GL.
#include <GL/gl.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "support/gl_context.h"
#include "support/gl_recorder.h"
#include "timeline/timeline.h"

namespace {

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
                if (f.box == 2) {
                    if (face == 4 && top && front) {
                        want = {0, 1, 0.7f};
                    } else if (face == 5 && top && !front) {
                        want = {0.7f, 1, 0};
                    } else {
                        want = (face == 4   ? !top && front
                                : face == 5 ? !top && !front
                                            : right)
                                   ? green
                                   : dark;
                    }
                }
                EXPECT_EQ(colour, want) << "vertex " << vertices.size();
                for (float c : v) {
                    EXPECT_EQ(std::fabs(c), f.H);
                }
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
        if (call.Is("glPushMatrix")) {
            EXPECT_EQ(depth++, 0);
            frame.cubes.emplace_back();
            continue;
        }
        if (call.Is("glPopMatrix")) {
            EXPECT_EQ(--depth, 0);
            continue;
        }
        EXPECT_EQ(depth, 1) << call.name << " outside a cube's push and pop";
        Cube& cube = frame.cubes.back();
        if (call.Is("glTranslatef")) {
            cube.x = call.arg[0], cube.y = call.arg[1], cube.z = call.arg[2];
        } else if (call.Is("glBegin")) {
            EXPECT_EQ(cube.mode, 0u) << "two primitives for one cube";
            cube.mode = call.mode;
        } else if (call.Is("glColor4f")) {
            cube.alpha = call.arg[3];
        } else if (call.Is("glVertex3f") && cube.vertices++ == 0) {
            cube.h = call.arg[1];  // the first vertex is (-h, +h, -h)
        }
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
                    if (f.mode) {
                        ASSERT_EQ(c.h, HalfSize(f.t, i, j, k)) << i << j << k;
                    }
                }
    }
    // Written out: at t = 10 the cube i = 1, j = 2, k = 3 stands at (-2, -3, -4).
    EXPECT_NEAR(LatticeAt(10.0f).cubes[123].h, 0.1 * (2 + std::sin(8 - 2 * std::sin(12.0))), 2e-8);
}

}  // namespace
