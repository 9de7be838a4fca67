// The cube primitives, through the calls they send on their way to a real Mesa context.
#include <gtest/gtest.h>

#include "geometry/cubes.h"
#include "support/gl_context.h"
#include "support/gl_recorder.h"

namespace {

// The face sequence both primitives send, as signs of h: back, front, left, right, bottom, top.
// Read as line pairs, no segment is parallel to y.
const int Signs[24][3] = {
    {-1, 1, -1}, {1, 1, -1},  {1, -1, -1}, {-1, -1, -1}, {-1, 1, 1},   {1, 1, 1},
    {1, -1, 1},  {-1, -1, 1}, {-1, 1, -1}, {-1, 1, 1},   {-1, -1, 1},  {-1, -1, -1},
    {1, 1, -1},  {1, 1, 1},   {1, -1, 1},  {1, -1, -1},  {-1, -1, -1}, {-1, -1, 1},
    {1, -1, 1},  {1, -1, -1}, {-1, 1, -1}, {-1, 1, 1},   {1, 1, 1},    {1, 1, -1},
};

TEST(Cubes, OnePrimitiveWithAColourBeforeEachEightVerticesAndAlphaPassedThrough) {
    testsupport::GlContext gl;
    ASSERT_TRUE(gl.ok());
    const struct {
        void (*draw)(float, float);
        GLenum mode;
        float shades[3][3];
    } primitives[] = {
        {DrawWireCube,
         GL_LINES,
         {{0.31f, 0.31f, 0.75f}, {0.19f, 0.19f, 0.5f}, {0.06f, 0.06f, 0.19f}}},
        {DrawShadowCube, GL_QUADS, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
    };
    for (const auto& p : primitives) {
        for (float h : {0.0f, 0.25f}) {
            for (float alpha : {1.0f, 3.0f}) {
                glrecord::Start();
                p.draw(h, alpha);
                const auto calls = glrecord::Stop();
                ASSERT_EQ(calls.size(), 29u);
                EXPECT_TRUE(calls[0].Is("glBegin") && calls[0].mode == p.mode);
                EXPECT_TRUE(calls[28].Is("glEnd"));
                for (int n = 0; n < 24; ++n) {
                    if (n % 8 == 0) {
                        const auto& colour = calls[static_cast<size_t>(1 + n / 8 * 9)];
                        const float* s = p.shades[n / 8];
                        EXPECT_TRUE(colour.Is("glColor4f") && colour.arg[0] == s[0] &&
                                    colour.arg[1] == s[1] && colour.arg[2] == s[2] &&
                                    colour.arg[3] == alpha)
                            << "colour before vertex " << n;
                    }
                    const auto& v = calls[static_cast<size_t>(2 + n + n / 8)];
                    EXPECT_TRUE(v.Is("glVertex3f") && v.arg[0] == Signs[n][0] * h &&
                                v.arg[1] == Signs[n][1] * h && v.arg[2] == Signs[n][2] * h)
                        << "vertex " << n;
                }
            }
        }
    }
}

}  // namespace
