// The capture: runs the unchanged piece headless on the platform layer, with a virtual clock that
// moves only when a frame is presented, and hands the presented frames of a clip to a sink.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/piece.h"
#include "platform/host.h"
#include "scaler.h"
#include "timing.h"

namespace capture {

// Frames first, first + 1, ..., end - 1 are the clip that is written.
struct FrameRange {
    std::int64_t first = 0;
    std::int64_t end = 0;
    std::int64_t count() const { return end - first; }
};

// The frames showing fromMs or later and earlier than toMs (toMs < 0: up to the piece's end).
// Empty when nothing of the piece lies in between.
FrameRange ClipFrames(std::int64_t fromMs, std::int64_t toMs, Rate rate);

// Where the written frames go. Open is called with the first written frame's size, then Write
// with every frame of the clip, then Close once (also after a failure, to clean up). A false
// result sets *error and ends the capture.
class FrameSink {
  public:
    virtual ~FrameSink() = default;
    virtual bool Open(int width, int height, std::string* error) = 0;
    virtual bool Write(const host::Frame& frame, std::string* error) = 0;
    virtual bool Close(std::string* error) = 0;
};

// The size the frames are written at: as rendered, a fixed size (the picture fitted inside it
// with its aspect kept, borders black), or a factor of the rendered size.
struct OutputSize {
    int width = 0, height = 0;  // both 0: as rendered, or as scale says
    double scale = 0;           // > 0: this factor of the rendered size, rounded to even sizes
};

// The frame size for a rendered picture of width x height.
void ResolveSize(const OutputSize& size, int width, int height, int* outWidth, int* outHeight);

// The piece's display mode (driver/piece.h): what it draws at unless told otherwise.
constexpr int kModeWidth = kPieceWidth, kModeHeight = kPieceHeight;

// The size the piece draws its picture at for output frames of outWidth x outHeight: the
// largest of its own aspect that fits, times supersample.
void PictureSize(int outWidth, int outHeight, int supersample, int* width, int* height);

struct RunSettings {
    Rate rate{60};
    Shutter shutter;
    int supersample = 1;  // the picture drawn at this many times the output size, and averaged down
    FrameRange clip;
    OutputSize size;
    // The platform limits how often the picture may flash, as `flimrevo --reduced-flashing`.
    bool reducedFlashing = false;
    // Called after each output frame is rendered (all its sub-frames, also before the clip) with
    // the frames rendered so far (clip.end in all).
    std::function<void(std::int64_t rendered)> onProgress;
    // Called with every message box the piece shows; none reaches the screen or the terminal.
    std::function<void(const char* text, const char* caption)> onMessageBox;
};

struct RunResult {
    std::int64_t rendered = 0;     // frames the piece presented (sub-frames, with motion blur)
    std::int64_t framesDrawn = 0;  // output frames drawn whole (all sub-frames), from frame 0 on
    std::int64_t written = 0;      // frames handed to the sink
    std::int64_t lastMs = -1;      // what the last presented frame showed
    bool ok = true;                // false: the sink failed or the piece misbehaved, see error
    std::string error;
    // The piece ended before the clip did, and not by its own end: a close request (Ctrl+C,
    // SIGTERM) reached it from outside.
    bool interrupted = false;
    double seconds = 0;       // wall time of the whole run
    double sinkSeconds = 0;   // of which spent in the sink
    host::AudioRecord audio;  // what the piece's audio calls did
};

// Runs PieceMain once. Resets the host's hooks before and after, so it may be called again.
RunResult Run(const RunSettings& settings, FrameSink& sink);

// What the piece's soundtrack start does here, on the silent output a capture runs it with: its
// own calls, made and recorded, its message boxes kept quiet. For a video made without a run.
host::AudioRecord StartSoundtrackAlone();

// Why a video has no sound where the piece's audio calls went as recorded, the working directory
// being `folder`; "" when the piece plays its soundtrack.
std::string WhyNoSound(const host::AudioRecord& audio, const std::string& folder);

}  // namespace capture
