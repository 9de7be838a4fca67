// Captures what the GL actually receives from a drawing routine, through feedback mode
// (GL_3D_COLOR) under an identity projection, so window coordinates map back to object space.
#pragma once

#include <GL/gl.h>

#include <cmath>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

namespace feedback {

struct Vertex {
    double x, y, z;
    GLfloat r, g, b, a;
};

struct Primitive {
    GLenum token;  // GL_POLYGON_TOKEN, GL_LINE_TOKEN or GL_LINE_RESET_TOKEN
    std::vector<Vertex> v;
};

// Runs draw() with an identity projection and a modelview of a uniform scale (a power of two,
// so the mapping stays exact) and returns the primitives, in object coordinates.
inline std::vector<Primitive> Capture(const std::function<void()>& draw, double scale = 1.0) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glScaled(scale, scale, scale);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    static GLfloat buffer[1 << 16];
    glFeedbackBuffer(1 << 16, GL_3D_COLOR, buffer);
    glRenderMode(GL_FEEDBACK);
    draw();
    const int n = glRenderMode(GL_RENDER);
    glLoadIdentity();
    std::vector<Primitive> out;
    auto vertexAt = [&](int at) {
        const GLfloat* f = buffer + at;
        return Vertex{((f[0] - vp[0]) / (vp[2] / 2.0) - 1.0) / scale,
                      ((f[1] - vp[1]) / (vp[3] / 2.0) - 1.0) / scale,
                      (2.0 * f[2] - 1.0) / scale,
                      f[3],
                      f[4],
                      f[5],
                      f[6]};
    };
    for (int at = 0; at < n;) {
        const GLenum token = static_cast<GLenum>(buffer[at++]);
        int count = 0;
        if (token == GL_POLYGON_TOKEN) {
            count = static_cast<int>(buffer[at++]);
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            count = 2;
        } else if (token == GL_POINT_TOKEN) {
            count = 1;
        }
        Primitive p{token, {}};
        for (int i = 0; i < count; ++i, at += 7) {
            p.v.push_back(vertexAt(at));
        }
        out.push_back(p);
    }
    return out;
}

inline bool Near(double a, double b) {
    return std::fabs(a - b) < 1e-5;
}

// A quad reaches feedback as two triangles. Checks that they cover the four corners of the face
// of the box of half extent H that lies in the plane axis = sign H, without overlapping (the
// corners each leaves out are opposite), and returns the corners with their colours.
inline std::vector<Vertex> FaceCorners(const Primitive& a, const Primitive& b, int axis,
                                       double sign, double H) {
    std::vector<Vertex> corners;
    auto add = [&](const Vertex& v) {
        const double c[3] = {v.x, v.y, v.z};
        EXPECT_TRUE(Near(c[axis], sign * H)) << "vertex off its face, axis " << axis;
        for (double ci : c) {
            EXPECT_TRUE(Near(std::fabs(ci), H)) << "vertex not on a corner: " << ci;
        }
        for (const Vertex& seen : corners) {
            if (Near(seen.x, v.x) && Near(seen.y, v.y) && Near(seen.z, v.z)) {
                EXPECT_TRUE(seen.r == v.r && seen.g == v.g && seen.b == v.b && seen.a == v.a);
                return;
            }
        }
        corners.push_back(v);
    };
    EXPECT_EQ(a.v.size(), 3u);
    EXPECT_EQ(b.v.size(), 3u);
    for (const Vertex& v : a.v)
        add(v);
    std::vector<Vertex> firstThree = corners;
    for (const Vertex& v : b.v)
        add(v);
    EXPECT_EQ(corners.size(), 4u);
    if (corners.size() == 4u) {
        // The corner the first triangle leaves out (only the second has it) and the one the second
        // leaves out lie diagonally apart only when the quad's vertices go round its edge.
        const Vertex& onlySecond = corners[3];
        for (const Vertex& v : firstThree) {
            bool inSecond = false;
            for (const Vertex& w : b.v) {
                inSecond = inSecond || (Near(v.x, w.x) && Near(v.y, w.y) && Near(v.z, w.z));
            }
            if (!inSecond) {
                int differ = (Near(v.x, onlySecond.x) ? 0 : 1) + (Near(v.y, onlySecond.y) ? 0 : 1) +
                             (Near(v.z, onlySecond.z) ? 0 : 1);
                EXPECT_EQ(differ, 2) << "the quad's vertices do not go round its edge";
            }
        }
    }
    return corners;
}

}  // namespace feedback
