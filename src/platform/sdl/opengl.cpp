// gdi32 and opengl32: pixel formats, rendering contexts and presentation, over SDL's GL contexts.
//
// The program's picture has its window's client size, or for the fullscreen picture of an emulated
// mode the largest rectangle of the mode's shape on the screen's own pixels (picture_size.cpp);
// its viewport, its reads and the host's frames all have that size. Where the
// window's own framebuffer on the screen has that size and the pixel format's channels (a screen of
// the mode's size, any ordinary window), the context draws straight into it and SwapBuffers is a
// plain swap: presenting costs nothing the program did not ask for. Where the fullscreen picture
// is the largest rectangle of its shape on a screen of another shape, the context draws straight
// into the window's framebuffer cropped to the rectangle (viewport and scissor box moved to its
// corner, the scissor test on), and SwapBuffers clears the borders. Where the screen differs
// otherwise (a picture of another size, multisampling, reduced flashing), the context draws into
// a framebuffer object of the picture's size, which SwapBuffers copies to the screen, scaled with
// its aspect kept, borders black. When the window's size changes, the next frame takes whichever
// way now fits.
//
// Headless, nobody sees the window: the context draws into the framebuffer object, and SwapBuffers
// copies nothing and swaps nothing; it only reads the picture back when the host asks for frames.
// (The object, not the window's framebuffer, because Mesa rasterises the two with opposite row
// orders, which moves a few pixels at the ends of lines: the host's frames stay as they always
// were.) Where the host takes its frames one swap late, two objects take turns: SwapBuffers sends
// the finished frame to the rasteriser and reads the one before it from the other object, which
// nothing in flight touches, so the read waits for nothing and the drawing of the next frame
// overlaps the rasterising of this one.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/host.h"
#include "platform/letterbox.h"
#include "platform/probe.h"
#include "platform/core/describe.h"
#include "sdl/gl.h"
#include "sdl/picture_size.h"

namespace platform {

GlCalls gl;

namespace {

template <typename T>
bool Load(T* call, const char* name) {
    *call = reinterpret_cast<T>(SDL_GL_GetProcAddress(name));
    return *call != nullptr;
}

// A picture drawn at another size than its display mode's: lines as wide, in proportion, as at
// the mode's size (1 pixel there).
void ScaleLines(const GlContext* context, const Window* window) {
    const State& state = Get();
    if (window->fullscreenPicture && state.mode.dmPelsHeight > 0 &&
        static_cast<DWORD>(context->height) != state.mode.dmPelsHeight) {
        glLineWidth(static_cast<GLfloat>(context->height) /
                    static_cast<GLfloat>(state.mode.dmPelsHeight));
    }
}

bool LoadCalls() {
    if (!gl.loaded) {
        gl.loaded = Load(&gl.genFramebuffers, "glGenFramebuffers") &&
                    Load(&gl.bindFramebuffer, "glBindFramebuffer") &&
                    Load(&gl.genRenderbuffers, "glGenRenderbuffers") &&
                    Load(&gl.bindRenderbuffer, "glBindRenderbuffer") &&
                    Load(&gl.renderbufferStorage, "glRenderbufferStorage") &&
                    Load(&gl.framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
                    Load(&gl.checkFramebufferStatus, "glCheckFramebufferStatus") &&
                    Load(&gl.blitFramebuffer, "glBlitFramebuffer") &&
                    Load(&gl.clearBufferfv, "glClearBufferfv");
        gl.packInvert = SDL_GL_ExtensionSupported("GL_MESA_pack_invert") == SDL_TRUE;
    }
    return gl.loaded;
}

// Whether the window's own framebuffer (bound now) holds what the pixel format promises, channel
// for channel, so that drawing into it reads back exactly as the framebuffer object would.
bool WindowFramebufferFits(int pixelFormat) {
    GLint red = 0, green = 0, blue = 0, alpha = 0, depth = 0, stencil = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_BLUE_BITS, &blue);
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    return red == 8 && green == 8 && blue == 8 && alpha == (pixelFormat == kFormatRgba ? 8 : 0) &&
           depth == 24 && stencil == 8;
}

// (Re)allocates framebuffer object i at the picture's size and binds it.
bool SizeFramebuffer(GlContext* context, int i) {
    if (context->framebuffers[i] == 0) {
        gl.genFramebuffers(1, &context->framebuffers[i]);
        gl.genRenderbuffers(1, &context->colours[i]);
        gl.genRenderbuffers(1, &context->depthStencils[i]);
    }
    gl.bindRenderbuffer(GL_RENDERBUFFER, context->colours[i]);
    gl.renderbufferStorage(GL_RENDERBUFFER,
                           context->pixelFormat == kFormatRgba ? GL_RGBA8 : GL_RGB8, context->width,
                           context->height);
    gl.bindRenderbuffer(GL_RENDERBUFFER, context->depthStencils[i]);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, context->width, context->height);
    gl.bindRenderbuffer(GL_RENDERBUFFER, 0);
    gl.bindFramebuffer(GL_FRAMEBUFFER, context->framebuffers[i]);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                               context->colours[i]);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                               context->depthStencils[i]);
    return gl.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

