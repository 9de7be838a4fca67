// gdi32 and opengl32: pixel formats, rendering contexts and presentation, over SDL's GL contexts.
//
// The program's picture has its window's client size, or for the fullscreen picture of an emulated
// mode the mode's size; its viewport, its reads and the host's frames all have that size. Where the
// window's own framebuffer on the screen has that size and the pixel format's channels (a screen of
// the mode's size, any ordinary window), the context draws straight into it and SwapBuffers is a
// plain swap: presenting costs nothing the program did not ask for. Where the screen differs, the
// context draws into a framebuffer object of the picture's size, which SwapBuffers copies to the
// screen, scaled with its aspect kept, borders black. When the window's size changes, the next
// frame takes whichever way now fits.
//
// Headless, nobody sees the window: the context draws into the framebuffer object, and SwapBuffers
// copies nothing and swaps nothing; it only reads the picture back when the host asks for frames.
// (The object, not the window's framebuffer, because Mesa rasterises the two with opposite row
// orders, which moves a few pixels at the ends of lines: the host's frames stay as they always
// were.)
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/host.h"
#include "win32/internal.h"

namespace platform {
namespace {

// Format 1: RGB, 8 bits a channel, 24-bit depth, 8-bit stencil, double-buffered.
// Format 2: the same with 8 alpha bits.
const int kFormatRgb = 1;
const int kFormatRgba = 2;

// A window's framebuffer has at most this many colour buffers that take turns on the screen;
// borders cleared in each of them stay black.
const int kSwapChainLength = 3;

struct GlCalls {
    bool loaded = false;
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer;
    PFNGLCLEARBUFFERFVPROC clearBufferfv;
    // Pixel buffer objects, for read-backs that overlap the next frame; optional.
    bool pixelBuffers = false;
    PFNGLGENBUFFERSPROC genBuffers;
    PFNGLBINDBUFFERPROC bindBuffer;
    PFNGLBUFFERDATAPROC bufferData;
    PFNGLMAPBUFFERPROC mapBuffer;
    PFNGLUNMAPBUFFERPROC unmapBuffer;
    PFNGLGETBUFFERSUBDATAPROC getBufferSubData;
};

GlCalls gl;

template <typename T>
bool Load(T* call, const char* name) {
    *call = reinterpret_cast<T>(SDL_GL_GetProcAddress(name));
    return *call != nullptr;
}

bool LoadCalls() {
    if (!gl.loaded) {
        gl.loaded = Load(&gl.genFramebuffers, "glGenFramebuffers") &&
                    Load(&gl.deleteFramebuffers, "glDeleteFramebuffers") &&
                    Load(&gl.bindFramebuffer, "glBindFramebuffer") &&
                    Load(&gl.genRenderbuffers, "glGenRenderbuffers") &&
                    Load(&gl.deleteRenderbuffers, "glDeleteRenderbuffers") &&
                    Load(&gl.bindRenderbuffer, "glBindRenderbuffer") &&
                    Load(&gl.renderbufferStorage, "glRenderbufferStorage") &&
                    Load(&gl.framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
                    Load(&gl.checkFramebufferStatus, "glCheckFramebufferStatus") &&
                    Load(&gl.blitFramebuffer, "glBlitFramebuffer") &&
                    Load(&gl.clearBufferfv, "glClearBufferfv");
        gl.pixelBuffers =
            Load(&gl.genBuffers, "glGenBuffers") && Load(&gl.bindBuffer, "glBindBuffer") &&
            Load(&gl.bufferData, "glBufferData") && Load(&gl.mapBuffer, "glMapBuffer") &&
            Load(&gl.unmapBuffer, "glUnmapBuffer") &&
            Load(&gl.getBufferSubData, "glGetBufferSubData");
    }
    return gl.loaded;
}

size_t FrameBytes(int width, int height) {
    return static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
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

// (Re)allocates the framebuffer object at the picture's size. The context must be current.
bool SizeFramebuffer(GlContext* context) {
    if (context->framebuffer != 0 && context->framebufferWidth == context->width &&
        context->framebufferHeight == context->height) {
        return true;
    }
    if (context->framebuffer == 0) {
        gl.genFramebuffers(1, &context->framebuffer);
        gl.genRenderbuffers(1, &context->colour);
        gl.genRenderbuffers(1, &context->depthStencil);
    }
    gl.bindRenderbuffer(GL_RENDERBUFFER, context->colour);
    gl.renderbufferStorage(GL_RENDERBUFFER,
                           context->pixelFormat == kFormatRgba ? GL_RGBA8 : GL_RGB8, context->width,
                           context->height);
    gl.bindRenderbuffer(GL_RENDERBUFFER, context->depthStencil);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, context->width, context->height);
    gl.bindRenderbuffer(GL_RENDERBUFFER, 0);
    gl.bindFramebuffer(GL_FRAMEBUFFER, context->framebuffer);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                               context->colour);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                               context->depthStencil);
    context->framebufferWidth = context->width;
    context->framebufferHeight = context->height;
    return gl.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

// Chooses where the next frame is drawn: the window's own framebuffer where it has the picture's
// size and channels, else the framebuffer object. False when that cannot be made.
bool Place(GlContext* context, Window* window) {
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(window->sdl, &width, &height);
    const bool offscreen = host::Current().video == host::Video::Headless || !context->windowFits ||
                           width != context->width || height != context->height;
    if (offscreen && !SizeFramebuffer(context)) {
        gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
        return false;
    }
    if (offscreen && !context->offscreen) {
        context->shown = Layout();  // the borders are cleared afresh
    }
    context->offscreen = offscreen;
    gl.bindFramebuffer(GL_FRAMEBUFFER, offscreen ? context->framebuffer : 0);
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

// Pack state of the program's that a read-back of ours must not disturb, set for ours and restored.
class PackState {
  public:
    PackState() {
        glGetIntegerv(GL_PACK_ALIGNMENT, &alignment_);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        if (gl.pixelBuffers) {
            glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &buffer_);
        }
    }
    ~PackState() {
        glPixelStorei(GL_PACK_ALIGNMENT, alignment_);
        if (gl.pixelBuffers) {
            gl.bindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(buffer_));
        }
    }
    PackState(const PackState&) = delete;
    PackState& operator=(const PackState&) = delete;

