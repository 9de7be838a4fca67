// What the SDL back end's GL parts share: the pixel formats, the GL entry points beyond 1.1 that
// the presentation uses, and where a context draws.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include "sdl/internal.h"

namespace platform {

// Format 1: RGB, 8 bits a channel, 24-bit depth, 8-bit stencil, double-buffered.
// Format 2: the same with 8 alpha bits.
const int kFormatRgb = 1;
const int kFormatRgba = 2;

// The framebuffer objects and their renderbuffers live as long as their context and go with it,
// so nothing deletes them on its own.
struct GlCalls {
    bool loaded = false;
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer;
    PFNGLCLEARBUFFERFVPROC clearBufferfv;
    // GL_MESA_pack_invert: read-backs come top row first, without a copy of ours to turn them.
    bool packInvert = false;
};

extern GlCalls gl;

// Frames read one swap late: the host takes them so, and the picture is in framebuffer objects.
bool ReadsLate(const GlContext* context);
// Chooses where the next frame is drawn: the window's own framebuffer where it has the picture's
// channels and holds the picture one to one (whole, or cropped to the fullscreen picture's
// rectangle), else the framebuffer object. False when that cannot be made.
bool Place(GlContext* context, Window* window);
DeviceContext* FindDc(HDC handle);
// Sizes the framebuffer objects to the picture (and binds one). The context must be current.
bool SizeFramebuffers(GlContext* context);

// The frames' way out (frames.cpp). A frame the program has just finished: its index, the tick it
// was drawn at, and whether its picture was read now or is read while the next one is drawn.
struct FinishedFrame {
    std::int64_t index;
    std::uint32_t tick;
    bool read;
    bool late;
};
// How the frame being drawn is drawn: frame 0 as the host's options say, each later one as the
// host answered the frame before it (whole where no host takes frames).
host::Draw Drawing();
// Called by SwapBuffers with the frame just finished, before it is shown.
FinishedFrame FinishFrame(GlContext* context);
// Called by SwapBuffers once the frame is shown: hands the host the frame and what is read, and
// does what the host answers: closes the piece when asked, moves the virtual clock on to the
// next frame and prepares it.
void FrameShown(GlContext* context, const FinishedFrame& frame);
// Hands the host the finished frame still being read back in the framebuffer object the program
// is not drawing into.
void DeliverLate(GlContext* context);
// Before the program draws the next frame: a frame the host wants drawn cheaply goes into a
// scissor box of one pixel; the program's own scissor test and box are back for the next frame
// that is not.
void PrepareFrame(GlContext* context);

// Reduced flashing (reduce_flashing.cpp): whether the host or the program's command line asks
// for it, and the limit on the finished picture, drawn back where it changes it.
bool ReducedFlashing();
void ReduceFlashing(GlContext* context);

}  // namespace platform
