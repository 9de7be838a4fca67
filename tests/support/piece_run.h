// Runs the whole piece (PieceMain) through the host's hooks: offscreen video unless asked
// otherwise, a virtual clock that moves only when a frame is presented, and each presented frame
// handed to the caller.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/host.h"

namespace testsupport {

struct PieceRunOptions {
    host::VideoMode video{host::Video::Headless};
    // Elapsed milliseconds shown by frame n, for n = 0, 1, ...: frame n is drawn with the virtual
    // clock at start + frameMs(n). Default: 1000 ms a frame.
    std::function<std::uint32_t(int n)> frameMs;
    // The virtual clock's value when the piece starts (lets a test make it wrap).
    std::uint32_t startTicks = 1000;
    host::Audio audio = host::Audio::Silent;
    std::string diskAudioFile;
    // Called with each presented frame; return false to close the window after this frame.
    std::function<bool(int n, const host::Frame& frame)> onFrame;
    // Message boxes are recorded (and never shown); this is called too, when set.
    std::function<void(const char* text, const char* caption)> onMessageBox;
    int maxFrames = 100000;
    const char* failCall = nullptr;  // a platform call made to fail
    bool record = false;  // keep the platform's record of calls made, in PieceRunResult::log
};

struct PieceRunResult {
    int exitCode = -1;
    int frames = 0;
    std::vector<std::string> boxes;  // "caption|text", in order
    std::vector<std::string> log;    // the calls recorded, when asked for
    unsigned escapeAfter = 0;        // GetAsyncKeyState(VK_ESCAPE) once the piece has returned
    host::AudioRecord audio;         // what the piece's audio calls did
};

PieceRunResult RunPiece(const PieceRunOptions& options);

}  // namespace testsupport
