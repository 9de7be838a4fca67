#include "capture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "audio/soundtrack.h"
#include "blend.h"
#include "driver/piece.h"
#include "platform/letterbox.h"
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

// The piece's frames in the order it draws them: which output frame each belongs to, which of its
// sub-frames it is, and the millisecond it shows. Made once for a run, up to the frame after the
// piece's own end (a piece that does not end there is an error).
struct SubFrame {
    std::int64_t frame;
    int k;
    bool last;  // the frame's last sub-frame
    std::int64_t ms;
};

std::vector<SubFrame> Schedule(Rate rate, Shutter shutter, std::int64_t frames) {
    std::vector<SubFrame> schedule;
    for (std::int64_t n = 0; n < frames; ++n) {
        const int count = SubFrames(n, rate, shutter);
        for (int k = 0; k < count; ++k) {
            schedule.push_back(SubFrame{n, k, k + 1 == count, SubFrameMs(n, k, rate, shutter)});
        }
    }
    return schedule;
}

// Takes the platform's finished frames: counts them, checks the piece ends in time, writes the
// clip's frames to the sink, scaled to the output size and blended from their sub-frames, and
// answers each with the frame the piece draws next.
class Writer {
  public:
    Writer(const RunSettings& settings, FrameSink& sink, RunResult& result)
        : settings_(settings),
          sink_(sink),
          result_(result),
          pieceFrames_(PieceFrames(settings.rate)),
          schedule_(Schedule(settings.rate, settings.shutter, pieceFrames_ + 1)),
          // The piece ends itself after frame pieceFrames - 1; a clip that stops earlier closes
          // it, and it finishes the frame it is in as it does on a close request.
          closeAfter_(settings.clip.end < pieceFrames_ ? EndOf(settings.clip.end) : -1) {}

    // How the piece draws frame `index`: at its sub-frame's millisecond (the piece reads its
    // start tick once, after the soundtrack starts, so frame 0 shows 0 ms); the clip's frames
    // read back; the frames before the clip drawn, since what the cues set carries over, but
    // cheaply (not with reduced flashing, whose limit on a picture depends on the pictures before
    // it).
    host::Next Plan(std::int64_t index) const {
        const SubFrame& at = At(index);
        host::Next next;
        next.tick = kStartTicks + static_cast<std::uint32_t>(at.ms);
        if (InClip(index)) {
            next.draw = host::Draw::Read;
        } else if (at.frame < settings_.clip.first && !settings_.reducedFlashing) {
            next.draw = host::Draw::Cheap;
        } else {
            next.draw = host::Draw::Whole;
        }
        return next;
    }

    // One step of the platform's: a picture read late, the frame presented, and the next frame.
    // The answer closes the piece on a failure, on a piece running past its own end, and after
    // the clip.
    host::Next Finished(const host::Finished& step) {
        if (step.late.rgba != nullptr) {
            Picture(step.late);
        }
        if (step.frame.index < 0) {
            return host::Next();
        }
        const std::int64_t index = step.frame.index;
        const SubFrame& at = At(index);
        result_.rendered = index + 1;
        result_.lastMs = at.ms;
        if (at.frame >= pieceFrames_ && result_.ok) {
            result_.ok = false;
            result_.error = "the piece did not end in its frame at " + PieceEndText() + " s";
        }
        if (step.frame.rgba != nullptr) {
            Picture(step.frame);
        }
        if (at.last) {
            result_.framesDrawn = at.frame + 1;
            if (settings_.onProgress) {
                settings_.onProgress(result_.framesDrawn);
            }
        }
        closedByUs_ = closedByUs_ || !result_.ok;
        host::Next next = Plan(index + 1);
        next.close = !result_.ok || index == closeAfter_;
        return next;
    }

    // Whether the piece ended because we asked it to.
    bool closedByUs() const {
        return closedByUs_ || (closeAfter_ >= 0 && result_.rendered > closeAfter_);
    }

  private:
    const SubFrame& At(std::int64_t index) const {
        return schedule_[static_cast<size_t>(
            std::min<std::int64_t>(index, static_cast<std::int64_t>(schedule_.size()) - 1))];
    }
    bool InClip(std::int64_t index) const {
        const std::int64_t n = At(index).frame;
        return n >= settings_.clip.first && n < settings_.clip.end;
    }
    // The index of the last sub-frame of output frame n - 1.
    std::int64_t EndOf(std::int64_t n) const {
        std::int64_t index = 0;
        while (index + 1 < static_cast<std::int64_t>(schedule_.size()) && At(index + 1).frame < n) {
            ++index;
        }
        return index;
    }

    // A picture read back: written when it belongs to the clip.
    void Picture(const host::Frame& frame) {
        if (result_.ok && InClip(frame.index)) {
            const Clock::time_point sinkStart = Clock::now();
            result_.ok = Write(frame, At(frame.index));
            result_.sinkSeconds += SecondsSince(sinkStart);
            closedByUs_ = closedByUs_ || !result_.ok;
        }
    }

    bool Write(const host::Frame& frame, const SubFrame& at) {
        if (!Prepare(frame)) {
            return false;
        }
        host::Frame picture = frame;
        if (scaler_) {
            scaler_->Scale(frame.rgba, scaled_.data());
            picture = host::Frame{frame.index, frame.tick, scaled_.data(), out_.width, out_.height};
        }
        if (blend_) {
            blend_->Add(picture.rgba);
            if (!at.last) {
                return true;
            }
            blend_->Finish(blended_.data());
            picture.rgba = blended_.data();
        }
        const bool ok = sink_.Write(picture, &result_.error);
        result_.written += ok ? 1 : 0;
        return ok;
    }

