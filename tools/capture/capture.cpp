#include "capture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "driver/piece.h"
#include "timeline/timeline.h"

namespace capture {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The virtual clock's value when the piece takes its start tick. Any value does: the piece only
// ever looks at differences from it.
const std::uint32_t kStartTicks = 0;

// The nearest even size to length * scale, at least 2: H.264 in yuv420p wants even sizes.
int ScaledEven(int length, double scale) {
    const long even = 2 * std::lround(length * scale / 2);
    return static_cast<int>(std::max(2L, even));
}

// Takes the platform's finished frames: counts them, checks the piece ends in time, and writes
// the clip's frames to the sink, scaled where the output size asks for it.
class Writer {
  public:
    Writer(const RunSettings& settings, FrameSink& sink, RunResult& result)
        : settings_(settings),
          sink_(sink),
          result_(result),
          pieceFrames_(PieceFrames(settings.fps)) {}

    // False closes the piece: a failure, or a piece running past its own end.
    bool Take(const host::Frame& frame) {
        result_.rendered = frame.index + 1;
        result_.lastMs = FrameMs(frame.index, settings_.fps);
        if (frame.index >= pieceFrames_ && result_.ok) {
            result_.ok = false;
            result_.error = "the piece did not end in its frame at " + PieceEndText() + " s";
        }
        if (result_.ok && frame.rgba != nullptr) {
            const Clock::time_point sinkStart = Clock::now();
            result_.ok = Write(frame);
            result_.written += result_.ok ? 1 : 0;
            result_.sinkSeconds += SecondsSince(sinkStart);
        }
        if (settings_.onProgress) {
            settings_.onProgress(result_.rendered);
        }
        closedByUs_ = closedByUs_ || !result_.ok;
        return result_.ok;
    }

    bool closedByUs() const { return closedByUs_; }

  private:
    bool Write(const host::Frame& frame) {
        if (!opened_) {
            // The buffers are sized once, at the first written frame.
            opened_ = true;
            ResolveSize(settings_.size, frame.width, frame.height, &out_.width, &out_.height);
            if (out_.width != frame.width || out_.height != frame.height) {
                scaler_ = std::make_unique<AreaScaler>(frame.width, frame.height, out_.width,
                                                       out_.height);
                scaled_.resize(static_cast<size_t>(out_.width) * out_.height * 4);
            }
            if (!sink_.Open(out_.width, out_.height, &result_.error)) {
                return false;
            }
        }
        if (!scaler_) {
            return sink_.Write(frame, &result_.error);
        }
        if (frame.width != scaler_->sourceWidth() || frame.height != scaler_->sourceHeight()) {
            result_.error = "the piece's picture changed size during the capture";
            return false;
        }
        scaler_->Scale(frame.rgba, scaled_.data());
        out_.index = frame.index;
        out_.tick = frame.tick;
        out_.rgba = scaled_.data();
        return sink_.Write(out_, &result_.error);
    }

    const RunSettings& settings_;
    FrameSink& sink_;
    RunResult& result_;
    const std::int64_t pieceFrames_;
    bool opened_ = false;
    bool closedByUs_ = false;
    std::unique_ptr<AreaScaler> scaler_;
    std::vector<std::uint8_t> scaled_;
    host::Frame out_;
};

}  // namespace

std::int64_t PieceEndMs() {
    static const std::int64_t endMs = [] {
        std::int64_t ms = static_cast<std::int64_t>(PieceEndTime * 1000) - 2;
        while (
            !(static_cast<double>(TimelineSecondsAfter(static_cast<DWORD>(ms))) > PieceEndTime)) {
            ++ms;
        }
        return ms;
    }();
    return endMs;
}

std::int64_t PieceFrames(int fps) {
    return FirstFrameAt(PieceEndMs(), fps) + 1;
}

std::string PieceEndText() {
    char text[32];
    std::snprintf(text, sizeof text, "%g", PieceEndTime);
    return text;
}

FrameRange ClipFrames(std::int64_t fromMs, std::int64_t toMs, int fps) {
    FrameRange range;
    const std::int64_t pieceEnd = PieceFrames(fps);
    range.first = std::min(FirstFrameAt(fromMs, fps), pieceEnd);
    range.end = toMs < 0 ? pieceEnd : std::min(FirstFrameAt(toMs, fps), pieceEnd);
    range.end = std::max(range.end, range.first);
    return range;
}

void ResolveSize(const OutputSize& size, int width, int height, int* outWidth, int* outHeight) {
    if (size.width > 0 && size.height > 0) {
        *outWidth = size.width;
        *outHeight = size.height;
    } else if (size.scale > 0) {
        *outWidth = ScaledEven(width, size.scale);
        *outHeight = ScaledEven(height, size.scale);
    } else {
        *outWidth = width;
        *outHeight = height;
    }
}

RunResult Run(const RunSettings& settings, FrameSink& sink) {
    RunResult result;
    const FrameRange clip = settings.clip;
    const int fps = settings.fps;
    const std::int64_t pieceFrames = PieceFrames(fps);
    const Clock::time_point start = Clock::now();
    Writer writer(settings, sink, result);

    host::Options options;
    options.video.output = host::Video::Headless;
    // A real output that discards what it is given: the piece's audio start-up succeeds and
    // stays quiet, and its one audio message means what it means live, a missing soundtrack.
    options.audio = host::Audio::Silent;
    options.reducedFlashing = settings.reducedFlashing;
    // Frame n is drawn at n * 1000 / fps ms; the piece reads its start tick once, after the
    // soundtrack starts, so frame 0 shows 0 ms.
    options.clock.on = true;
    options.clock.frameTicks = [fps](std::int64_t n) {
        return kStartTicks + static_cast<std::uint32_t>(FrameMs(n, fps));
    };
    // Only the clip's pictures are read, each while the piece draws the next frame.
    options.frames.take = [&](const host::Frame& frame) { return writer.Take(frame); };
    options.frames.wantsPicture = [clip](std::int64_t n) {
        return n >= clip.first && n < clip.end;
    };
    options.frames.late = true;
    // The piece ends itself after frame pieceFrames - 1; a clip that stops earlier closes it, and
    // it finishes the frame it is in as it does on a close request.
    if (clip.end < pieceFrames) {
        options.closeAfter = clip.end - 1;
    }
    options.onMessageBox = [&](const char* text, const char* caption) {
        if (settings.onMessageBox) {
            settings.onMessageBox(text, caption);
        }
    };
    host::Start(options);
    char name[] = "flimrevo";
    char* argv[] = {name, nullptr};
    char* envp[] = {nullptr};
    PieceMain(1, argv, envp);
    host::Stop();

    const Clock::time_point closeStart = Clock::now();
    std::string closeError;
    const bool closed = sink.Close(&closeError);
    if (result.ok && !closed) {
        result.ok = false;
        result.error = closeError;
    }
    result.sinkSeconds += SecondsSince(closeStart);
    // Neither we nor its own end stopped the piece: a close request came from outside.
    const bool closedByUs =
        writer.closedByUs() || (clip.end < pieceFrames && result.rendered >= clip.end);
    result.interrupted = result.ok && !closedByUs && result.rendered < pieceFrames;
    result.seconds = SecondsSince(start);
    return result;
}

}  // namespace capture