  private:
    GLint alignment_ = 4;
    GLint buffer_ = 0;
};

// Hands GL's rows (bottom row first) to the host, top row first.
void Deliver(GlContext* context, const std::uint8_t* rows, int width, int height) {
    const size_t row = static_cast<size_t>(width) * 4;
    if (context->frame.size() < FrameBytes(width, height)) {
        context->frame.resize(FrameBytes(width, height));
    }
    for (int y = 0; y < height; ++y) {
        std::memcpy(&context->frame[static_cast<size_t>(y) * row],
                    rows + static_cast<size_t>(height - 1 - y) * row, row);
    }
    host::Current().onPresent(host::Frame{context->frame.data(), width, height});
}

// Reads the finished picture and hands it to the host at once.
void ReadNow(GlContext* context) {
    const size_t bytes = FrameBytes(context->width, context->height);
    if (context->readback.size() < bytes) {
        context->readback.resize(bytes);
    }
    {
        PackState pack;
        if (gl.pixelBuffers) {
            gl.bindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        }
        glReadPixels(0, 0, context->width, context->height, GL_RGBA, GL_UNSIGNED_BYTE,
                     context->readback.data());
    }
    Deliver(context, context->readback.data(), context->width, context->height);
}

// Hands the host the frame whose read-back into the pixel buffer was started at the last swap.
void DeliverLate(GlContext* context) {
    if (!context->readPending) {
        return;
    }
    context->readPending = false;
    const int width = context->pendingWidth, height = context->pendingHeight;
    const size_t bytes = FrameBytes(width, height);
    PackState pack;
    gl.bindBuffer(GL_PIXEL_PACK_BUFFER, context->packBuffer);
    if (const void* rows = gl.mapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY)) {
        Deliver(context, static_cast<const std::uint8_t*>(rows), width, height);
        gl.unmapBuffer(GL_PIXEL_PACK_BUFFER);
    } else {
        if (context->readback.size() < bytes) {
            context->readback.resize(bytes);
        }
        gl.getBufferSubData(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(bytes),
                            context->readback.data());
        Deliver(context, context->readback.data(), width, height);
    }
}

