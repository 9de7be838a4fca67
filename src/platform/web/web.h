// What the web platform's parts share. The page that hosts the piece is reached through the
// module's `page` object (see page/page.js).
#pragma once

#include <cstddef>
#include <cstdint>

namespace web {

// The GL context on the page's canvas: made, presented, dropped (gl.cpp).
bool GlStart(int depthBits, int stencilBits, bool preserve);
void GlStop();
// Draws what is batched; the next frame is drawn only when someone will see it.
void GlPresent(bool nextFrameDrawn);
// Before a frame: the canvas's drawing buffer takes the size the page asks for, and the picture
// of a window of this size is drawn at the largest rectangle of its shape in it
// (picture_size.cpp).
void FollowCanvas(int width, int height);

// Reduced flashing (reduce_flashing.cpp): whether the page asks for it, read when the context is
// made, and the limit on the finished picture on the canvas, drawn back where it changes it.
void StartReducedFlashing();
bool ReducedFlashing();
void ReduceFlashing(std::uint32_t tick);

// Call recording for the tests: every GL and GLU call of the piece, one a line.
void StartLog(std::size_t size);
char* StopLog();

}  // namespace web
