// Reduced flashing on the SDL back end: SwapBuffers hands each finished picture to the flash
// limiter before anything reads or shows it, and draws back what the limiter changed. The
// platform does it, on the finished picture, the way a display driver would: the piece is not
// told, and the whole picture is limited, whatever drew it (a clear colour, or the dark cubes
// that sweep across the orange fog). Off, nothing here runs: no GL call, no read.
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/flash/limiter.h"
#include "platform/host.h"
#include "platform/host_internal.h"
#include "sdl/gl.h"

namespace platform {
namespace {

struct Reduction {
    std::unique_ptr<flash::Limiter> limiter;
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
    PFNGLWINDOWPOS2IPROC windowPos = nullptr;
};

Reduction& Reducing() {
    static Reduction reduction;
    return reduction;
}

void Forget() {
    Reducing() = Reduction();
}

// Draws the picture back, one pixel to one, past every per-fragment operation the program may
// have left on, and restores the program's state.
void DrawBack(Reduction& r) {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    for (GLenum capability :
         {GL_FOG, GL_DEPTH_TEST, GL_BLEND, GL_ALPHA_TEST, GL_TEXTURE_1D, GL_TEXTURE_2D, GL_LIGHTING,
          GL_SCISSOR_TEST, GL_STENCIL_TEST, GL_COLOR_LOGIC_OP, GL_DITHER}) {
        glDisable(capability);
    }
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPixelZoom(1, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    r.windowPos(0, 0);
    glDrawPixels(r.width, r.height, GL_RGBA, GL_UNSIGNED_BYTE, r.pixels.data());
    glPopClientAttrib();
    glPopAttrib();
}

}  // namespace

// As Win32's GetCommandLine would give it.
bool CommandLineHas(const std::string& argument) {
    static const std::string line = [] {
        std::ifstream in("/proc/self/cmdline", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    return line.find('\0' + argument + '\0') != std::string::npos;
}

bool ReducedFlashing() {
    const host::Options& options = host::Current();
    // Asked once: this runs at every present, where nothing should allocate.
    static const bool asked = CommandLineHas("--reduced-flashing");
    return options.reducedFlashing || (options.video.output == host::Video::Desktop && asked);
}

void ReduceFlashing(GlContext* context) {
    Reduction& r = Reducing();
    if (!r.windowPos) {
        r.windowPos =
            reinterpret_cast<PFNGLWINDOWPOS2IPROC>(SDL_GL_GetProcAddress("glWindowPos2i"));
        host::AddStopHandler(&Forget);
        if (!r.windowPos) {
            return;
        }
    }
    if (!r.limiter || r.width != context->width || r.height != context->height) {
        r.width = context->width;
        r.height = context->height;
        r.limiter = std::make_unique<flash::Limiter>(r.width, r.height);
        r.pixels.resize(static_cast<size_t>(r.width) * r.height * 4);
    }
    // GL's rows come bottom row first, as the limiter takes them by default.
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, r.width, r.height, GL_RGBA, GL_UNSIGNED_BYTE, r.pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    if (r.limiter->Limit(r.pixels.data(), GetTickCount())) {
        DrawBack(r);
    }
}

}  // namespace platform