// Starts reading the finished picture into a pixel buffer, to be handed over at the next swap (or
// when the context stops being current): GL copies it while the program draws the next frame.
void ReadLate(GlContext* context) {
    DeliverLate(context);
    const size_t bytes = FrameBytes(context->width, context->height);
    PackState pack;
    if (context->packBuffer == 0) {
        gl.genBuffers(1, &context->packBuffer);
    }
    gl.bindBuffer(GL_PIXEL_PACK_BUFFER, context->packBuffer);
    if (context->packBufferBytes != bytes) {
        gl.bufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr,
                      GL_STREAM_READ);
        context->packBufferBytes = bytes;
    }
    glReadPixels(0, 0, context->width, context->height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    context->pendingWidth = context->width;
    context->pendingHeight = context->height;
    context->readPending = true;
    glFlush();  // the frame and its read-back go to the rasteriser now, not with the next frame
}

// Saves the program's scissor test and box, and restores them.
class ScissorState {
  public:
    ScissorState() : enabled_(glIsEnabled(GL_SCISSOR_TEST)) { glGetIntegerv(GL_SCISSOR_BOX, box_); }
    ~ScissorState() {
        glScissor(box_[0], box_[1], box_[2], box_[3]);
        if (enabled_) {
            glEnable(GL_SCISSOR_TEST);
        } else {
            glDisable(GL_SCISSOR_TEST);
        }
    }
    ScissorState(const ScissorState&) = delete;
    ScissorState& operator=(const ScissorState&) = delete;

  private:
    GLboolean enabled_;
    GLint box_[4];
};

// Where the picture lies on a screen of the given size: for the fullscreen picture the largest
// size of the same aspect that the screen holds, centred; a window's picture one to one, hanging
// from its top-left corner.
Layout Fit(const GlContext* context, const Window* window, int screenWidth, int screenHeight) {
    Layout layout;
    layout.screenWidth = screenWidth;
    layout.screenHeight = screenHeight;
    layout.width = context->width;
    layout.height = context->height;
    if (window->fullscreenPicture) {
        const double scale = std::min(static_cast<double>(screenWidth) / context->width,
                                      static_cast<double>(screenHeight) / context->height);
        layout.width = static_cast<int>(context->width * scale + 0.5);
        layout.height = static_cast<int>(context->height * scale + 0.5);
        layout.x = (screenWidth - layout.width) / 2;
        layout.y = (screenHeight - layout.height) / 2;
    } else {
        layout.y = screenHeight - layout.height;
    }
    return layout;
}

// Clears what the picture leaves of the screen: up to four strips around it.
void ClearBorders(const Layout& l) {
    const GLfloat black[4] = {0, 0, 0, 1};
    const int top = l.y + l.height, right = l.x + l.width;
    const GLint strips[4][4] = {
        {0, 0, l.screenWidth, std::max(0, l.y)},        // below
        {0, top, l.screenWidth, l.screenHeight - top},  // above
        {0, l.y, std::max(0, l.x), l.height},           // left
        {right, l.y, l.screenWidth - right, l.height},  // right
    };
    glEnable(GL_SCISSOR_TEST);
    for (const auto& s : strips) {
        if (s[2] > 0 && s[3] > 0) {
            glScissor(s[0], s[1], s[2], s[3]);
            gl.clearBufferfv(GL_COLOR, 0, black);
        }
    }
}

