// The size the fullscreen picture is drawn at, and its samples a pixel: the screen's own pixels
// unless the viewer asks for the stretched look, smooth edges on request.
#pragma once

#include "sdl/internal.h"

namespace platform {

// The picture's size for a context drawing the window: a window's client size, or for the
// fullscreen picture on a desktop the largest rectangle of the mode's shape inside the window's
// drawable pixels (or the size `--pixels WxH` asks for).
void PictureSize(const Window* window, int* width, int* height);
// After a frame: the fullscreen picture follows its window's drawable pixels. What carries the
// size in GL (viewport, scissor box, line width) follows in proportion; the piece is not told.
void FollowScreen(GlContext* context, Window* window);
// The samples a pixel the context draws with: 0, or what `--antialias N` asks for as far as the
// GL offers it (said on standard error where it is less). The context must be current.
int ChooseSamples();
// (Re)allocates the multisampled framebuffer object at the picture's size and binds it.
bool SizeMultisampled(GlContext* context);
// Resolves the multisampled picture into the framebuffer object that is read and shown, and
// binds that one.
void Resolve(GlContext* context);

}  // namespace platform
