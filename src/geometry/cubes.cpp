#include "geometry/cubes.h"

#include <windows.h>
#include <GL/gl.h>

namespace {

struct CubeVertex {
    GLfloat x, y, z;  // the sign of h on each axis
};

// The one vertex sequence both primitives send: read as quads, the six faces in this order.
// Read as line pairs, vertices 1-8 give the four edges parallel to x, and 9-16 and 17-24 the four
// parallel to z twice over; no edge parallel to y is drawn.
// clang-format off
const CubeVertex CubeVertices[24] = {
    {-1.0f,  1.0f, -1.0f},  // back, z = -h
    { 1.0f,  1.0f, -1.0f},
    { 1.0f, -1.0f, -1.0f},
    {-1.0f, -1.0f, -1.0f},
    {-1.0f,  1.0f,  1.0f},  // front, z = +h
    { 1.0f,  1.0f,  1.0f},
    { 1.0f, -1.0f,  1.0f},
    {-1.0f, -1.0f,  1.0f},
    {-1.0f,  1.0f, -1.0f},  // left, x = -h
    {-1.0f,  1.0f,  1.0f},
    {-1.0f, -1.0f,  1.0f},
    {-1.0f, -1.0f, -1.0f},
    { 1.0f,  1.0f, -1.0f},  // right, x = +h
    { 1.0f,  1.0f,  1.0f},
    { 1.0f, -1.0f,  1.0f},
    { 1.0f, -1.0f, -1.0f},
    {-1.0f, -1.0f, -1.0f},  // bottom, y = -h
    {-1.0f, -1.0f,  1.0f},
    { 1.0f, -1.0f,  1.0f},
    { 1.0f, -1.0f, -1.0f},
    {-1.0f,  1.0f, -1.0f},  // top, y = +h
    {-1.0f,  1.0f,  1.0f},
    { 1.0f,  1.0f,  1.0f},
    { 1.0f,  1.0f, -1.0f},
};
// clang-format on

// Each primitive sets a colour before every group of eight vertices.
const int VerticesPerColour = 8;
const int ColourGroups = 3;

struct Shade {
    GLfloat red, green, blue;
};

// clang-format off
const Shade WireShades[ColourGroups] = {
    {0.31f, 0.31f, 0.75f},
    {0.19f, 0.19f, 0.5f},
    {0.06f, 0.06f, 0.19f},
};
const Shade ShadowShades[ColourGroups] = {
    {0.0f, 0.0f, 0.0f},
    {0.0f, 0.0f, 0.0f},
    {0.0f, 0.0f, 0.0f},
};
// clang-format on

// One glBegin/glEnd pair: a colour (alpha passed through unchanged) before each group of eight
// vertices, every coordinate +h or -h. Multiplying by the sign negates h exactly.
void DrawCube(GLenum mode, const Shade (&shades)[ColourGroups], float h, float alpha) {
    glBegin(mode);
    for (int group = 0; group < ColourGroups; ++group) {
        const Shade& shade = shades[group];
        glColor4f(shade.red, shade.green, shade.blue, alpha);
        for (int n = group * VerticesPerColour; n < (group + 1) * VerticesPerColour; ++n) {
            const CubeVertex& v = CubeVertices[n];
            glVertex3f(v.x * h, v.y * h, v.z * h);
        }
    }
    glEnd();
}

}  // namespace

// Twelve segments in three shades of blue.
void DrawWireCube(float h, float alpha) {
    DrawCube(GL_LINES, WireShades, h, alpha);
}

// Six solid black quads.
void DrawShadowCube(float h, float alpha) {
    DrawCube(GL_QUADS, ShadowShades, h, alpha);
}
