// The frames' way out to the host: every presented frame leaves in one step, once, in order,
// with its index and the tick it was drawn at, and the host's answer says how the next one is
// drawn. A picture the host wants is read back top row first: at once, or (where the host takes
// pictures late and the picture is in framebuffer objects) from the object the program is not
// drawing into while it draws the next frame, so that the read waits for nothing.
#include <cstring>

#include "platform/host.h"
#include "sdl/gl.h"

namespace platform {
namespace {

// Reads the bound read framebuffer's picture of the given size into `into`, top row first. The
// program's pack alignment is kept as it was.
void Read(GlContext* context, int width, int height, std::vector<std::uint8_t>& into) {
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    const size_t row = static_cast<size_t>(width) * 4;
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    if (into.size() < bytes) {
        into.resize(bytes);
    }
    if (gl.packInvert) {
        glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, into.data());
        glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
    } else {
        if (context->readback.size() < bytes) {
            context->readback.resize(bytes);
        }
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, context->readback.data());
        for (int y = 0; y < height; ++y) {  // GL's rows come bottom row first
            std::memcpy(&into[static_cast<size_t>(y) * row],
                        &context->readback[static_cast<size_t>(height - 1 - y) * row], row);
        }
    }
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
}

// Reads the finished frame waiting in the framebuffer object the program is not drawing into,
// if any; it goes to the host with the next step (context->late).
void ReadLate(GlContext* context) {
    if (!context->readPending) {
        return;
    }
    context->readPending = false;
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER, context->framebuffers[1 - context->drawing]);
    Read(context, context->pendingWidth, context->pendingHeight, context->lateFrame);
    gl.bindFramebuffer(GL_READ_FRAMEBUFFER,
                       context->offscreen ? context->framebuffers[context->drawing] : 0);
    context->late =
        host::Frame{context->pendingIndex, context->pendingTick, context->lateFrame.data(),
                    context->pendingWidth, context->pendingHeight};
}

}  // namespace

host::Draw Drawing() {
    const host::Options& options = host::Current();
    if (!options.frames) {
        return host::Draw::Whole;
    }
    return Get().framesPresented == 0 ? options.first.draw : Get().drawing;
}

void DeliverLate(GlContext* context) {
    ReadLate(context);
    host::Finished step;
    step.frame.index = -1;
    step.late = context->late;
    context->late = host::Frame();
    if (step.late.rgba != nullptr && host::Current().frames) {
        host::Current().frames(step);
    }
}

FinishedFrame FinishFrame(GlContext* context) {
    const bool wanted = Drawing() == host::Draw::Read;
    FinishedFrame finished{Get().framesPresented++, GetTickCount(), false, false};
    if (!host::Current().frames) {
        return finished;
    }
    if (wanted && ReadsLate(context)) {
        finished.late = true;
        glFlush();  // the frame goes to the rasteriser now, while the one before it is read
        return finished;
    }
    ReadLate(context);  // the frame before, which no later frame would read now
    if (wanted) {
        Read(context, context->width, context->height, context->frame);
        finished.read = true;
    }
    return finished;
}

// The one place a presented frame leaves the platform.
void FrameShown(GlContext* context, const FinishedFrame& finished) {
    const host::Options& options = host::Current();
    if (!options.frames) {
        PrepareFrame(context);
        return;
    }
    if (finished.late) {
        ReadLate(context);
        context->readPending = true;
        context->pendingWidth = context->width;
        context->pendingHeight = context->height;
        context->pendingIndex = finished.index;
        context->pendingTick = finished.tick;
        context->drawing = 1 - context->drawing;
    }
    host::Finished step;
    step.frame =
        host::Frame{finished.index, finished.tick, finished.read ? context->frame.data() : nullptr,
                    context->width, context->height};
    step.late = context->late;
    context->late = host::Frame();
    const host::Next next = options.frames(step);
    Get().drawing = next.draw;
    if (next.close) {
        host::RequestClose();
    }
    if (options.virtualClock) {
        host::SetTicks(next.tick);
    }
    PrepareFrame(context);
}

void PrepareFrame(GlContext* context) {
    const bool cheap = Drawing() == host::Draw::Cheap;
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
    if (context != nullptr && host::Current().frames) {
        DeliverLate(context);
    }
    if (context != nullptr) {
        context->readPending = false;
    }
}

}  // namespace platform
