// What the web back end's GL parts share: OpenGL 1.1's state as the piece leaves it, the batch of
// vertices waiting to be drawn, and the call log.
#pragma once

#include <GL/gl.h>

#include <cstddef>

namespace web_gl {

// Column-major 4 x 4, as GL keeps it.
struct Matrix {
    GLfloat m[16];
};

const Matrix Identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

// The depths GL promises at least.
const int ModelviewDepth = 32;
const int ProjectionDepth = 2;

// x, y, z in eye space, then red, green, blue.
const int FloatsPerVertex = 6;
const int MostVertices = 1 << 16;

struct State {
    Matrix modelview[ModelviewDepth];
    Matrix projection[ProjectionDepth];
    int modelviewTop = 0;
    int projectionTop = 0;
    GLenum matrixMode = GL_MODELVIEW;

    GLfloat clearColour[4] = {0, 0, 0, 0};
    GLfloat colour[3] = {1, 1, 1};
    bool fogOn = false;
    GLenum fogMode = GL_EXP;
    GLfloat fogDensity = 1, fogStart = 0, fogEnd = 1;
    GLfloat fogColour[3] = {0, 0, 0};

    // The primitive being sent (0 outside glBegin/glEnd) and its vertices so far.
    GLenum primitive = 0;
    GLfloat pending[4][FloatsPerVertex];
    int pendingCount = 0;

    // Vertices waiting to be drawn, all lines or all triangles.
    GLfloat vertices[MostVertices * FloatsPerVertex];
    int vertexCount = 0;
    bool batchIsLines = false;

    // Where the picture lies in the canvas's drawing buffer (x, y, width, height), the buffer's
    // size, and the lines' width in whole pixels; wider than WebGL draws them, they are drawn as
    // quads (webgl.cpp).
    int picture[4] = {0, 0, 0, 0};
    int buffer[2] = {0, 0};
    int lineWidth = 1;
    bool quadLines = false;

    // Frames that nobody will see (a still's lead-in) skip the drawing, and only the drawing.
    bool drawing = true;
    bool context = false;
    char* log = nullptr;
    size_t logUsed = 0, logSize = 0;
};

extern State state;

// The matrix that matrix calls change now.
Matrix& Current();
// The current matrix times m, as glMultMatrixf.
void MultiplyCurrent(const Matrix& m);
// glTranslatef's work, also GLU's.
void Translate(GLfloat x, GLfloat y, GLfloat z);
// Draws the batch (webgl.cpp).
void Flush();
// Clears the canvas with the clear colour (webgl.cpp).
void ClearCanvas(GLbitfield mask);
// The picture drawn at this rectangle of a drawing buffer of this size, its lines this many
// pixels wide: viewport, scissor box and line width follow (webgl.cpp).
void Picture(int x, int y, int width, int height, int bufferWidth, int bufferHeight, int line);

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace web_gl