// Moves what the program set of the viewport and the scissor box to the picture's corner in the
// framebuffer drawn into, and keeps the scissor test on at the picture while it is cropped from
// the window's framebuffer (the program's own test is back when it no longer is).
void Crop(GlContext* context, bool cropped, int x, int y) {
    if (x != context->originX || y != context->originY) {
        GLint box[4];
        glGetIntegerv(GL_VIEWPORT, box);
        glViewport(box[0] + x - context->originX, box[1] + y - context->originY, box[2], box[3]);
        glGetIntegerv(GL_SCISSOR_BOX, box);
        glScissor(box[0] + x - context->originX, box[1] + y - context->originY, box[2], box[3]);
        context->originX = x;
        context->originY = y;
    }
    if (cropped && !context->cropped) {
        context->scissorBeforeCrop = glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE;
        glEnable(GL_SCISSOR_TEST);
    } else if (!cropped && context->cropped && !context->scissorBeforeCrop) {
        glDisable(GL_SCISSOR_TEST);
    }
    context->cropped = cropped;
}

}  // namespace

bool SizeFramebuffers(GlContext* context) {
    const int count = ReadsLate(context) ? 2 : 1;
    if (context->framebuffers[count - 1] != 0 && context->framebufferWidth == context->width &&
        context->framebufferHeight == context->height) {
        return true;
    }
    DeliverLate(context);  // a finished frame is read before its object changes
    for (int i = 0; i < count; ++i) {
        if (!SizeFramebuffer(context, i)) {
            return false;
        }
    }
    if (context->samples > 0 && !SizeMultisampled(context)) {
        return false;
    }
    context->framebufferWidth = context->width;
    context->framebufferHeight = context->height;
    return true;
}

bool ReadsLate(const GlContext* context) {
    const host::Options& options = host::Current();
    return options.frames && options.lateReads && context->offscreen;
}

bool Place(GlContext* context, Window* window) {
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(window->sdl, &width, &height);
    const host::Options& options = host::Current();
    // The fullscreen picture at the screen's pixels lies one to one in its letterbox rectangle.
    // Cropped to it, the program draws straight into the window; only what reads the picture
    // back at GL's origin, or draws it back there, needs it in a framebuffer object, and so does
    // a host that starts with cheap frames (their one-pixel scissor box takes the crop's place).
    const FitRect fit = window->fullscreenPicture
                            ? FitInside(context->width, context->height, width, height)
                            : FitRect{0, 0, width, height};
    const bool oneToOne = fit.width == context->width && fit.height == context->height;
    const bool cropped = oneToOne && (fit.width != width || fit.height != height);
    const bool offscreen =
        options.video.output == host::Video::Headless || !context->windowFits ||
        context->samples > 0 || !oneToOne ||
        (cropped && (ReducedFlashing() || options.first.draw == host::Draw::Cheap));
    if ((offscreen && !context->offscreen) || (cropped && !offscreen && !context->cropped)) {
        context->shown = Layout();  // the borders are cleared afresh
    }
    context->offscreen = offscreen;
    Crop(context, !offscreen && cropped, offscreen ? 0 : fit.x, offscreen ? 0 : fit.y);
    if (offscreen && !SizeFramebuffers(context)) {
        context->offscreen = false;
        gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
        return false;
    }
    const unsigned drawInto =
        context->samples > 0 ? context->multisampled : context->framebuffers[context->drawing];
    gl.bindFramebuffer(GL_FRAMEBUFFER, offscreen ? drawInto : 0);
    return true;
}

DeviceContext* FindDc(HDC handle) {
    auto* dc = reinterpret_cast<DeviceContext*>(handle);
    for (Window* window : Get().windows) {
        if (&window->dc == dc) {
            return dc;
        }
    }
    return nullptr;
}

GlContext* FindContext(HGLRC handle) {
    auto* context = reinterpret_cast<GlContext*>(handle);
    const auto& contexts = Get().contexts;
    return std::find(contexts.begin(), contexts.end(), context) != contexts.end() ? context
                                                                                  : nullptr;
}

void SetWindowPixelFormat() {
    // Every window's own framebuffer gets the pixel formats' RGB, depth and stencil, so that a
    // context can draw into it directly.
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

}  // namespace platform
using platform::FindDc;
using platform::Get;

// The closest format this platform has, or 0 when none can hold what is asked: colour-index,
// more than 24 depth or 8 stencil bits, accumulation or auxiliary buffers, GDI drawing.
int WINAPI ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* ppfd) {
    if (probe::Enter("ChoosePixelFormat", [&] { return probe::Describe(ppfd); }) ||
        FindDc(hdc) == nullptr || ppfd == nullptr) {
        return 0;
    }
    if (ppfd->iPixelType != PFD_TYPE_RGBA || ppfd->cDepthBits > 24 || ppfd->cStencilBits > 8 ||
        ppfd->cAccumBits != 0 || ppfd->cAuxBuffers != 0 || ppfd->cAlphaBits > 8 ||
        (ppfd->dwFlags & (PFD_DRAW_TO_BITMAP | PFD_SUPPORT_GDI))) {
        return 0;
    }
    return ppfd->cAlphaBits > 0 ? platform::kFormatRgba : platform::kFormatRgb;
}

