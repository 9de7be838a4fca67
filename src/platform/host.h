// How a host program steers the platform layer: the capture tool and the tests drive the same
// piece in ways a desktop does not. Configure before the piece makes its first platform call;
// Reset returns everything (SDL included) to the state of a fresh process.
//
// The piece itself never includes this header.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace host {

enum class Video {
    Desktop,   // a real window on the user's display (X11 or Wayland through SDL)
    Headless,  // SDL's offscreen driver over Mesa's EGL: no display needed
};

enum class Audio {
    Device,  // the default output device
    Silent,  // an output that accepts and discards everything (SDL's dummy driver)
    Disk,    // SDL's disk driver: what would reach the speakers goes to Options::diskAudioFile
    None,    // no audio device at all: initialising the output fails
};

// One presented frame, top row first, RGBA with 4 bytes a pixel, width * 4 bytes a row.
struct Frame {
    const std::uint8_t* rgba;
    int width;
    int height;
};

struct Options {
    Video video = Video::Desktop;
    Audio audio = Audio::Device;
    std::string diskAudioFile;  // with Audio::Disk
    // When set, GetTickCount returns the value last given to SetTicks instead of the real clock.
    bool virtualClock = false;
    // Called from inside SwapBuffers with the finished frame, before it is shown.
    std::function<void(const Frame&)> onPresent;
    // With onPresent: each frame's read-back overlaps the drawing of the next one, where the GL
    // has pixel buffer objects. onPresent then receives a frame at the next SwapBuffers, and the
    // last one when its context stops being current (wglMakeCurrent, wglDeleteContext, Reset).
    bool lateFrames = false;
    // Called from inside SwapBuffers once the frame is presented (after onPresent, or after the
    // previous frame's onPresent with lateFrames).
    std::function<void()> onSwap;
    // When set, MessageBoxA calls this instead of showing a box, and returns IDOK.
    std::function<void(const char* text, const char* caption)> onMessageBox;
};

void Configure(const Options& options);
const Options& Current();
void Reset();

// The virtual clock, in milliseconds (wraps like GetTickCount).
void SetTicks(std::uint32_t ms);
std::uint32_t Ticks();

// Asks every top-level window to close, as the desktop's close button does (WM_CLOSE).
void RequestClose();

// Tests only. A failing call returns its Win32 failure value without doing anything.
void FailCall(const std::string& name);
void ClearFailures();
bool ShouldFail(const char* name);

// Tests only. While recording, each platform call appends its name, and for a few calls a short
// account of its arguments after a space ("ChangeDisplaySettingsA 1024x768x32 4").
void StartRecording();
std::vector<std::string> StopRecording();
bool Recording();
void Record(const char* name);
void Record(const char* name, const std::string& detail);
// Allocates nothing unless recording.
void Record(const char* name, const char* detail);

}  // namespace host
