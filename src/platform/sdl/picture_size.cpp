// The fullscreen picture at the screen's own pixels. An emulated display mode used to be drawn at
// the mode's size and stretched to the screen; now it is drawn at the largest rectangle of the
// mode's shape the window's drawable pixels hold (device pixels on a scaled Wayland output), as
// the capture draws any output size, with lines wider in proportion to the height. The piece
// still sees its mode and its window's size; only the viewport and the line width carry the
// picture's size. `--pixels WxH` draws at that size and scales it to the screen (the old look at
// 1024x768); `--antialias N` draws with N samples a pixel.
#include "sdl/picture_size.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/letterbox.h"
#include "sdl/gl.h"

namespace platform {
namespace {

const int kLargestSize = 16384;

// The value after `name` on the program's own command line ("--name value" or "--name=value"),
// empty when absent.
std::string CommandLineValue(const std::string& name) {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    for (size_t start = 0; start < line.size();) {
        const size_t end = std::min(line.find('\0', start), line.size());
        args.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == name && i + 1 < args.size()) {
            return args[i + 1];
        }
        if (args[i].compare(0, name.size() + 1, name + "=") == 0) {
            return args[i].substr(name.size() + 1);
        }
    }
    return "";
}

// "WxH" with both sides from 1 to kLargestSize.
bool ParseSize(const std::string& text, int* width, int* height) {
    int w = 0, h = 0, used = 0;
    if (std::sscanf(text.c_str(), "%dx%d%n", &w, &h, &used) != 2 ||
        used != static_cast<int>(text.size()) || w < 1 || h < 1 || w > kLargestSize ||
        h > kLargestSize) {
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

struct Asked {
    int width = 0, height = 0;  // --pixels
    int samples = 0;            // --antialias
};

// What the program's command line asks, read once; a value that cannot be used is said on
// standard error and the default kept.
const Asked& CommandLine() {
    static const Asked asked = [] {
        Asked a;
        const std::string pixels = CommandLineValue("--pixels");
        if (!pixels.empty() && !ParseSize(pixels, &a.width, &a.height)) {
            std::fprintf(stderr, "--pixels %s: not WIDTHxHEIGHT; drawn at the screen's pixels\n",
                         pixels.c_str());
        }
        const std::string samples = CommandLineValue("--antialias");
        if (!samples.empty()) {
            char* end = nullptr;
            const long n = std::strtol(samples.c_str(), &end, 10);
            if (*end != '\0' || n < 0 || n > 64) {
                std::fprintf(stderr, "--antialias %s: not a count of samples; drawn without\n",
                             samples.c_str());
            } else {
                a.samples = static_cast<int>(n);
            }
        }
        return a;
    }();
    return asked;
}

int Rescale(int value, int to, int from) {
    return static_cast<int>(std::lround(static_cast<double>(value) * to / from));
}

PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC StorageMultisample() {
    static const auto call = reinterpret_cast<PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC>(
        SDL_GL_GetProcAddress("glRenderbufferStorageMultisample"));
    return call;
}

}  // namespace

void PictureSize(const Window* window, int* width, int* height) {
    *width = std::max(1, window->clientWidth);
    *height = std::max(1, window->clientHeight);
    const host::VideoMode& video = host::Current().video;
    if (!window->fullscreenPicture || video.output != host::Video::Desktop ||
        video.pictureWidth > 0) {
        return;
    }
    if (video.drawnWidth > 0 && video.drawnHeight > 0) {
        *width = video.drawnWidth;
        *height = video.drawnHeight;
        return;
    }
    if (CommandLine().width > 0) {
        *width = CommandLine().width;
        *height = CommandLine().height;
        return;
    }
    int screenWidth = 0, screenHeight = 0;
    SDL_GL_GetDrawableSize(window->sdl, &screenWidth, &screenHeight);
    if (screenWidth > 0 && screenHeight > 0) {
        const FitRect fit = FitInside(*width, *height, screenWidth, screenHeight);
        *width = fit.width;
        *height = fit.height;
    }
}

void FollowScreen(GlContext* context, Window* window) {
    int width = 0, height = 0;
    PictureSize(window, &width, &height);
    if (width == context->width && height == context->height) {
        return;
    }
    // Both boxes lie at the picture's corner in the framebuffer drawn into, which stays.
    const int x = context->originX, y = context->originY;
    GLint box[4];
    glGetIntegerv(GL_VIEWPORT, box);
    glViewport(x + Rescale(box[0] - x, width, context->width),
               y + Rescale(box[1] - y, height, context->height),
               Rescale(box[2], width, context->width), Rescale(box[3], height, context->height));
    glGetIntegerv(GL_SCISSOR_BOX, box);
    glScissor(x + Rescale(box[0] - x, width, context->width),
              y + Rescale(box[1] - y, height, context->height),
              Rescale(box[2], width, context->width), Rescale(box[3], height, context->height));
    GLfloat line = 1;
    glGetFloatv(GL_LINE_WIDTH, &line);
    glLineWidth(line * static_cast<GLfloat>(height) / static_cast<GLfloat>(context->height));
    context->width = width;
    context->height = height;
}

int ChooseSamples() {
    const host::VideoMode& video = host::Current().video;
    const int asked = video.antialias > 0                    ? video.antialias
                      : video.output == host::Video::Desktop ? CommandLine().samples
                                                             : 0;
    if (asked < 2) {
        return 0;
    }
    GLint offered = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &offered);
    if (offered < 2 || StorageMultisample() == nullptr) {
        std::fprintf(stderr, "antialiasing: this GL offers no multisampling; drawn without\n");
        return 0;
    }
    if (asked > offered) {
        std::fprintf(stderr, "antialiasing: %d samples asked, %d offered; drawn with %d\n", asked,
                     offered, offered);
        return offered;
    }
    return asked;
}

bool SizeMultisampled(GlContext* context) {
    if (context->multisampled == 0) {
        gl.genFramebuffers(1, &context->multisampled);
        gl.genRenderbuffers(1, &context->multisampledColour);
        gl.genRenderbuffers(1, &context->multisampledDepthStencil);
    }
    const auto storage = StorageMultisample();
    gl.bindRenderbuffer(GL_RENDERBUFFER, context->multisampledColour);
    storage(GL_RENDERBUFFER, context->samples,
            context->pixelFormat == kFormatRgba ? GL_RGBA8 : GL_RGB8, context->width,
            context->height);
    gl.bindRenderbuffer(GL_RENDERBUFFER, context->multisampledDepthStencil);
    storage(GL_RENDERBUFFER, context->samples, GL_DEPTH24_STENCIL8, context->width,
            context->height);
    gl.bindRenderbuffer(GL_RENDERBUFFER, 0);
    gl.bindFramebuffer(GL_FRAMEBUFFER, context->multisampled);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                               context->multisampledColour);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                               context->multisampledDepthStencil);
    return gl.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

void Resolve(GlContext* context) {
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);  // the blit would keep to the program's scissor box
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, context->multisampled);
    gl.bindFramebuffer(GL_DRAW_FRAMEBUFFER, context->framebuffers[context->drawing]);
    gl.blitFramebuffer(0, 0, context->width, context->height, 0, 0, context->width, context->height,
                       GL_COLOR_BUFFER_BIT, GL_NEAREST);
    gl.bindFramebuffer(GL_FRAMEBUFFER, context->framebuffers[context->drawing]);
    if (scissor) {
        glEnable(GL_SCISSOR_TEST);
    }
}

}  // namespace platform
