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
// were.) Where the host takes its frames one swap late, two objects take turns: SwapBuffers sends
// the finished frame to the rasteriser and reads the one before it from the other object, which
// nothing in flight touches, so the read waits for nothing and the drawing of the next frame
// overlaps the rasterising of this one.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/host.h"
#include "sdl/internal.h"

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
    // GL_MESA_pack_invert: read-backs come top row first, without a copy of ours to turn them.
    bool packInvert = false;
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

// Frames read one swap late: the host takes them so, and the picture is in framebuffer objects.
bool ReadsLate(const GlContext* context) {
    const host::Options& options = host::Current();
    return options.onPresent && options.lateFrames && context->offscreen;
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

void DeliverLate(GlContext* context);

// Sizes the framebuffer objects the context needs to the picture. The context must be current.
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
    context->framebufferWidth = context->width;
    context->framebufferHeight = context->height;
    return true;
}

// Chooses where the next frame is drawn: the window's own framebuffer where it has the picture's
// size and channels, else the framebuffer object. False when that cannot be made.
bool Place(GlContext* context, Window* window) {
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(window->sdl, &width, &height);
    const bool offscreen = host::Current().video == host::Video::Headless || !context->windowFits ||
                           width != context->width || height != context->height;
    if (offscreen && !context->offscreen) {
        context->shown = Layout();  // the borders are cleared afresh
    }
    context->offscreen = offscreen;
    if (offscreen && !SizeFramebuffers(context)) {
        context->offscreen = false;
        gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
        return false;
    }
    gl.bindFramebuffer(GL_FRAMEBUFFER, offscreen ? context->framebuffers[context->drawing] : 0);
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

// Reads the bound read framebuffer's picture of the given size and hands it to the host, top row
// first. The program's pack alignment is kept as it was.
void Read(GlContext* context, int width, int height) {
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    const size_t row = static_cast<size_t>(width) * 4;
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    if (context->frame.size() < bytes) {
        context->frame.resize(bytes);
    }
    if (gl.packInvert) {
        glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, context->frame.data());
        glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
    } else {
        if (context->readback.size() < bytes) {
            context->readback.resize(bytes);
        }
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, context->readback.data());
        for (int y = 0; y < height; ++y) {  // GL's rows come bottom row first
            std::memcpy(&context->frame[static_cast<size_t>(y) * row],
                        &context->readback[static_cast<size_t>(height - 1 - y) * row], row);
        }
    }
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    host::Current().onPresent(host::Frame{context->frame.data(), width, height});
}

// Hands the host the finished frame waiting in the framebuffer object the program is not drawing
// into.
void DeliverLate(GlContext* context) {
    if (!context->readPending) {
        return;
    }
    context->readPending = false;
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, context->framebuffers[1 - context->drawing]);
    Read(context, context->pendingWidth, context->pendingHeight);
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER,
                       context->offscreen ? context->framebuffers[context->drawing] : 0);
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
        gl.bindFramebuffer(GL_READ_FRAMEBUFFER, context->framebuffers[context->drawing]);
        const bool exact = layout.width == context->width && layout.height == context->height;
        gl.blitFramebuffer(0, 0, context->width, context->height, layout.x, layout.y,
                           layout.x + layout.width, layout.y + layout.height, GL_COLOR_BUFFER_BIT,
                           exact ? GL_NEAREST : GL_LINEAR);
    }
    SDL_GL_SwapWindow(window->sdl);
    gl.bindFramebuffer(GL_FRAMEBUFFER, context->framebuffers[context->drawing]);
}

// SwapBuffers' work: the frame to the host, then to the screen.
void Present(GlContext* context, Window* window) {
    const host::Options& options = host::Current();
    const bool late = ReadsLate(context);
    if (late) {
        glFlush();  // the frame goes to the rasteriser now, while the one before it is read
    } else if (options.onPresent) {
        DeliverLate(context);  // one left from a way of drawing that no longer applies
        Read(context, context->width, context->height);
    }
    if (options.video == host::Video::Headless) {
        // Nothing to show.
    } else if (context->offscreen) {
        ShowScaled(context, window);
    } else {
        SDL_GL_SwapWindow(window->sdl);
    }
    if (late) {
        DeliverLate(context);
        context->readPending = true;
        context->pendingWidth = context->width;
        context->pendingHeight = context->height;
        context->drawing = 1 - context->drawing;
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
    if (context != nullptr && host::Current().onPresent) {
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
    SDL_GL_DeleteContext(context->sdl);  // its framebuffer objects go with it
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
