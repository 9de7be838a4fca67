// MP4 output through the ffmpeg executable: raw frames go down a pipe to its standard input, and
// it encodes them with libx264 (yuv420p) and muxes the soundtrack as AAC.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "audio/soundtrack_file.h"
#include "capture.h"
#include "child_pipe.h"

namespace capture {

// What goes down the pipe: RGBA as the frames come (no work on our side), or packed RGB (a
// quarter fewer bytes through the pipe, one pass over the frame here).
enum class PipeFormat { Rgba, Rgb };

enum class Container {
    Mp4,  // H.264 (yuv420p) and AAC
    Mkv,  // FFV1 (RGB, lossless) and FLAC
};

struct EncodeSettings {
    std::string ffmpeg;  // the executable
    std::string output;  // the video to write
    Container container = Container::Mp4;
    Rate rate{60};
    std::string audioFile;        // empty: a silent video
    std::int64_t firstFrame = 0;  // the clip's first frame: where in the soundtrack it starts
    std::int64_t frames = 0;      // the clip's length, to which the audio is cut
    // Non-empty: the frames come from the lossless parts listed in this file (ffmpeg's concat
    // format), not down the pipe.
    std::string concatList;
    // Non-empty: the frames are this file's video, copied as they are (to add the sound).
    std::string videoFile;
    std::vector<std::pair<std::string, std::string>> metadata;  // tags of the file
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

// The soundtrack's samples are cut at the rate the piece plays it at, so that each frame starts at
// a whole sample.
constexpr std::int64_t kAudioRate = kSoundtrackRate;

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
