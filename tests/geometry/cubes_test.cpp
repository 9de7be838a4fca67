// The cube primitives, through the calls they send on their way to a real Mesa context, judged by
// what the calls make: corners of a cube of half extent h, faces and edges of it, and a colour
// with the given alpha before each pair of opposite faces.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

#include "geometry/cubes.h"
#include "support/gl_context.h"
#include "support/gl_recorder.h"

namespace {

using Corner = std::array<int, 3>;  // signs of x, y, z

// How many coordinates of two corners differ.
int Differ(const Corner& a, const Corner& b) {
    return (a[0] != b[0]) + (a[1] != b[1]) + (a[2] != b[2]);
}

// The axis on which all of a face's corners agree, or -1.
int FaceAxis(const Corner* c) {
    for (int axis = 0; axis < 3; ++axis) {
        if (c[0][axis] == c[1][axis] && c[0][axis] == c[2][axis] && c[0][axis] == c[3][axis])
            return axis;
    }
    return -1;
}

struct Drawn {
    GLenum mode = 0;
    std::vector<Corner> corners;
    std::vector<std::array<float, 4>> colours;  // one before each eight vertices
};

// Records one draw, checking that every vertex is a corner of the cube of half extent h.
Drawn Draw(void (*draw)(float, float), float h, float alpha) {
    glrecord::Start();
    draw(h, alpha);
    Drawn d;
    for (const auto& call : glrecord::Stop()) {
        if (call.Is("glBegin")) {
            d.mode = call.mode;
        } else if (call.Is("glColor4f")) {
            EXPECT_EQ(d.corners.size() % 8, 0u) << "a colour inside a pair of faces";
            d.colours.push_back({call.arg[0], call.arg[1], call.arg[2], call.arg[3]});
        } else if (call.Is("glVertex3f")) {
            Corner c{};
            for (int i = 0; i < 3; ++i) {
                EXPECT_TRUE(call.arg[i] == h || call.arg[i] == -h) << "not a corner";
                c[static_cast<size_t>(i)] = call.arg[i] > 0 ? 1 : -1;
            }
            d.corners.push_back(c);
        }
    }
    return d;
}

// The wire cube: the edges that do not run along y, in three blue shades. The shadow cube: all six
// faces, black, as quads. Both: 24 corners, the alpha passed through.
TEST(Cubes, WireCubeDrawsTheEdgesAcrossYAndShadowCubeTheSixFaces) {
    testsupport::GlContext gl;
    ASSERT_TRUE(gl.ok());
    for (float alpha : {1.0f, 3.0f}) {
        const Drawn wire = Draw(DrawWireCube, 0.25f, alpha),
                    shadow = Draw(DrawShadowCube, 0.5f, alpha);
        ASSERT_EQ(wire.mode, static_cast<GLenum>(GL_LINES));
        ASSERT_EQ(shadow.mode, static_cast<GLenum>(GL_QUADS));
        ASSERT_TRUE(wire.corners.size() == 24 && shadow.corners.size() == 24);
        ASSERT_TRUE(wire.colours.size() == 3 && shadow.colours.size() == 3);
        std::set<std::pair<Corner, Corner>> edges;
        for (size_t n = 0; n < 24; n += 2) {
            const Corner &a = wire.corners[n], &b = wire.corners[n + 1];
            EXPECT_TRUE(Differ(a, b) == 1 && a[1] == b[1]) << "segment " << n / 2;
            edges.insert(a < b ? std::make_pair(a, b) : std::make_pair(b, a));
        }
        EXPECT_EQ(edges.size(), 8u);
        std::set<std::pair<int, int>> faces;  // axis, side
        for (size_t n = 0; n < 24; n += 4) {
            const Corner* q = &shadow.corners[n];
            const int axis = FaceAxis(q);
            ASSERT_GE(axis, 0) << "quad " << n / 4 << " is no face";
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(Differ(q[i], q[(i + 1) % 4]), 1) << "quad " << n / 4 << " crosses itself";
            faces.insert({axis, q[0][static_cast<size_t>(axis)]});
            if (n % 8 == 4) {  // each colour's two faces are opposite
                EXPECT_EQ(FaceAxis(q - 4), axis);
            }
        }
        EXPECT_EQ(faces.size(), 6u);
        // Each shade and the edges it draws, in order: the lightest the four edges along x;
        // the middle one the four along z; the darkest the same four along z again, last, so
        // that it is the one seen on them.
        const struct {
            std::array<float, 4> colour;
            int axis;  // the edges' direction
        } shades[] = {{{0.31f, 0.31f, 0.75f, alpha}, 0},
                      {{0.19f, 0.19f, 0.5f, alpha}, 2},
                      {{0.06f, 0.06f, 0.19f, alpha}, 2}};
        for (size_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(wire.colours[i], shades[i].colour);
            std::set<std::pair<Corner, Corner>> own;
            for (size_t n = 8 * i; n < 8 * i + 8; n += 2) {
                const Corner &a = wire.corners[n], &b = wire.corners[n + 1];
                EXPECT_NE(a[static_cast<size_t>(shades[i].axis)],
                          b[static_cast<size_t>(shades[i].axis)])
                    << "segment " << n / 2 << " does not run along axis " << shades[i].axis;
                own.insert(a < b ? std::make_pair(a, b) : std::make_pair(b, a));
            }
            EXPECT_EQ(own.size(), 4u) << "four different edges";
            EXPECT_EQ(shadow.colours[i], (std::array<float, 4>{0, 0, 0, alpha}));
        }
    }
    EXPECT_EQ(Draw(DrawWireCube, 0.0f, 1.0f).corners.size(), 24u);  // a point, still drawn whole
}

}  // namespace
