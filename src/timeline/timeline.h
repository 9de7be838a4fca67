// The timeline: the clock and the cue stages the frame loop runs, in the order it runs them.
#pragma once

#include <windows.h>

// The piece ends in the first frame whose t is past this.
const double PieceEndTime = 92.7;

// Seconds since the start tick, from the tick count at the start of the frame.
float ComputeTimelineSeconds(DWORD startTick);
// The t of a frame drawn this many ticks after the start tick.
float TimelineSecondsAfter(DWORD elapsedTicks);

void ApplyClearColourCues(float t);
void ApplyProjectionAndCameraCues(float t);
void ApplyFogCues(float t);
void DrawBackdropBoxes(float t);
// Draws the lattice and sets pieceDone once the piece has run its course.
void DrawCubeLattice(float t, bool& pieceDone);

// The one rule every cue table shares: a row is active while its open interval holds t, both
// comparisons strict, with t widened to double. Bounds written with an f suffix in the tables are
// held in single precision; all of them are whole numbers, so they compare the same widened.
inline bool CueIsActive(double start, double end, float t) {
    const double d = t;
    return start < d && d < end;
}
