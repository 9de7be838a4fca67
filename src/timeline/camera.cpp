#include "timeline/timeline.h"

#include <cmath>

#include <GL/gl.h>
#include <GL/glu.h>

#include "window/window.h"

namespace {

const double FieldOfViewDegrees = 70.0;
const double NearPlane = 1.0;
const double FarPlane = 1000.0;

// Subtracted from the time before the sine that drives the eye's height. It is 3.1415, a little
// short of pi, and the path depends on exactly this value.
const double Phase = 3.1415;

// The eye of a row: x = sin(t) kx, y = sin(t - Phase) ky, z = cos(t) kz.
struct CameraCue {
    double start;
    double end;
    double kx, ky, kz;
    double centreX, centreY, centreZ;
    double upX, upY, upZ;
};

// The last row's end: past any t the piece reaches, so the row holds until the piece ends.
const double Forever = 9999.8;

// Active rows are multiplied onto the modelview in table order, none resetting it, so the first
// active row's transform stands on the left. Up vectors are passed as they stand: unnormalised,
// and row 4's is the zero vector.
// clang-format off
const CameraCue CameraCues[] = {
    // start  end     kx    ky   kz      centre         up
    {0.0,   10.7,    1.0,  5.0, 0.5,    0.0, 0.0, 0.0,   1.0, 0.0, 0.0},
    {10.7,  10.8,    1.0,  5.0, 0.5,    0.0, 0.0, 0.0,   1.0, 0.0, 0.0},
    {10.8,  16.5,    1.0,  5.0, 0.5,    0.0, 0.0, 0.0,   1.0, 7.0, 0.0},
    {11.2,  16.5,    1.0,  5.0, 0.1,    0.0, 1.0, 0.0,   0.0, 0.0, 0.0},
    {16.5,  26.5,    1.0,  0.0, 0.5,    0.0, 0.0, 0.0,   1.0, 6.0, 0.0},
    {26.5,  58.0f,   1.0,  0.0, 0.5,    0.0, 0.0, 0.0,   1.0, 5.0, 0.0},
    {31.0f, 58.0f,   1.0,  5.0, 0.5,    0.0, 0.0, 0.0,   1.0, 7.0, 0.0},
    {31.1,  58.0f,   1.0,  1.0, 0.5,    0.0, 0.0, 0.0,   1.0, 5.0, 0.0},
    {58.0f, 68.0f,   1.0,  3.0, 0.1,    0.0, 0.0, 0.0,   8.0, 1.0, 0.0},
    {68.0f, 80.2,   10.0,  5.0, 13.0,   0.0, 0.0, 0.0,   0.0, 1.0, 0.0},
    {72.0f, 80.2,   10.0,  5.0, 0.0,    0.0, 0.0, 0.0,   0.0, 2.0, 0.0},
    {80.2,  89.7,    1.0,  5.0, 0.5,    0.0, 0.0, 0.0,   1.0, 0.0, 0.0},
    {89.7,  Forever,  1.0,  5.0, 0.5,    0.0, 0.0, 0.0,   1.0, 7.0, 0.0},
};
// clang-format on

}  // namespace

// Rebuilds both matrices from the identity: the perspective for the window's current client
// size, then the view from the active camera rows. Leaves GL_MODELVIEW current for the stages
// that translate cubes onto this view.
void ApplyProjectionAndCameraCues(float t) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A WM_SIZE can report a client height of 0, for which width / height has no finite value.
    // Such a frame keeps the identity projection instead of handing GLU a degenerate aspect; the
    // next frame with a real height gets its perspective back.
    if (DisplayState.height != 0) {
        const double aspect =
            static_cast<double>(DisplayState.width) / static_cast<double>(DisplayState.height);
        gluPerspective(FieldOfViewDegrees, aspect, NearPlane, FarPlane);
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    const double d = t;
    for (const CameraCue& cue : CameraCues) {
        if (!CueIsActive(cue.start, cue.end, t)) {
            continue;
        }
        const double z = std::cos(d) * cue.kz;
        const double e = d - Phase;
        const double y = std::sin(e) * cue.ky;
        const double x = std::sin(d) * cue.kx;
        gluLookAt(x, y, z, cue.centreX, cue.centreY, cue.centreZ, cue.upX, cue.upY, cue.upZ);
    }
}
