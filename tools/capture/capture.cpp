#include "capture.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "driver/piece.h"

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

}  // namespace

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
    bool opened = false;
    bool closeRequested = false;
    bool overran = false;
    std::unique_ptr<AreaScaler> scaler;
    std::vector<std::uint8_t> scaled;
    host::Frame out{nullptr, 0, 0};
    const Clock::time_point start = Clock::now();

    host::Reset();
    host::Options options;
    options.video = host::Video::Headless;
    // A real output that discards what it is given: the piece's audio start-up succeeds and
    // stays quiet, and its one audio message means what it means live, a missing soundtrack.
    options.audio = host::Audio::Silent;
    options.virtualClock = true;
    options.onMessageBox = [&](const char* text, const char* caption) {
        if (settings.onMessageBox) {
            settings.onMessageBox(text, caption);
        }
    };
    // The frames' pixels: each read back once, while the piece draws the next frame, and handed
    // over one swap later (the last when the piece closes its window). Frame n is the n-th to
    // arrive.
    std::int64_t delivered = 0;
    options.lateFrames = true;
    options.onPresent = [&](const host::Frame& frame) {
        const std::int64_t n = delivered++;
        if (!result.ok || n < clip.first || n >= clip.end) {
            return;
        }
        const Clock::time_point sinkStart = Clock::now();
        if (!opened) {
            // The buffers are sized once, at the first written frame.
            opened = true;
            ResolveSize(settings.size, frame.width, frame.height, &out.width, &out.height);
            if (out.width != frame.width || out.height != frame.height) {
                scaler =
                    std::make_unique<AreaScaler>(frame.width, frame.height, out.width, out.height);
                scaled.resize(static_cast<size_t>(out.width) * out.height * 4);
            }
            result.ok = sink.Open(out.width, out.height, &result.error);
        }
        if (result.ok && scaler &&
            (frame.width != scaler->sourceWidth() || frame.height != scaler->sourceHeight())) {
            result.ok = false;
            result.error = "the piece's picture changed size during the capture";
        }
        if (result.ok) {
            if (scaler) {
                scaler->Scale(frame.rgba, scaled.data());
                out.rgba = scaled.data();
            } else {
                out = frame;
            }
            result.ok = sink.Write(out, &result.error);
            result.written += result.ok ? 1 : 0;
        }
        result.sinkSeconds += SecondsSince(sinkStart);
    };
    // Called from inside SwapBuffers: frame n is finished, and the clock moves on to frame n + 1.
    options.onSwap = [&]() {
        const std::int64_t n = result.rendered++;
        result.lastMs = FrameMs(n, fps);
        // The piece ends itself after frame pieceFrames - 1; a clip that stops earlier, or a
        // failure, closes it, and it finishes the frame it is in as it does on a close request.
        // A piece still running past its own end is closed too, and that is an error.
        if (n >= pieceFrames && !overran) {
            overran = true;
            if (result.ok) {
                result.ok = false;
                result.error = "the piece did not end in its frame at 92.7 s";
            }
        }
        if (!closeRequested && ((clip.end < pieceFrames && n + 1 >= clip.end) || !result.ok)) {
            closeRequested = true;
            host::RequestClose();
        }
        host::SetTicks(kStartTicks + static_cast<std::uint32_t>(FrameMs(n + 1, fps)));
        if (settings.onProgress) {
            settings.onProgress(result.rendered);
        }
    };
    host::Configure(options);
    // The piece reads its start tick once, after the soundtrack starts: frame 0 shows 0 ms.
    host::SetTicks(kStartTicks);

    char name[] = "flimrevo";
    char* argv[] = {name, nullptr};
    char* envp[] = {nullptr};
    PieceMain(1, argv, envp);
    host::Reset();

    const Clock::time_point closeStart = Clock::now();
    std::string closeError;
    const bool closed = sink.Close(&closeError);
    if (result.ok && !closed) {
        result.ok = false;
        result.error = closeError;
    }
    result.sinkSeconds += SecondsSince(closeStart);
    // Neither we nor its own end stopped the piece: a close request came from outside.
    result.interrupted = result.ok && !closeRequested && result.rendered < pieceFrames;
    result.seconds = SecondsSince(start);
    return result;
}

}  // namespace capture