    // The buffers are sized once, at the first frame of the clip, and the sink opened.
    bool Prepare(const host::Frame& frame) {
        if (opened_) {
            if (frame.width != source_.width || frame.height != source_.height) {
                result_.error = "the piece's picture changed size during the capture";
                return false;
            }
            return true;
        }
        opened_ = true;
        source_ = frame;
        ResolveSize(settings_.size, kModeWidth, kModeHeight, &out_.width, &out_.height);
        const size_t pixels = static_cast<size_t>(out_.width) * static_cast<size_t>(out_.height);
        if (out_.width != frame.width || out_.height != frame.height) {
            scaler_ =
                std::make_unique<AreaScaler>(frame.width, frame.height, out_.width, out_.height);
            scaled_.resize(pixels * 4);
        }
        if (settings_.shutter.samples > 1) {
            blend_ = std::make_unique<LinearBlend>(pixels);
            blended_.resize(pixels * 4);
        }
        return sink_.Open(out_.width, out_.height, &result_.error);
    }

    const RunSettings& settings_;
    FrameSink& sink_;
    RunResult& result_;
    const std::int64_t pieceFrames_;
    const std::vector<SubFrame> schedule_;
    const std::int64_t
        closeAfter_;  // the last frame presented before the piece closes (-1: its end)
    bool opened_ = false;
    bool closedByUs_ = false;
    host::Frame source_;
    host::Frame out_;
    std::unique_ptr<AreaScaler> scaler_;
    std::vector<std::uint8_t> scaled_;
    std::unique_ptr<LinearBlend> blend_;
    std::vector<std::uint8_t> blended_;
};

}  // namespace

void PictureSize(int outWidth, int outHeight, int supersample, int* width, int* height) {
    const platform::FitRect fit = platform::FitInside(kModeWidth, kModeHeight, outWidth, outHeight);
    *width = fit.width * supersample;
    *height = fit.height * supersample;
}

FrameRange ClipFrames(std::int64_t fromMs, std::int64_t toMs, Rate rate) {
    FrameRange range;
    const std::int64_t pieceEnd = PieceFrames(rate);
    range.first = std::min(FirstFrameAt(fromMs, rate), pieceEnd);
    range.end = toMs < 0 ? pieceEnd : std::min(FirstFrameAt(toMs, rate), pieceEnd);
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

namespace {

// What the capture asks of the platform for one run: a headless picture of the output's size, a
// silent sound output, the virtual clock and the frames' way out through the writer.
host::Options HostOptions(const RunSettings& settings, Writer& writer) {
    host::Options options;
    options.video.output = host::Video::Headless;
    // The piece draws at the output's size (the part of it its picture fills), or a multiple of
    // it: its window has that size, and the frames are averaged down to the output.
    int outWidth = 0, outHeight = 0, pictureWidth = 0, pictureHeight = 0;
    ResolveSize(settings.size, kModeWidth, kModeHeight, &outWidth, &outHeight);
    PictureSize(outWidth, outHeight, settings.supersample, &pictureWidth, &pictureHeight);
    if (pictureWidth != kModeWidth || pictureHeight != kModeHeight) {
        options.video.pictureWidth = pictureWidth;
        options.video.pictureHeight = pictureHeight;
    }
    // A real output that discards what it is given: the piece's audio start-up succeeds and
    // stays quiet, and its one audio message means what it means live, a missing soundtrack.
    options.audio = host::Audio::Silent;
    options.reducedFlashing = settings.reducedFlashing;
    options.virtualClock = true;
    options.first = writer.Plan(0);
    options.frames = [&writer](const host::Finished& step) { return writer.Finished(step); };
    // Only the clip's pictures are read, each while the piece draws the next frame.
    options.lateReads = true;
    options.onMessageBox = [&settings](const char* text, const char* caption) {
        if (settings.onMessageBox) {
            settings.onMessageBox(text, caption);
        }
    };
    return options;
}

}  // namespace

RunResult Run(const RunSettings& settings, FrameSink& sink) {
    RunResult result;
    const std::int64_t pieceFrames = PieceFrames(settings.rate);
    const Clock::time_point start = Clock::now();
    Writer writer(settings, sink, result);

    const host::Options options = HostOptions(settings, writer);
    host::Start(options);
    char name[] = "flimrevo";
    char* argv[] = {name, nullptr};
    char* envp[] = {nullptr};
    PieceMain(1, argv, envp);
    result.audio = host::RecordedAudio();
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
    result.interrupted = result.ok && !writer.closedByUs() && result.framesDrawn < pieceFrames;
    result.seconds = SecondsSince(start);
    return result;
}

host::AudioRecord StartSoundtrackAlone() {
    host::Options options;
    options.video.output = host::Video::Headless;
    options.audio = host::Audio::Silent;
    options.onMessageBox = [](const char*, const char*) {};
    host::Start(options);
    StartSoundtrack();
    const host::AudioRecord audio = host::RecordedAudio();
    host::Stop();
    return audio;
}

std::string WhyNoSound(const host::AudioRecord& audio, const std::string& folder) {
    using Stream = host::AudioRecord::Stream;
    switch (audio.stream) {
        case Stream::NotAsked:
            return "the piece opened no soundtrack";
        case Stream::NoOutput:
            return "the piece's audio output cannot be opened";
        case Stream::Unreadable:
            return audio.file + " is not a readable file in " + folder;
        case Stream::NotSound:
            return audio.file + " in " + folder + " is not sound the piece can play";
        case Stream::Opened:
            break;
    }
    return audio.playing ? "" : "the piece's soundtrack did not start playing";
}

}  // namespace capture