// A window's pixel format is set once (see core::PixelFormatMayBeSet).
BOOL WINAPI SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR* ppfd) {
    static_cast<void>(ppfd);
    const bool fail = probe::Enter("SetPixelFormat", [&] { return std::to_string(format); });
    platform::DeviceContext* dc = FindDc(hdc);
    if (fail || dc == nullptr ||
        (format != platform::kFormatRgb && format != platform::kFormatRgba) ||
        !core::PixelFormatMayBeSet(dc->pixelFormat, format)) {
        return FALSE;
    }
    dc->pixelFormat = format;
    return TRUE;
}

// A context for the device context's pixel format; it is not made current.
HGLRC WINAPI wglCreateContext(HDC hdc) try {
    platform::DeviceContext* dc = FindDc(hdc);
    if (probe::Enter("wglCreateContext") || dc == nullptr || dc->pixelFormat == 0) {
        return nullptr;
    }
    SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext previous = SDL_GL_GetCurrentContext();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);  // compatibility: GL 1.1 and up
    // SDL reads the window's visual under an error handler of its own and uses it unchecked, so
    // a window destroyed from outside since GetDC must be found here, by our handler.
    platform::CheckWindowExists(dc->window->sdl);
    SDL_GLContext sdl = SDL_GL_CreateContext(dc->window->sdl);
    SDL_GL_MakeCurrent(previousWindow, previous);
    if (sdl == nullptr) {
        return nullptr;
    }
    auto* context = new platform::GlContext;
    context->sdl = sdl;
    context->pixelFormat = dc->pixelFormat;
    Get().contexts.push_back(context);
    return reinterpret_cast<HGLRC>(context);
} catch (const std::bad_alloc&) {
    return nullptr;  // out of memory: no context, as for any other failure
}
// Makes the context current on the device context's window. The first time, GL's viewport and
// scissor box take the window's client size, as a context's first use on a window gives them.
BOOL WINAPI wglMakeCurrent(HDC hdc, HGLRC hglrc) try {
    platform::State& state = Get();
    if (probe::Enter("wglMakeCurrent", [&] { return std::string(hglrc ? "context" : "null"); })) {
        return FALSE;
    }
    if (hglrc == nullptr) {
        if (state.current != nullptr) {
            platform::DeliverLateFrame();
            SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
            state.current = nullptr;
        }
        return TRUE;
    }
    platform::GlContext* context = platform::FindContext(hglrc);
    platform::DeviceContext* dc = FindDc(hdc);
    if (context == nullptr || dc == nullptr || dc->pixelFormat != context->pixelFormat) {
        return FALSE;
    }
    if (state.current != nullptr && state.current != context) {
        platform::DeliverLateFrame();
    }
    if (SDL_GL_MakeCurrent(dc->window->sdl, context->sdl) != 0) {
        return FALSE;
    }
    state.current = context;
    context->window = dc->window;
    if (!context->everCurrent) {
        // The window's own framebuffer is bound: see whether it can hold the picture.
        platform::PictureSize(dc->window, &context->width, &context->height);
        if (!platform::LoadCalls()) {
            SDL_GL_MakeCurrent(dc->window->sdl, nullptr);
            state.current = nullptr;
            return FALSE;
        }
        context->windowFits = platform::WindowFramebufferFits(context->pixelFormat);
        context->samples = platform::ChooseSamples();
    }
    if (!platform::Place(context, dc->window)) {
        SDL_GL_MakeCurrent(dc->window->sdl, nullptr);
        state.current = nullptr;
        return FALSE;
    }
    if (!context->everCurrent) {
        context->everCurrent = true;
        glViewport(context->originX, context->originY, context->width, context->height);
        glScissor(context->originX, context->originY, context->width, context->height);
        platform::ScaleLines(context, dc->window);
        platform::PrepareFrame(context);
    }
    return TRUE;
} catch (const std::bad_alloc&) {
    SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
    Get().current = nullptr;
    return FALSE;
}

BOOL WINAPI wglDeleteContext(HGLRC hglrc) {
    const bool fail = probe::Enter("wglDeleteContext");
    platform::GlContext* context = platform::FindContext(hglrc);
    if (fail || context == nullptr) {
        return FALSE;
    }
    platform::State& state = Get();
    if (state.current == context) {
        platform::DeliverLateFrame();
        state.current = nullptr;
    }
    SDL_GL_DeleteContext(context->sdl);  // its framebuffer objects go with it
    auto& contexts = state.contexts;
    contexts.erase(std::find(contexts.begin(), contexts.end(), context));
    delete context;
    return TRUE;
}
