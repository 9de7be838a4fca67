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

// A frame's picture as read back: top row first, RGBA with 4 bytes a pixel, width * 4 bytes a
// row. Index 0 is the first frame the piece presents after Start; tick is what GetTickCount gave
// while the piece drew it. rgba is null where no picture was read.
struct Frame {
    std::int64_t index = 0;
    std::uint32_t tick = 0;
    const std::uint8_t* rgba = nullptr;
    int width = 0;
    int height = 0;
};

// How the piece's next frame is drawn.
enum class Draw {
    Read,   // whole, and its picture read back for the sink
    Whole,  // whole, its picture never read
    // All its GL calls happen (what they set carries over to later frames), but into a scissor
    // box of one pixel, so that next to nothing is rasterised; its picture is never read.
    Cheap,
};

// What a frame leaves the platform with, once, in order, from one place (its presentation).
struct Finished {
    // The frame just presented: its index, tick and size, and its picture where it was read at
    // once. Index -1 where no frame was presented: the platform hands over a picture read late
    // before its context goes or changes size, and nothing follows from the answer.
    Frame frame;
    // With late reads: the picture of the frame before, read while the piece drew this one
    // (rgba null: none).
    Frame late;
};

// The sink's answer: the frame the piece draws next.
struct Next {
    std::uint32_t tick = 0;  // with the virtual clock, what GetTickCount gives while it is drawn
    Draw draw = Draw::Read;
    bool close = false;  // the piece is asked to close now, as its close button would
};

// Where finished frames go: one call a frame, one answer back.
using FrameSink = std::function<Next(const Finished& finished)>;

struct Options {
    VideoMode video;
    Audio audio = Audio::Device;
    std::string diskAudioFile;  // with Audio::Disk
    // Receives every finished frame (unset: none leaves the platform).
    FrameSink frames;
    // Frame 0, before any answer: its tick and how it is drawn.
    Next first;
    // A virtual clock: GetTickCount gives first.tick, then the tick of each answer, in
    // milliseconds that wrap like GetTickCount, until SetTicks says otherwise.
    bool virtualClock = false;
    // Each picture is read while the piece draws the next frame, where the GL has the means: the
    // sink then has it with the next frame (Finished::late), the last one when its context goes.
    // Otherwise at once.
    bool lateReads = false;
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

// What the piece's audio calls did in this run, as the audio back end saw them: a tool learns
// from it whether the piece plays its soundtrack, and which file.
struct AudioRecord {
    bool outputOpen = false;  // a BASS_Init opened the output
    // The stream asked for last: the file named, and what came of it.
    enum class Stream {
        NotAsked,
        Opened,
        NoOutput,    // asked before the output was open
        Unreadable,  // missing, unreadable or not a regular file
        NotSound,    // a file the decoder cannot read
    };
    Stream stream = Stream::NotAsked;
    std::string file;
    bool playing = false;  // a BASS_StreamPlay started a stream
};
const AudioRecord& RecordedAudio();

}  // namespace host
