#include "timeline/timeline.h"

#include <GL/gl.h>

namespace {

struct BackdropBox {
    double start;
    double end;
    GLfloat halfExtent;
    // Box 1 makes one colour call, before its first vertex; box 2 takes its colours from the
    // vertex table.
    bool perVertexColours;
    GLfloat red, green, blue;
};

// clang-format off
const BackdropBox BackdropBoxes[] = {
    // start  end     H     per vertex  colour
    {16.5,  31.0f,  4.5f,  false,      0.0f, 0.8f, 0.9f},
    {47.3,  95.7,   6.0f,  true,       0.0f, 0.0f, 0.0f},
};
// clang-format on

// One vertex of the boxes' six quads: the signs of H on each axis, and box 2's colour call before
// the vertex, where it makes one.
struct BoxVertex {
    GLfloat x, y, z;
    bool colourCall;
    GLfloat red, green, blue;
};

// clang-format off
const BoxVertex BoxVertices[24] = {
    // x      y      z      box 2 colour
    { 1.0f,  1.0f, -1.0f,  true,  0.0f, 1.0f, 0.0f},  // top, y = +H
    {-1.0f,  1.0f, -1.0f,  true,  0.0f, 0.5f, 0.5f},
    {-1.0f,  1.0f,  1.0f,  false, 0.0f, 0.0f, 0.0f},
    { 1.0f,  1.0f,  1.0f,  true,  0.0f, 1.0f, 0.0f},
    { 1.0f, -1.0f,  1.0f,  true,  0.0f, 1.0f, 0.0f},  // bottom, y = -H
    {-1.0f, -1.0f,  1.0f,  true,  0.0f, 0.5f, 0.5f},
    {-1.0f, -1.0f, -1.0f,  false, 0.0f, 0.0f, 0.0f},
    { 1.0f, -1.0f, -1.0f,  true,  0.0f, 1.0f, 0.0f},
    { 1.0f,  1.0f,  1.0f,  true,  0.0f, 1.0f, 0.0f},  // front, z = +H
    {-1.0f,  1.0f,  1.0f,  true,  0.0f, 0.5f, 0.5f},
    {-1.0f, -1.0f,  1.0f,  false, 0.0f, 0.0f, 0.0f},
    { 1.0f, -1.0f,  1.0f,  true,  0.0f, 1.0f, 0.0f},
    { 1.0f, -1.0f, -1.0f,  true,  0.0f, 1.0f, 0.0f},  // back, z = -H
    {-1.0f, -1.0f, -1.0f,  true,  0.0f, 0.5f, 0.5f},
    {-1.0f,  1.0f, -1.0f,  false, 0.0f, 0.0f, 0.0f},
    { 1.0f,  1.0f, -1.0f,  true,  0.0f, 1.0f, 0.0f},
    {-1.0f,  1.0f,  1.0f,  true,  0.0f, 1.0f, 0.7f},  // left, x = -H
    {-1.0f,  1.0f, -1.0f,  true,  0.0f, 0.5f, 0.5f},
    {-1.0f, -1.0f, -1.0f,  false, 0.0f, 0.0f, 0.0f},
    {-1.0f, -1.0f,  1.0f,  true,  0.0f, 1.0f, 0.0f},
    { 1.0f,  1.0f, -1.0f,  true,  0.7f, 1.0f, 0.0f},  // right, x = +H
    { 1.0f,  1.0f,  1.0f,  true,  0.0f, 0.5f, 0.5f},
    { 1.0f, -1.0f,  1.0f,  false, 0.0f, 0.0f, 0.0f},
    { 1.0f, -1.0f, -1.0f,  true,  0.0f, 1.0f, 0.0f},
};
// clang-format on

}  // namespace

// Draws each active box as six quads centred on the world origin, under the camera's view; no
// matrix is touched.
void DrawBackdropBoxes(float t) {
    for (const BackdropBox& box : BackdropBoxes) {
        if (!CueIsActive(box.start, box.end, t)) {
            continue;
        }
        const GLfloat h = box.halfExtent;
        glBegin(GL_QUADS);
        if (!box.perVertexColours) {
            glColor3f(box.red, box.green, box.blue);
        }
        for (const BoxVertex& v : BoxVertices) {
            if (box.perVertexColours && v.colourCall) {
                glColor3f(v.red, v.green, v.blue);
            }
            glVertex3f(v.x * h, v.y * h, v.z * h);
        }
        glEnd();
    }
}
