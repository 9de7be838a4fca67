// The backdrop boxes as the GL receives them (feedback mode), in world coordinates.
#include <GL/gl.h>

#include <gtest/gtest.h>

#include "geometry/feedback.h"
#include "support/gl_context.h"
#include "timeline/timeline.h"

namespace {

using feedback::Vertex;

// Face order: top, bottom, front, back, left, right; the axis each lies across and its side.
const int Axis[6] = {1, 1, 2, 2, 0, 0};
const double Side[6] = {1, -1, 1, -1, -1, 1};

std::vector<feedback::Primitive> BoxesAt(float t) {
    // A scale of 1/8 brings the boxes inside the clip volume. Magenta shows any vertex sent
    // before the box's colour call.
    return feedback::Capture(
        [t] {
            glColor4f(1.0f, 0.0f, 1.0f, 1.0f);
            DrawBackdropBoxes(t);
        },
        0.125);
}

bool Is(const Vertex& v, float r, float g, float b) {
    return v.r == r && v.g == g && v.b == b && v.a == 1.0f;
}

TEST(BackdropsTest, BoxOneIsCyanAllOverAndBoxTwoShadesPerVertex) {
    testsupport::GlContext gl;
    ASSERT_TRUE(gl.ok());

    const auto one = BoxesAt(20.0f);
    ASSERT_EQ(one.size(), 12u);
    for (int face = 0; face < 6; ++face) {
        for (const Vertex& c :
             feedback::FaceCorners(one[2 * face], one[2 * face + 1], Axis[face], Side[face], 4.5)) {
            EXPECT_TRUE(Is(c, 0.0f, 0.8f, 0.9f)) << "face " << face;
        }
    }

    // Faces top to back run from green at x = +H to dark cyan at x = -H; the side faces have
    // one corner of their own colour.
    const auto two = BoxesAt(50.0f);
    ASSERT_EQ(two.size(), 12u);
    for (int face = 0; face < 6; ++face) {
        for (const Vertex& c :
             feedback::FaceCorners(two[2 * face], two[2 * face + 1], Axis[face], Side[face], 6.0)) {
            const bool right = c.x > 0, top = c.y > 0, front = c.z > 0;
            if (face == 4 && top && front) {
                EXPECT_TRUE(Is(c, 0.0f, 1.0f, 0.7f)) << "left face's top front corner";
            } else if (face == 5 && top && !front) {
                EXPECT_TRUE(Is(c, 0.7f, 1.0f, 0.0f)) << "right face's top back corner";
            } else if (face == 4 ? !top && front : face == 5 ? !top && !front : right) {
                EXPECT_TRUE(Is(c, 0.0f, 1.0f, 0.0f)) << "face " << face << " green corner";
            } else {
                EXPECT_TRUE(Is(c, 0.0f, 0.5f, 0.5f)) << "face " << face << " dark cyan corner";
            }
        }
    }
}

TEST(BackdropsTest, NoBoxOutsideTheirOpenIntervals) {
    testsupport::GlContext gl;
    ASSERT_TRUE(gl.ok());
    for (float t : {0.0f, 16.5f, 31.0f, 40.0f, 47.3f}) {
        EXPECT_TRUE(BoxesAt(t).empty()) << "t = " << t;
    }
    EXPECT_EQ(BoxesAt(16.501f).size(), 12u);
    EXPECT_EQ(BoxesAt(30.999998f).size(), 12u);
    EXPECT_EQ(BoxesAt(47.300003f).size(), 12u);
    EXPECT_EQ(BoxesAt(92.75f).size(), 12u);
}

}  // namespace
