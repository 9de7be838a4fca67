// gdi32's SwapBuffers: the finished picture to the host and to the screen. Where the picture is
// in a framebuffer object and the screen differs from it, it is copied to the window's own
// framebuffer scaled with its aspect kept, borders black; where it is drawn cropped into the
// window's framebuffer, only the borders around it are cleared.
#include <algorithm>

#include "platform/host.h"
#include "platform/letterbox.h"
#include "sdl/gl.h"
#include "sdl/picture_size.h"

namespace platform {
namespace {

// A window's framebuffer has at most this many colour buffers that take turns on the screen;
// borders cleared in each of them stay black.
const int kSwapChainLength = 3;

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

// Where the picture lies on a screen of the given size: for the fullscreen picture the letterbox
// fit; a window's picture one to one, hanging from its top-left corner.
Layout Fit(const GlContext* context, const Window* window, int screenWidth, int screenHeight) {
    Layout layout;
    layout.screenWidth = screenWidth;
    layout.screenHeight = screenHeight;
    layout.width = context->width;
    layout.height = context->height;
    if (window->fullscreenPicture) {
        const FitRect fit = FitInside(context->width, context->height, screenWidth, screenHeight);
        layout.x = fit.x;
        layout.y = fit.y;
        layout.width = fit.width;
        layout.height = fit.height;
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

// Where the picture lies on the screen now. When that changes, the borders are cleared afresh in
// every buffer that takes its turn on the screen.
Layout OnScreen(GlContext* context, Window* window) {
    int screenWidth = 0, screenHeight = 0;
    SDL_GL_GetDrawableSize(window->sdl, &screenWidth, &screenHeight);
    const Layout layout = Fit(context, window, screenWidth, screenHeight);
    if (!(layout == context->shown)) {
        context->shown = layout;
        context->borderClears = kSwapChainLength;
    }
    return layout;
}

// Copies the picture from the framebuffer object to the window's own framebuffer and swaps.
// Only the picture's rectangle is drawn; the borders are cleared when they change, in every
// buffer that takes its turn on the screen.
void ShowScaled(GlContext* context, Window* window) {
    const Layout layout = OnScreen(context, window);
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

// Shows the picture drawn cropped into the window's own framebuffer: the borders around it are
// cleared when they change, in every buffer that takes its turn on the screen, and swaps.
void ShowCropped(GlContext* context, Window* window) {
    const Layout layout = OnScreen(context, window);
    if (context->borderClears > 0) {
        --context->borderClears;
        ScissorState scissor;
        ClearBorders(layout);
    }
    SDL_GL_SwapWindow(window->sdl);
}

// A picture cropped from the window's framebuffer that the host wants read: copied to the
// framebuffer object, which is bound for reading, so that it is read from GL's origin as any
// other picture. False when it cannot be.
bool CopyCropForReading(GlContext* context) {
    if (!context->cropped || Drawing() != host::Draw::Read) {
        return false;
    }
    const bool sized = SizeFramebuffers(context);
    gl.bindFramebuffer(GL_FRAMEBUFFER, 0);  // the program draws on into the window
    if (!sized) {
        return false;
    }
    ScissorState scissor;
    glDisable(GL_SCISSOR_TEST);
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, context->framebuffers[0]);
    gl.blitFramebuffer(context->originX, context->originY, context->originX + context->width,
                       context->originY + context->height, 0, 0, context->width, context->height,
                       GL_COLOR_BUFFER_BIT, GL_NEAREST);
    gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, context->framebuffers[0]);
    return true;
}

// SwapBuffers' work: the finished frame to the host and to the screen.
void Present(GlContext* context, Window* window) {
    // The picture is finished here. A filter on the finished picture belongs at this point,
    // before anything reads or shows it.
    if (context->samples > 0 && context->offscreen) {
        Resolve(context);
    }
    if (ReducedFlashing()) {
        ReduceFlashing(context);
    }
    const bool copied = CopyCropForReading(context);
    const FinishedFrame finished = FinishFrame(context);
    if (copied) {
        gl.bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    }
    if (host::Current().video.output == host::Video::Headless) {
        // Nothing to show.
    } else if (context->offscreen) {
        ShowScaled(context, window);
    } else if (context->cropped) {
        ShowCropped(context, window);
    } else {
        SDL_GL_SwapWindow(window->sdl);
    }
    FrameShown(context, finished);
    // An ordinary window's picture follows its client area, as a window's own framebuffer does;
    // the viewport stays as it was.
    if (!window->fullscreenPicture) {
        context->width = std::max(1, window->clientWidth);
        context->height = std::max(1, window->clientHeight);
    } else {
        FollowScreen(context, window);
    }
    Place(context, window);
}

}  // namespace
}  // namespace platform

using platform::FindDc;
using platform::Get;

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
