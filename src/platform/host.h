// What a tool asks of a run of the piece: the capture tool and the tests drive the same piece in
// ways a desktop does not. A run starts with Start, before the piece makes its first platform
// call, and ends with Stop, which releases everything (SDL included) and leaves the state of a
// fresh process. The piece itself never includes this header; the tests' probe is apart from it,
// in platform/probe.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace host {

enum class Video {
    Desktop,   // a real window on the user's display (X11 or Wayland through SDL)
    Headless,  // SDL's offscreen driver over Mesa's EGL: no display needed
};

// The video a run gets. The picture has the size the piece asks for (its window's client size,
// or its display mode's).
struct VideoMode {
    Video output = Video::Desktop;
    // > 0: the fullscreen picture of an emulated display mode is drawn at this size instead of
    // the mode's. The window that covers the mode has this client size (its WM_SIZE, the
    // viewport at first make-current, the picture read back), and lines are drawn wider in
    // proportion to its height (glLineWidth, once, at the context's first make-current), so
    // that the picture looks as at the mode's size, only sharper.
    int pictureWidth = 0, pictureHeight = 0;
    // On a desktop, the fullscreen picture is drawn at the screen's own pixels (the largest
    // rectangle of the mode's shape), the piece's window and mode unchanged. > 0: drawn at this
    // size instead and scaled to the screen (the program's `--pixels WxH`).
    int drawnWidth = 0, drawnHeight = 0;
    // > 1: drawn with this many samples a pixel where the GL offers them (`--antialias N`).
    int antialias = 0;
};

enum class Audio {
    Device,  // the default output device
    Silent,  // an output that accepts and discards everything (SDL's dummy driver)
    Disk,    // SDL's disk driver: what would reach the speakers goes to Options::diskAudioFile
    None,    // no audio device at all: initialising the output fails
};

// One finished frame. Index 0 is the first frame the piece presents after Start; tick is what
// GetTickCount gave while the piece drew it. The picture, when it was read, is top row first,
// RGBA with 4 bytes a pixel, width * 4 bytes a row; rgba is null for a frame whose picture the
// sink did not want.
struct Frame {
    std::int64_t index = 0;
    std::uint32_t tick = 0;
    const std::uint8_t* rgba = nullptr;
    int width = 0;
    int height = 0;
};

// Where finished frames go. The platform hands each frame over once, in order, from one place
// (its presentation of the frame).
struct FrameSink {
    // Receives every finished frame. False asks the piece to close, as its close button would.
    std::function<bool(const Frame&)> take;
    // Whether frame n's picture is read back at all (unset: every frame's).
    std::function<bool(std::int64_t n)> wantsPicture;
    // Whether frame n is drawn cheaply: its GL calls all happen (what they set carries over to
    // later frames), but into a scissor box of one pixel, so that next to nothing is
    // rasterised; its picture is never read (unset: no frame is).
    std::function<bool(std::int64_t n)> cheap;
    // Each picture is read while the piece draws the next frame, where the GL has the means:
    // frame n then reaches `take` during the next frame's presentation, and the last frame when
    // its context is released. Otherwise during its own presentation.
    bool late = false;
};

// A clock the host moves: GetTickCount gives frameTicks(n) while the piece draws frame n
// (milliseconds, wrapping like GetTickCount), until SetTicks says otherwise.
struct VirtualClock {
    bool on = false;
    std::function<std::uint32_t(std::int64_t n)> frameTicks;  // unset: only SetTicks moves it
};

struct Options {
    VideoMode video;
    Audio audio = Audio::Device;
    std::string diskAudioFile;  // with Audio::Disk
    VirtualClock clock;
    FrameSink frames;
    // Once frame closeAfter has been presented, the piece is asked to close (-1: never).
    std::int64_t closeAfter = -1;
    // Reduced flashing: every finished picture goes through the flash limiter
    // (platform/flash/limiter.h) before anything reads or shows it. The piece's own program asks
    // for it with --reduced-flashing on its command line, which the platform reads.
    bool reducedFlashing = false;
    // When set, MessageBoxA calls this instead of showing a box, and returns IDOK.
    std::function<void(const char* text, const char* caption)> onMessageBox;
};

// Starts a run with these options, ending the one before if any.
void Start(const Options& options);
// Ends the run: closes every window, context, class and audio output.
void Stop();
const Options& Current();

// The virtual clock, in milliseconds (wraps like GetTickCount).
void SetTicks(std::uint32_t ms);
std::uint32_t Ticks();

// Asks every top-level window to close, as the desktop's close button does (WM_CLOSE).
void RequestClose();

}  // namespace host
