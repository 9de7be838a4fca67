// The cube lattice, through the calls it sends on their way to the GL: positions, half sizes,
// bands and the end of the piece.
#include <GL/gl.h>

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "support/gl_context.h"
#include "timeline/gl_recorder.h"
#include "timeline/timeline.h"

namespace {

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
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glrecord::Start();
    DrawCubeLattice(t, frame.done);
    const auto calls = glrecord::Stop();
    int depth = 0;
    for (const auto& call : calls) {
        if (glrecord::Is(call, "glPushMatrix")) {
            EXPECT_EQ(depth++, 0);
            frame.cubes.emplace_back();
        } else if (glrecord::Is(call, "glPopMatrix")) {
            EXPECT_EQ(--depth, 0);
        } else {
            EXPECT_EQ(depth, 1) << call.name << " outside a cube's push and pop";
            if (frame.cubes.empty())
                continue;
            Cube& cube = frame.cubes.back();
            if (glrecord::Is(call, "glTranslatef")) {
                cube.x = call.arg[0], cube.y = call.arg[1], cube.z = call.arg[2];
            } else if (glrecord::Is(call, "glBegin")) {
                EXPECT_EQ(cube.mode, 0u) << "two primitives for one cube";
                cube.mode = call.what;
            } else if (glrecord::Is(call, "glColor4f")) {
                cube.alpha = call.arg[3];
            } else if (glrecord::Is(call, "glVertex3f") && cube.vertices++ == 0) {
                cube.h = call.arg[1];  // the first vertex is (-h, +h, -h)
            }
        }
    }
    GLint stack = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &stack);
    EXPECT_EQ(stack, 1);
    return frame;
}

// h = 0.1 (2 + sin(((t - i) - j sin((t - i) + k)) - i)) in double, rounded once to float.
float HalfSize(float t, int i, int j, int k) {
    const double d = t;
    return static_cast<float>(0.1 * (2.0 + std::sin(((d - i) - j * std::sin((d - i) + k)) - i)));
}

class LatticeTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(gl.ok()); }
    testsupport::GlContext gl;
};

TEST_F(LatticeTest, EveryCubeStandsOnTheGridWithItsOwnHalfSize) {
    for (float t : {1.0f, 10.0f, 37.3f}) {
        const Frame frame = LatticeAt(t);
        ASSERT_EQ(frame.cubes.size(), 1000u);
        for (int i = 0; i < 10; ++i)
            for (int j = 0; j < 10; ++j)
                for (int k = 0; k < 10; ++k) {
                    const Cube& c = frame.cubes[static_cast<size_t>(100 * i + 10 * j + k)];
                    ASSERT_EQ(c.x, k - 5);
                    ASSERT_EQ(c.y, j - 5);
                    ASSERT_EQ(c.z, i - 5);
                    ASSERT_EQ(c.h, HalfSize(t, i, j, k)) << t << " " << i << j << k;
                    ASSERT_TRUE(c.h >= 0.1f && c.h <= 0.3f);
                }
    }
    // The named cases, written out.
    const Frame ten = LatticeAt(10.0f);
    const Cube& c123 = ten.cubes[123];
    EXPECT_EQ(c123.x, -2.0f);
    EXPECT_EQ(c123.y, -3.0f);
    EXPECT_EQ(c123.z, -4.0f);
    EXPECT_EQ(c123.mode, static_cast<GLenum>(GL_LINES));
    EXPECT_EQ(c123.alpha, 1.0f);
    EXPECT_NEAR(c123.h, 0.1 * (2 + std::sin(8 - 2 * std::sin(12.0))), 2e-8);
    EXPECT_EQ(LatticeAt(1.0f).cubes[0].h, static_cast<float>(0.1 * (2 + std::sin(1.0))));
    // Along y = -5 (j = 0) every cube of a z layer has the same size, 0.1 (2 + sin(t - 2i)).
    const Frame late = LatticeAt(41.7f);
    for (int i = 0; i < 10; ++i)
        for (int k = 0; k < 10; ++k) {
            EXPECT_EQ(late.cubes[static_cast<size_t>(100 * i + k)].h,
                      static_cast<float>(0.1 * (2 + std::sin(41.7f - 2.0 * i))));
        }
}

TEST_F(LatticeTest, BandsPickThePrimitiveAndTheirBoundsDrawNothing) {
    const struct {
        float t;
        GLenum mode;
        float alpha;
    } cases[] = {
        {0.001f, GL_LINES, 1}, {16.0f, GL_LINES, 1}, {16.501f, GL_QUADS, 3}, {26.0f, GL_QUADS, 3},
        {27.0f, GL_LINES, 1},  {67.9f, GL_LINES, 1}, {68.001f, GL_QUADS, 3}, {92.0f, GL_QUADS, 3},
        {0.0f, 0, 0},          {16.5f, 0, 0},        {26.5f, 0, 0},          {68.0f, 0, 0},
        {95.7001f, 0, 0},      {-1.0f, 0, 0},
    };
    for (const auto& c : cases) {
        const Frame frame = LatticeAt(c.t);
        ASSERT_EQ(frame.cubes.size(), 1000u);
        for (const Cube& cube : frame.cubes) {
            ASSERT_EQ(cube.mode, c.mode) << "t = " << c.t;
            ASSERT_EQ(cube.vertices, c.mode ? 24 : 0) << "t = " << c.t;
            ASSERT_EQ(cube.alpha, c.alpha) << "t = " << c.t;
        }
    }
}

TEST_F(LatticeTest, FrameThatEndsThePieceIsDrawnWhole) {
    EXPECT_FALSE(LatticeAt(92.7f).done);  // the float 92.7 lies below the double
    const Frame last = LatticeAt(92.70001f);
    EXPECT_TRUE(last.done);
    ASSERT_EQ(last.cubes.size(), 1000u);
    for (const Cube& cube : last.cubes) {
        ASSERT_EQ(cube.mode, static_cast<GLenum>(GL_QUADS));
        ASSERT_EQ(cube.vertices, 24);
    }
    // A last frame that jumped past 95.7 ends the piece with no cube drawn.
    const Frame jumped = LatticeAt(96.0f);
    EXPECT_TRUE(jumped.done);
    EXPECT_EQ(jumped.cubes.back().mode, 0u);
}

}  // namespace
