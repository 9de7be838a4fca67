#include "timeline/timeline.h"

#include <GL/gl.h>

namespace {

// clang-format off
const GLint FogModes[] = {
    GL_EXP,
    GL_EXP2,
    GL_LINEAR,
};
// clang-format on

// Nothing changes the index, so every row asks for GL_EXP; the other modes stand unused.
const int FogModeIndex = 0;

// Red, green, blue, alpha: the orange the scene fades into.
const GLfloat FogColour[4] = {0.9f, 0.4f, 0.0f, 0.0f};

struct FogCue {
    double start;
    double end;
    GLfloat density;
    GLfloat startDistance;
    GLfloat endDistance;
};

// The last row's end: past any t the piece reaches, so the row holds until the piece ends.
const double Forever = 9999.2;

// Two ramps of 0.2-second steps from 58 s, a hold to 68 s, and the late settings from 89 s.
// Rows 9 and 10 share their interval: the later one's density is the one that shows.
// clang-format off
const FogCue FogCues[] = {
    // start   end      density  start  end
    {58.0f,  58.2,     0.1f,    1.0f,  5.0f},
    {58.2,   58.4,     0.2f,    1.0f,  5.0f},
    {58.4,   58.6,     0.3f,    1.0f,  5.0f},
    {58.6,   58.8,     0.4f,    1.0f,  5.0f},
    {58.8,   59.0,     0.5f,    1.0f,  5.0f},
    {59.0,   59.2,     0.7f,    1.0f,  5.0f},
    {59.2,   59.4,     0.9f,    1.0f,  5.0f},
    {59.4,   59.6,     0.1f,    1.0f,  5.0f},
    {59.6,   59.8,     0.12f,   1.0f,  5.0f},
    {59.6,   59.8,     0.13f,   1.0f,  5.0f},
    {59.8,   60.0,     0.15f,   1.0f,  5.0f},
    {60.0,   60.2,     0.17f,   1.0f,  5.0f},
    {60.2,   60.4,     0.18f,   1.0f,  5.0f},
    {60.4,   60.6,     0.2f,    1.0f,  5.0f},
    {60.6,   60.8,     0.22f,   1.0f,  5.0f},
    {60.8,   61.0,     0.24f,   1.0f,  5.0f},
    {61.0,   61.2,     0.26f,   1.0f,  5.0f},
    {61.2,   61.4,     0.29f,   1.0f,  5.0f},
    {61.4,   61.6,     0.32f,   1.0f,  5.0f},
    {61.6,   61.8,     0.36f,   1.0f,  5.0f},
    {61.8,   62.0,     0.4f,    1.0f,  5.0f},
    {62.0,   62.2,     0.42f,   1.0f,  5.0f},
    {62.2,   62.4,     0.46f,   1.0f,  5.0f},
    {62.4,   62.6,     0.49f,   1.0f,  5.0f},
    {62.6,   62.8,     0.53f,   1.0f,  5.0f},
    {62.8,   68.0,     0.54f,   1.0f,  5.0f},
    {89.0f,  95.7,     0.24f,  10.0f, 50.0f},
    {95.7,   Forever,  0.01f,   4.0f,  5.0f},
};
// clang-format on

}  // namespace

// Each active row sets the whole fog state and enables fog. Fog is never disabled: a frame with
// no active row keeps what the last one set, and before the first one the GL's fog is off.
void ApplyFogCues(float t) {
    for (const FogCue& cue : FogCues) {
        if (!CueIsActive(cue.start, cue.end, t)) {
            continue;
        }
        glFogi(GL_FOG_MODE, FogModes[FogModeIndex]);
        glFogfv(GL_FOG_COLOR, FogColour);
        glFogf(GL_FOG_DENSITY, cue.density);
        glHint(GL_FOG_HINT, GL_DONT_CARE);
        glFogf(GL_FOG_START, cue.startDistance);
        glFogf(GL_FOG_END, cue.endDistance);
        glEnable(GL_FOG);
    }
}
