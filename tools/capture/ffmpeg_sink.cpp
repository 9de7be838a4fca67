#include "ffmpeg_sink.h"

#include <cstdio>
#include <initializer_list>

namespace capture {

namespace {

void Add(std::vector<std::string>* args, std::initializer_list<std::string> more) {
    args->insert(args->end(), more);
}

// The frames: raw down the pipe, the parts' FFV1 as it is, or a finished video's.
void AddVideoInput(const EncodeSettings& settings, int width, int height,
                   std::vector<std::string>* args) {
    if (!settings.concatList.empty()) {
        Add(args, {"-f", "concat", "-safe", "0", "-i", "file:" + settings.concatList});
        return;
    }
    if (!settings.videoFile.empty()) {
        Add(args, {"-i", "file:" + settings.videoFile});
        return;
    }
    Add(args,
        {"-f", "rawvideo", "-pix_fmt", settings.pipeFormat == PipeFormat::Rgb ? "rgb24" : "rgba",
         "-video_size", std::to_string(width) + "x" + std::to_string(height), "-framerate",
         std::to_string(settings.rate.num) + "/" + std::to_string(settings.rate.den), "-i",
         "pipe:0"});
}

void AddVideoCodec(const EncodeSettings& settings, std::vector<std::string>* args) {
    if (!settings.videoFile.empty()) {
        Add(args, {"-c:v", "copy"});
        return;
    }
    const bool joining = !settings.concatList.empty();
    if (settings.container == Container::Mkv) {
        if (joining) {
            // The parts' frames as they are; their times again from the frame count, as a
            // one-process capture has them (each part's own start from 0, in milliseconds,
            // would round differently).
            Add(args, {"-c:v", "copy", "-bsf:v",
                       "setts=ts=round(N*" + std::to_string(1000 * settings.rate.den) + "/" +
                           std::to_string(settings.rate.num) + ")"});
        } else {
            // Every frame a key frame, so that a part, an edit or a seek starts anywhere; slices
            // let the encoder use more than one core.
            Add(args,
                {"-c:v", "ffv1", "-level", "3", "-g", "1", "-slices", "4", "-pix_fmt", "bgr0"});
        }
        return;
    }
    // BT.709 in limited range, converted and labelled so, so that players show the colours
    // as rendered; from the parts by way of RGBA, as the frames come down the pipe.
    Add(args, {"-vf",
               std::string(joining ? "format=rgba," : "") +
                   "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p",
               "-c:v", "libx264", "-preset", settings.preset, "-colorspace", "bt709",
               "-color_primaries", "bt709", "-color_trc", "bt709", "-color_range", "tv"});
    if (settings.videoKbps > 0) {
        Add(args, {"-b:v", std::to_string(settings.videoKbps) + "k"});
    } else {
        Add(args, {"-crf", std::to_string(settings.crf)});
    }
    if (!settings.profile.empty()) {
        Add(args, {"-profile:v", settings.profile});
    }
    if (settings.threads > 0) {
        Add(args, {"-threads:v", std::to_string(settings.threads)});
    }
}

// The clip's first frame shows its time of the timeline, which starts with the soundtrack; the
// sound is cut to the frames at the samples nearest their times, so that it stays in step to the
// sample at any frame rate. (ffmpeg's -shortest would cut it at a whole audio packet near the
// video's end, as that end is rounded in the container's time base.)
void AddAudioCodec(const EncodeSettings& settings, std::vector<std::string>* args) {
    const std::int64_t first = FrameSample(settings.firstFrame, settings.rate, kAudioRate);
    const std::int64_t end =
        FrameSample(settings.firstFrame + settings.frames, settings.rate, kAudioRate);
    Add(args, {"-af", "aresample=" + std::to_string(kAudioRate) +
                          ",atrim=start_sample=" + std::to_string(first) +
                          ":end_sample=" + std::to_string(end) + ",asetpts=PTS-STARTPTS"});
    if (settings.container == Container::Mkv) {
        Add(args, {"-c:a", "flac", "-sample_fmt", "s16"});
    } else {
        // The AAC encoder's fast coder takes a third of the default coder's time, at 192
        // kbit/s (the default) no further from the source.
        Add(args, {"-c:a", "aac", "-aac_coder", "fast", "-b:a",
                   std::to_string(settings.audioKbps) + "k"});
    }
}

}  // namespace

std::vector<std::string> FfmpegArguments(const EncodeSettings& settings, int width, int height) {
    std::vector<std::string> args = {settings.ffmpeg, "-hide_banner", "-nostdin",
                                     "-loglevel",     "error",        "-y"};
    AddVideoInput(settings, width, height, &args);
    const bool sound = !settings.audioFile.empty();
    if (sound) {
        // Looped, as the piece plays it, so a clip past the soundtrack's end still has sound.
        Add(&args, {"-stream_loop", "-1", "-i", "file:" + settings.audioFile});
    }
    Add(&args, {"-map", "0:v:0"});
    if (sound) {
        Add(&args, {"-map", "1:a:0"});
    }
    AddVideoCodec(settings, &args);
    if (sound) {
        AddAudioCodec(settings, &args);
    }
    if (settings.bitexact) {
        // Without it the file names ffmpeg's version, and a creation time if one is given.
        Add(&args, {"-fflags", "+bitexact", "-flags:v", "+bitexact", "-flags:a", "+bitexact",
                    "-map_metadata", "-1"});
    }
    for (const auto& tag : settings.metadata) {
        Add(&args, {"-metadata", tag.first + "=" + tag.second});
    }
    // The output by its name as it is: never read as a protocol ("file:", "http:") or an option
    // ("-x.mp4").
    if (settings.container == Container::Mp4) {
        Add(&args, {"-movflags", "+faststart", "-f", "mp4"});
    } else {
        Add(&args, {"-f", "matroska"});
    }
    args.push_back("file:" + settings.output);
    return args;
}

bool FfmpegSink::Open(int width, int height, std::string* error) {
    width_ = width;
    height_ = height;
    if (settings_.pipeFormat == PipeFormat::Rgb) {
        packed_.resize(static_cast<size_t>(width) * height * 3);
    }
    return child_.Start(FfmpegArguments(settings_, width, height), error);
}

// ffmpeg stopped taking frames: what it said is the error.
bool FfmpegSink::Failed(std::string* error) {
    std::string log;
    const int status = child_.Finish(&log);
    *error = "ffmpeg stopped";
    if (status >= 0) {
        *error += " with exit code " + std::to_string(status);
    }
    if (!log.empty()) {
        *error += ":\n" + log;
    }
    return false;
}

bool FfmpegSink::Write(const host::Frame& frame, std::string* error) {
    if (frame.width != width_ || frame.height != height_) {
        *error = "the piece's picture changed size during the capture";
        return false;
    }
    std::string writeError;
    const size_t pixels = static_cast<size_t>(frame.width) * frame.height;
    bool ok;
    if (settings_.pipeFormat == PipeFormat::Rgb) {
        const std::uint8_t* from = frame.rgba;
        std::uint8_t* to = packed_.data();
        for (size_t i = 0; i < pixels; ++i, from += 4, to += 3) {
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
        ok = child_.Write(packed_.data(), packed_.size(), &writeError);
    } else {
        ok = child_.Write(frame.rgba, pixels * 4, &writeError);
    }
    return ok || Failed(error);
}

bool FfmpegSink::Close(std::string* error) {
    if (!child_.running()) {
        return true;  // never started, or already reported
    }
    std::string log;
    const int status = child_.Finish(&log);
    if (status != 0) {
        *error = "ffmpeg failed";
        if (status > 0) {
            *error += " with exit code " + std::to_string(status);
        }
        if (!log.empty()) {
            *error += ":\n" + log;
        }
        return false;
    }
    return true;
}

}  // namespace capture
