#include "timeline/timeline.h"

#include <GL/gl.h>

namespace {

struct ClearColourCue {
    double start;
    double end;
    float red, green, blue, alpha;
};

// The last row's end: past any t the piece reaches, so the row holds until the piece ends.
const double Forever = 9999.0;

// Evaluated top to bottom; where rows overlap, the later one decides the frame's clear colour.
// clang-format off
const ClearColourCue ClearColourCues[] = {
    {10.8, 33.1,   0.0f, 0.0f, 0.0f, 0.0f},
    {31.1, 31.2,   1.0f, 0.0f, 0.0f, 0.0f},
    {31.2, 31.3,   0.0f, 0.0f, 0.0f, 0.0f},
    {31.3, 31.4,   0.0f, 1.0f, 0.0f, 0.0f},
    {31.4, 31.5,   0.0f, 0.0f, 0.0f, 0.0f},
    {31.5, 31.6,   0.0f, 0.0f, 1.0f, 0.0f},
    {31.6, 31.7,   0.0f, 0.0f, 0.0f, 0.0f},
    {31.7, 31.8,   1.0f, 0.0f, 0.0f, 0.0f},
    {31.8, 35.2,   0.0f, 0.0f, 0.0f, 0.0f},
    {48.0, 48.1,   1.0f, 0.0f, 1.0f, 0.0f},
    {35.2, 58.0,   0.0f, 0.0f, 0.0f, 0.0f},
    {58.0, Forever, 0.4f, 0.2f, 0.0f, 0.0f},
};
// clang-format on

}  // namespace

// Sets the clear colour for each active row; a frame with no active row keeps the colour that
// an earlier frame left in the GL.
void ApplyClearColourCues(float t) {
    for (const ClearColourCue& cue : ClearColourCues) {
        if (CueIsActive(cue.start, cue.end, t)) {
            glClearColor(cue.red, cue.green, cue.blue, cue.alpha);
        }
    }
}
