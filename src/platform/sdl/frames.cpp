// The frames' way out to the host: every finished frame leaves from HandOver, once, in order,
// with its index and the tick it was drawn at. A picture the host wants is read back top row
// first: at once, or (where the host takes frames late and the picture is in framebuffer
// objects) from the object the program is not drawing into while it draws the next frame, so
// that the read waits for nothing.
#include <cstring>

#include "platform/host.h"
#include "sdl/gl.h"

namespace platform {
namespace {

bool WantsPicture(std::int64_t index) {
    const host::FrameSink& sink = host::Current().frames;
    return sink.take && (!sink.wantsPicture || sink.wantsPicture(index));
}

// The one place a finished frame leaves the platform.
void HandOver(const host::Frame& frame) {
    const host::FrameSink& sink = host::Current().frames;
    if (sink.take && !sink.take(frame)) {
        host::RequestClose();
    }
}

// Reads the bound read framebuffer's picture of the given size into context->frame, top row
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
}

}  // namespace

void DeliverLate(GlContext* context) {
    if (!context->readPending) {
        return;
    }
    context->readPending = false;
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, context->framebuffers[1 - context->drawing]);
    Read(context, context->pendingWidth, context->pendingHeight);
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER,
                       context->offscreen ? context->framebuffers[context->drawing] : 0);
    HandOver(host::Frame{context->pendingIndex, context->pendingTick, context->frame.data(),
                         context->pendingWidth, context->pendingHeight});
}

FinishedFrame FinishFrame(GlContext* context) {
    FinishedFrame finished{Get().framesPresented++, GetTickCount(), false, false};
    if (!host::Current().frames.take) {
        return finished;
    }
    const bool wanted = WantsPicture(finished.index);
    if (wanted && ReadsLate(context)) {
        finished.late = true;
        glFlush();  // the frame goes to the rasteriser now, while the one before it is read
        return finished;
    }
    DeliverLate(context);  // the frame before, which no later frame would deliver now
    if (wanted) {
        Read(context, context->width, context->height);
        finished.read = true;
    }
    return finished;
}

void FrameShown(GlContext* context, const FinishedFrame& finished) {
    const host::Options& options = host::Current();
    if (finished.late) {
        DeliverLate(context);
        context->readPending = true;
        context->pendingWidth = context->width;
        context->pendingHeight = context->height;
        context->pendingIndex = finished.index;
        context->pendingTick = finished.tick;
        context->drawing = 1 - context->drawing;
    } else if (options.frames.take) {
        HandOver(host::Frame{finished.index, finished.tick,
                             finished.read ? context->frame.data() : nullptr, context->width,
                             context->height});
    }
    if (finished.index == options.closeAfter) {
        host::RequestClose();
    }
    if (options.clock.on && options.clock.frameTicks) {
        host::SetTicks(options.clock.frameTicks(finished.index + 1));
    }
    PrepareFrame(context, finished.index + 1);
}

void PrepareFrame(GlContext* context, std::int64_t index) {
    const host::FrameSink& sink = host::Current().frames;
    const bool cheap = sink.cheap && sink.cheap(index);
    if (cheap && !context->cheap) {
        context->programScissor = glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE;
        glGetIntegerv(GL_SCISSOR_BOX, context->programBox);
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
    } else if (!cheap && context->cheap) {
        const int* box = context->programBox;
        glScissor(box[0], box[1], box[2], box[3]);
        if (!context->programScissor) {
            glDisable(GL_SCISSOR_TEST);
        }
    }
    context->cheap = cheap;
}

void DeliverLateFrame() {
    GlContext* context = Get().current;
    if (context != nullptr && host::Current().frames.take) {
        DeliverLate(context);
    }
    if (context != nullptr) {
        context->readPending = false;
    }
}

}  // namespace platform