// Copies the picture from the framebuffer object to the window's own framebuffer and swaps.
// Only the picture's rectangle is drawn; the borders are cleared when they change, in every
// buffer that takes its turn on the screen.
void ShowScaled(GlContext* context, Window* window) {
    int screenWidth = 0, screenHeight = 0;
    SDL_GL_GetDrawableSize(window->sdl, &screenWidth, &screenHeight);
    const Layout layout = Fit(context, window, screenWidth, screenHeight);
    if (!(layout == context->shown)) {
        context->shown = layout;
        context->borderClears = kSwapChainLength;
    }
    gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    {
        ScissorState scissor;
        if (context->borderClears > 0) {
            --context->borderClears;
            ClearBorders(layout);
        }
        glDisable(GL_SCISSOR_TEST);
        gl.bindFramebuffer(GL_READ_FRAMEBUFFER, context->framebuffer);
        const bool exact = layout.width == context->width && layout.height == context->height;
        gl.blitFramebuffer(0, 0, context->width, context->height, layout.x, layout.y,
                           layout.x + layout.width, layout.y + layout.height, GL_COLOR_BUFFER_BIT,
                           exact ? GL_NEAREST : GL_LINEAR);
    }
    SDL_GL_SwapWindow(window->sdl);
    gl.bindFramebuffer(GL_FRAMEBUFFER, context->framebuffer);
}

// SwapBuffers' work: the frame to the host, then to the screen.
void Present(GlContext* context, Window* window) {
    const host::Options& options = host::Current();
    if (options.onPresent) {
        if (options.lateFrames && gl.pixelBuffers) {
            ReadLate(context);
        } else {
            ReadNow(context);
        }
    }
    if (options.video == host::Video::Headless) {
        // Nothing to show.
    } else if (context->offscreen) {
        ShowScaled(context, window);
    } else {
        SDL_GL_SwapWindow(window->sdl);
    }
    if (options.onSwap) {
        options.onSwap();
    }
    // An ordinary window's picture follows its client area, as a window's own framebuffer does;
    // the viewport stays as it was.
    if (!window->fullscreenPicture) {
        context->width = std::max(1, window->clientWidth);
        context->height = std::max(1, window->clientHeight);
    }
    Place(context, window);
}

}  // namespace

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

void DeliverLateFrame() {
    GlContext* context = Get().current;
    if (context != nullptr && context->readPending && host::Current().onPresent) {
        DeliverLate(context);
    }
    if (context != nullptr) {
        context->readPending = false;
    }
}

}  // namespace platform
using platform::FindDc;
using platform::Get;

// The closest format this platform has, or 0 when none can hold what is asked: colour-index,
// more than 24 depth or 8 stencil bits, accumulation or auxiliary buffers, GDI drawing.
int WINAPI ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* ppfd) {
    if (ppfd != nullptr) {
        PIXELFORMATDESCRIPTOR rest = *ppfd;
        rest.nSize = rest.nVersion = 0;
        rest.dwFlags = 0;
        rest.iPixelType = rest.cColorBits = rest.cDepthBits = rest.cStencilBits = 0;
        const auto* bytes = reinterpret_cast<const unsigned char*>(&rest);
        const bool restZero =
            std::all_of(bytes, bytes + sizeof rest, [](unsigned char b) { return b == 0; });
        char detail[200];
        std::snprintf(
            detail, sizeof detail,
            "size=%u version=%u flags=0x%02x type=%u colour=%u depth=%u stencil=%u rest=%s",
            ppfd->nSize, ppfd->nVersion, ppfd->dwFlags, ppfd->iPixelType, ppfd->cColorBits,
            ppfd->cDepthBits, ppfd->cStencilBits, restZero ? "zero" : "set");
        host::Record("ChoosePixelFormat", detail);
    } else {
        host::Record("ChoosePixelFormat", "null");
    }
    if (host::ShouldFail("ChoosePixelFormat") || FindDc(hdc) == nullptr || ppfd == nullptr) {
        return 0;
    }
    if (ppfd->iPixelType != PFD_TYPE_RGBA || ppfd->cDepthBits > 24 || ppfd->cStencilBits > 8 ||
        ppfd->cAccumBits != 0 || ppfd->cAuxBuffers != 0 || ppfd->cAlphaBits > 8 ||
        (ppfd->dwFlags & (PFD_DRAW_TO_BITMAP | PFD_SUPPORT_GDI))) {
        return 0;
    }
    return ppfd->cAlphaBits > 0 ? platform::kFormatRgba : platform::kFormatRgb;
}

