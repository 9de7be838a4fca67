// gdi32 and opengl32: pixel formats, rendering contexts and presentation, over SDL's GL contexts.
//
// A context draws into a framebuffer object of its window's client size, which stands in for the
// window's default framebuffer: it is bound when the context is made current, so the program
// sees exactly the client size in its viewport and its reads, whatever the screen is. SwapBuffers
// hands the finished picture to the host and shows it, scaled with its aspect kept where the
// window is the fullscreen picture of an emulated mode, borders black.
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

struct FramebufferCalls {
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
};

FramebufferCalls gl;

template <typename T>
bool Load(T* call, const char* name) {
    *call = reinterpret_cast<T>(SDL_GL_GetProcAddress(name));
    return *call != nullptr;
}

bool LoadFramebufferCalls() {
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
    }
    return gl.loaded;
}

// (Re)allocates the picture's buffers at the given size. The context must be current.
bool SizeFramebuffer(GlContext* context, int width, int height) {
    width = std::max(1, width);
    height = std::max(1, height);
    if (context->framebuffer == 0) {
        gl.genFramebuffers(1, &context->framebuffer);
        gl.genRenderbuffers(1, &context->colour);
        gl.genRenderbuffers(1, &context->depthStencil);
    }
    gl.bindRenderbuffer(GL_RENDERBUFFER, context->colour);
    gl.renderbufferStorage(GL_RENDERBUFFER,
                           context->pixelFormat == kFormatRgba ? GL_RGBA8 : GL_RGB8, width, height);
    gl.bindRenderbuffer(GL_RENDERBUFFER, context->depthStencil);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    gl.bindRenderbuffer(GL_RENDERBUFFER, 0);
    gl.bindFramebuffer(GL_FRAMEBUFFER, context->framebuffer);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                               context->colour);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                               context->depthStencil);
    context->width = width;
    context->height = height;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    context->readback.assign(bytes, 0);
    context->frame.assign(bytes, 0);
    return gl.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
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

void HandToHost(GlContext* context) {
    const auto& onPresent = host::Current().onPresent;
    if (!onPresent) {
        return;
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, context->width, context->height, GL_RGBA, GL_UNSIGNED_BYTE,
                 context->readback.data());
    // GL gives the bottom row first; the host gets the top row first.
    const size_t row = static_cast<size_t>(context->width) * 4;
    for (int y = 0; y < context->height; ++y) {
        std::memcpy(&context->frame[static_cast<size_t>(y) * row],
                    &context->readback[static_cast<size_t>(context->height - 1 - y) * row], row);
    }
    onPresent(host::Frame{context->frame.data(), context->width, context->height});
}

// Copies the picture to the window's own framebuffer: one to one, or for the fullscreen picture
// scaled to the largest size of the same aspect that the screen holds, centred, borders black.
void Show(GlContext* context, Window* window) {
    int screenWidth = 0, screenHeight = 0;
    SDL_GL_GetDrawableSize(window->sdl, &screenWidth, &screenHeight);
    int x = 0, y = 0, width = context->width, height = context->height;
    if (window->fullscreenPicture && (screenWidth != width || screenHeight != height)) {
        const double scale = std::min(static_cast<double>(screenWidth) / context->width,
                                      static_cast<double>(screenHeight) / context->height);
        width = static_cast<int>(context->width * scale + 0.5);
        height = static_cast<int>(context->height * scale + 0.5);
        x = (screenWidth - width) / 2;
        y = (screenHeight - height) / 2;
    } else {
        y = screenHeight - height;  // a window's picture hangs from its top-left corner
    }
    const GLfloat black[4] = {0, 0, 0, 1};
    gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    gl.clearBufferfv(GL_COLOR, 0, black);
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, context->framebuffer);
    const bool exact = width == context->width && height == context->height;
    gl.blitFramebuffer(0, 0, context->width, context->height, x, y, x + width, y + height,
                       GL_COLOR_BUFFER_BIT, exact ? GL_NEAREST : GL_LINEAR);
    SDL_GL_SwapWindow(window->sdl);
    gl.bindFramebuffer(GL_FRAMEBUFFER, context->framebuffer);
}

}  // namespace

GlContext* FindContext(HGLRC handle) {
    auto* context = reinterpret_cast<GlContext*>(handle);
    const auto& contexts = Get().contexts;
    return std::find(contexts.begin(), contexts.end(), context) != contexts.end() ? context
                                                                                  : nullptr;
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
    if (SDL_GL_MakeCurrent(dc->window->sdl, context->sdl) != 0) {
        return FALSE;
    }
    state.current = context;
    context->window = dc->window;
    if (!context->everCurrent) {
        if (!platform::LoadFramebufferCalls() ||
            !platform::SizeFramebuffer(context, dc->window->clientWidth,
                                       dc->window->clientHeight)) {
            SDL_GL_MakeCurrent(dc->window->sdl, nullptr);
            state.current = nullptr;
            return FALSE;
        }
        context->everCurrent = true;
        glViewport(0, 0, context->width, context->height);
        glScissor(0, 0, context->width, context->height);
    }
    platform::gl.bindFramebuffer(GL_FRAMEBUFFER, context->framebuffer);
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
    platform::HandToHost(context);
    if (host::Current().video == host::Video::Headless) {
        SDL_GL_SwapWindow(dc->window->sdl);
    } else {
        platform::Show(context, dc->window);
    }
    // A window whose client area was resized gets buffers of its new size, as a window's own
    // framebuffer follows it; the viewport stays as it was.
    platform::Window* window = dc->window;
    if (!window->fullscreenPicture &&
        (window->clientWidth != context->width || window->clientHeight != context->height)) {
        platform::SizeFramebuffer(context, window->clientWidth, window->clientHeight);
    }
    return TRUE;
}
