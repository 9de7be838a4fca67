// MP4 output through the ffmpeg executable: raw frames go down a pipe to its standard input, and
// it encodes them with libx264 (yuv420p) and muxes the soundtrack as AAC.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "capture.h"

namespace capture {

// The full path of an executable: name itself when it holds a '/', else the first match on PATH.
// Empty when there is none.
std::string FindExecutable(const std::string& name);

// A child process whose standard input is a pipe from us; its standard output goes nowhere and
// its standard error to an unnamed temporary file that Finish reports from. The child runs in a
// process group of its own, so a Ctrl+C at the terminal reaches only us, and we end its input
// cleanly instead.
class ChildPipe {
  public:
    ChildPipe() = default;
    ~ChildPipe();
    ChildPipe(const ChildPipe&) = delete;
    ChildPipe& operator=(const ChildPipe&) = delete;

    bool Start(const std::vector<std::string>& argv, std::string* error);
    // All of the bytes or false (the child has gone: its input is closed).
    bool Write(const void* data, size_t size, std::string* error);
    // Closes the child's input, waits for it, and gives its exit status (-1 when a signal ended
    // it, or when it was never started). *log receives the end of what it wrote to standard error.
    int Finish(std::string* log);
    bool running() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    int logFd_ = -1;
};

// What goes down the pipe: RGBA as the frames come (no work on our side), or packed RGB (a
// quarter fewer bytes through the pipe, one pass over the frame here).
enum class PipeFormat { Rgba, Rgb };

struct EncodeSettings {
    std::string ffmpeg;  // the executable
    std::string output;  // the .mp4 to write
    int fps = 60;
    std::string audioFile;        // empty: a silent video
    std::int64_t firstFrame = 0;  // the clip's first frame: the soundtrack starts first / fps in
    std::int64_t frames = 0;      // the clip's length, to which the audio is cut
    // x264's fastest preset: on two cores the encoder shares them with the rendering. At crf 20
    // it keeps at least veryfast's quality at crf 18 (higher PSNR), for a larger file.
    std::string preset = "ultrafast";  // x264's speed preset
    int crf = 20;                      // x264's constant quality
    int videoKbps = 0;    // > 0: this average bit rate in kbit/s instead of constant quality
    std::string profile;  // the H.264 profile asked for ("high"); empty: what the preset makes
    int audioKbps = 192;
    // x264's threads; 0: as many as ffmpeg picks for the machine. x264 makes the same stream
    // from the same frames only with the same number of threads.
    int threads = 0;
    bool bitexact = false;  // no encoder versions, dates or other metadata in the file
    PipeFormat pipeFormat = PipeFormat::Rgba;
};

// Seconds as ffmpeg reads them, from a whole number of frames at fps: exact to the microsecond.
std::string FrameSeconds(std::int64_t frames, int fps);

// ffmpeg's command line for frames of width x height.
std::vector<std::string> FfmpegArguments(const EncodeSettings& settings, int width, int height);

class FfmpegSink : public FrameSink {
  public:
    explicit FfmpegSink(EncodeSettings settings) : settings_(std::move(settings)) {}

    bool Open(int width, int height, std::string* error) override;
    bool Write(const host::Frame& frame, std::string* error) override;
    bool Close(std::string* error) override;

  private:
    bool Failed(std::string* error);

    EncodeSettings settings_;
    ChildPipe child_;
    int width_ = 0, height_ = 0;
    std::vector<std::uint8_t> packed_;
};

}  // namespace capture