// A window's pixel format can be set once; setting it again to another format fails.
BOOL WINAPI SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR* ppfd) {
    static_cast<void>(ppfd);
    host::Record("SetPixelFormat", std::to_string(format));
    platform::DeviceContext* dc = FindDc(hdc);
    if (dc == nullptr || (format != platform::kFormatRgb && format != platform::kFormatRgba) ||
        (dc->pixelFormat != 0 && dc->pixelFormat != format)) {
        return FALSE;
    }
    dc->pixelFormat = format;
    return TRUE;
}

// A context for the device context's pixel format; it is not made current.
HGLRC WINAPI wglCreateContext(HDC hdc) try {
    host::Record("wglCreateContext");
    platform::DeviceContext* dc = FindDc(hdc);
    if (host::ShouldFail("wglCreateContext") || dc == nullptr || dc->pixelFormat == 0) {
        return nullptr;
    }
    SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext previous = SDL_GL_GetCurrentContext();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);  // compatibility: GL 1.1 and up
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
    host::Record("wglMakeCurrent", hglrc ? "context" : "null");
    platform::State& state = Get();
    if (host::ShouldFail("wglMakeCurrent")) {
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
        context->width = std::max(1, dc->window->clientWidth);
        context->height = std::max(1, dc->window->clientHeight);
        if (!platform::LoadCalls()) {
            SDL_GL_MakeCurrent(dc->window->sdl, nullptr);
            state.current = nullptr;
            return FALSE;
        }
        context->windowFits = platform::WindowFramebufferFits(context->pixelFormat);
    }
    if (!platform::Place(context, dc->window)) {
        SDL_GL_MakeCurrent(dc->window->sdl, nullptr);
        state.current = nullptr;
        return FALSE;
    }
    if (!context->everCurrent) {
        context->everCurrent = true;
        glViewport(0, 0, context->width, context->height);
        glScissor(0, 0, context->width, context->height);
    }
    return TRUE;
} catch (const std::bad_alloc&) {
    SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
    Get().current = nullptr;
    return FALSE;
}

BOOL WINAPI wglDeleteContext(HGLRC hglrc) {
    host::Record("wglDeleteContext");
    platform::GlContext* context = platform::FindContext(hglrc);
    if (context == nullptr) {
        return FALSE;
    }
    platform::State& state = Get();
    if (state.current == context) {
        platform::DeliverLateFrame();
        state.current = nullptr;
    }
    SDL_GL_DeleteContext(context->sdl);  // its framebuffer and pixel buffer objects go with it
    auto& contexts = state.contexts;
    contexts.erase(std::find(contexts.begin(), contexts.end(), context));
    delete context;
    return TRUE;
}

// Presents the current context's picture on the device context's window.
BOOL WINAPI SwapBuffers(HDC hdc) {
    platform::DeviceContext* dc = FindDc(hdc);
    platform::GlContext* context = Get().current;
    if (dc == nullptr || context == nullptr || context->window != dc->window) {
        return FALSE;
    }
    platform::Present(context, dc->window);
    return TRUE;
}
