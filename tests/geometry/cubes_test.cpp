// The cube primitives, as the GL receives them (feedback mode on a real Mesa context).
#include <GL/gl.h>

#include <gtest/gtest.h>

#include "geometry/cubes.h"
#include "geometry/feedback.h"
#include "support/gl_context.h"

namespace {

using feedback::Capture;
using feedback::Primitive;

// The vertex sequence both primitives send, as signs of h.
const int Signs[24][3] = {
    {-1, 1, -1}, {1, 1, -1},  {1, -1, -1}, {-1, -1, -1}, {-1, 1, 1},   {1, 1, 1},
    {1, -1, 1},  {-1, -1, 1}, {-1, 1, -1}, {-1, 1, 1},   {-1, -1, 1},  {-1, -1, -1},
    {1, 1, -1},  {1, 1, 1},   {1, -1, 1},  {1, -1, -1},  {-1, -1, -1}, {-1, -1, 1},
    {1, -1, 1},  {1, -1, -1}, {-1, 1, -1}, {-1, 1, 1},   {1, 1, 1},    {1, 1, -1},
};

class CubesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gl.ok());
        // A colour no routine uses: a vertex sent before the routine's first colour call shows it.
        glColor4f(1.0f, 0.0f, 1.0f, 1.0f);
    }
    testsupport::GlContext gl;
};

TEST_F(CubesTest, WireCubeIsTwelveSegmentsInThreeShadesNoneParallelToY) {
    const float shades[3][3] = {{0.31f, 0.31f, 0.75f}, {0.19f, 0.19f, 0.5f}, {0.06f, 0.06f, 0.19f}};
    for (float h : {0.1f, 0.25f, 0.3f}) {
        for (float alpha : {1.0f, 0.5f}) {
            const auto prims = Capture([&] { DrawWireCube(h, alpha); });
            ASSERT_EQ(prims.size(), 12u);
            for (int n = 0; n < 24; ++n) {
                const Primitive& segment = prims[static_cast<size_t>(n / 2)];
                ASSERT_NE(segment.token, static_cast<GLenum>(GL_POLYGON_TOKEN));
                const feedback::Vertex& v = segment.v[static_cast<size_t>(n % 2)];
                EXPECT_NEAR(v.x, Signs[n][0] * static_cast<double>(h), 1e-6) << n;
                EXPECT_NEAR(v.y, Signs[n][1] * static_cast<double>(h), 1e-6) << n;
                EXPECT_NEAR(v.z, Signs[n][2] * static_cast<double>(h), 1e-6) << n;
                const float* shade = shades[n / 8];
                EXPECT_FLOAT_EQ(v.r, shade[0]) << n;
                EXPECT_FLOAT_EQ(v.g, shade[1]) << n;
                EXPECT_FLOAT_EQ(v.b, shade[2]) << n;
                EXPECT_FLOAT_EQ(v.a, alpha) << n;
            }
            for (const Primitive& segment : prims) {
                EXPECT_DOUBLE_EQ(segment.v[0].y, segment.v[1].y) << "a segment changes y";
            }
        }
    }
}

TEST_F(CubesTest, ShadowCubeIsSixBlackFacesAndAlphaThreeDrawsAsOne) {
    const float h = 0.25f;
    // Face order of the sequence: back, front, left, right, bottom, top.
    const int axis[6] = {2, 2, 0, 0, 1, 1};
    const double sign[6] = {-1, 1, -1, 1, -1, 1};
    const auto prims = Capture([&] { DrawShadowCube(h, 3.0f); });
    ASSERT_EQ(prims.size(), 12u);
    for (int face = 0; face < 6; ++face) {
        const auto corners = feedback::FaceCorners(prims[static_cast<size_t>(2 * face)],
                                                   prims[static_cast<size_t>(2 * face + 1)],
                                                   axis[face], sign[face], h);
        for (const auto& c : corners) {
            EXPECT_EQ(c.r, 0.0f);
            EXPECT_EQ(c.g, 0.0f);
            EXPECT_EQ(c.b, 0.0f);
            EXPECT_EQ(c.a, 1.0f) << "alpha 3.0 is clamped to 1 by the GL";
        }
    }
}

}  // namespace
