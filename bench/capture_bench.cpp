// Capture throughput at 1024 x 768, and where its time goes. Three ways in turn, each for the
// same frames of the piece on the virtual clock:
//   render + read-back     a sink that takes the frames and does nothing with them;
//   + pipe + conversion    the frames down a pipe to ffmpeg, converted to yuv420p as for the MP4,
//                          then dropped (ffmpeg's null output: no encoder);
//   + encoder (MP4)        flimrevo-capture's MP4: H.264 through libx264, with the soundtrack as
//   AAC.
// Each line gives the wall time, frames a second, and the processor time of this process (the
// piece, GL's rasteriser threads, the read-back) and of ffmpeg; the differences between the lines
// are the costs of the pipe and conversion, and of the encoder.
//
//   capture_bench [--fps N] [--to SECONDS] [--rounds R] [--pipe rgba|rgb] [--preset P] [--crf N]
//                 [--skip-render] [--skip-convert] [--skip-encode] [--modes]
//
// --modes: the capture's modes against each other instead (see RunModes).
// Default: the whole piece at 10 fps (928 frames, every part of the timeline), one round. --fps 60
// without --to times the full 60 fps capture (5,563 frames). The ways alternate round by round;
// every round is printed. Run it in <build>/bin, beside brumlevo.mp3; the video goes to a temporary
// file that is removed.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture.h"
#include "ffmpeg_sink.h"

namespace {

class DiscardSink : public capture::FrameSink {
  public:
    bool Open(int, int, std::string*) override { return true; }
    bool Write(const host::Frame& frame, std::string*) override {
        checksum_ += frame.rgba[0];  // touch the pixels, as any sink must
        return true;
    }
    bool Close(std::string*) override { return true; }

  private:
    unsigned checksum_ = 0;
};

// The MP4 sink's pipe and conversion, with ffmpeg's null output in place of the encoder.
class ConvertOnlySink : public capture::FrameSink {
  public:
    explicit ConvertOnlySink(std::string ffmpeg) : ffmpeg_(std::move(ffmpeg)) {}
    bool Open(int width, int height, std::string* error) override {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        return child_.Start(
            {ffmpeg_, "-hide_banner", "-nostdin", "-loglevel", "error", "-f", "rawvideo",
             "-pix_fmt", "rgba", "-video_size", size, "-i", "pipe:0", "-vf",
             "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p", "-f", "null", "-"},
            error);
    }
    bool Write(const host::Frame& frame, std::string* error) override {
        return child_.Write(frame.rgba, static_cast<size_t>(frame.width) * frame.height * 4, error);
    }
    bool Close(std::string*) override {
        std::string log;
        return child_.Finish(&log) == 0;
    }

  private:
    std::string ffmpeg_;
    capture::ChildPipe child_;
};

struct Figures {
    std::int64_t frames = 0;
    double seconds = 0;
    double ownCpu = 0;     // this process, all threads
    double ffmpegCpu = 0;  // ffmpeg, all threads
    bool ok = false;
};

double CpuSeconds(int who) {
    rusage usage;
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

Figures RunOnce(int fps, std::int64_t toMs, capture::FrameSink& sink,
                capture::RunSettings settings = {}) {
    settings.rate = capture::Rate{fps, 1};
    if (settings.clip.count() == 0) {
        settings.clip = capture::ClipFrames(0, toMs, settings.rate);
    }
    const double own = CpuSeconds(RUSAGE_SELF), children = CpuSeconds(RUSAGE_CHILDREN);
    const capture::RunResult result = capture::Run(settings, sink);
    if (!result.ok) {
        std::fprintf(stderr, "capture_bench: %s\n", result.error.c_str());
    }
    return Figures{result.written, result.seconds, CpuSeconds(RUSAGE_SELF) - own,
                   CpuSeconds(RUSAGE_CHILDREN) - children, result.ok};
}

void Report(int round, const char* name, const Figures& f) {
    std::printf("%5d  %-22s %6lld frames %7.2f s %7.1f fps   cpu: ours %6.2f s, ffmpeg %6.2f s\n",
                round, name, static_cast<long long>(f.frames), f.seconds, f.frames / f.seconds,
                f.ownCpu, f.ffmpegCpu);
}

// The middle of the values (the upper middle of an even count).
double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The capture's modes against each other, in one run: a frame drawn cheaply before a clip
// against one rendered and read back, and --supersample 2 against plain at the same output size,
// for `rounds` rounds with the ratios' medians; then the YouTube 4K settings (3840 x 2160) per
// frame with N-times supersampling and S sub-frames.
bool RunModes(int fps, std::int64_t toMs, int rounds) {
    const capture::Rate rate{fps, 1};
    const capture::FrameRange clip = capture::ClipFrames(0, toMs, rate);
    DiscardSink discard;
    capture::RunSettings last;  // only the clip's last frame written: the rest drawn cheaply
    last.clip = capture::FrameRange{clip.end - 1, clip.end};
    capture::RunSettings twice;
    twice.supersample = 2;
    bool ok = true;
    std::vector<double> skippedShares, supersampleCosts;
    for (int round = 1; round <= rounds; ++round) {
        const Figures cheap = RunOnce(fps, toMs, discard, last);
        const Figures full = RunOnce(fps, toMs, discard);
        const Figures smooth = RunOnce(fps, toMs, discard, twice);
        // What every run pays once (the window, the context, the piece's start, its first
        // frame), taken off each: a run of frame 0 alone.
        const Figures start = RunOnce(fps, 1, discard);
        const auto perFrame = [&](const Figures& f) {
            return (f.seconds - start.seconds) * 1000 / static_cast<double>(clip.count() - 1);
        };
        skippedShares.push_back(perFrame(cheap) / perFrame(full));
        supersampleCosts.push_back(perFrame(smooth) / perFrame(full));
        std::printf(
            "%5d  skipped frame %5.2f ms, rendered and read %5.2f ms: %.2f of it; "
            "--supersample 2 %5.2f ms: %.2fx\n",
            round, perFrame(cheap), perFrame(full), skippedShares.back(), perFrame(smooth),
            supersampleCosts.back());
        ok = ok && cheap.ok && full.ok && smooth.ok && start.ok;
    }
    std::printf("medians: a skipped frame %.2f of a rendered one; --supersample 2 %.2fx plain\n",
                Median(skippedShares), Median(supersampleCosts));
    // A run writes the clip's last frame, another its last four; the difference is three frames
    // at 4K, without the cheap frames before them and the start-up.
    for (const int n : {1, 2}) {
        for (const int s : {1, 2, 4}) {
            capture::RunSettings youtube;
            youtube.size = capture::OutputSize{3840, 2160, 0};
            youtube.supersample = n;
            youtube.shutter = capture::Shutter{s, 180};
            youtube.clip = capture::FrameRange{clip.end - 1, clip.end};
            const Figures one = RunOnce(fps, toMs, discard, youtube);
            youtube.clip.first = clip.end - 4;
            const Figures four = RunOnce(fps, toMs, discard, youtube);
            const double perFrame = (four.seconds - one.seconds) / 3;
            std::printf(
                "3840x2160 N=%d S=%d %7.0f ms a frame, the whole piece (%lld frames) %.0f s\n", n,
                s, perFrame * 1000, static_cast<long long>(capture::PieceFrames(rate)),
                perFrame * static_cast<double>(capture::PieceFrames(rate)));
            ok = ok && one.ok && four.ok;
        }
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int fps = 10;
    std::int64_t toMs = -1;
    int rounds = 1;
    bool render = true, convert = true, encode = true, modes = false;
    capture::EncodeSettings encodeSettings;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--fps") {
            fps = std::atoi(value);
            ++i;
        } else if (arg == "--to") {
            toMs = static_cast<std::int64_t>(std::atof(value) * 1000 + 0.5);
            ++i;
        } else if (arg == "--rounds") {
            rounds = std::max(1, std::atoi(value));
            ++i;
        } else if (arg == "--pipe") {
            encodeSettings.pipeFormat = std::strcmp(value, "rgb") == 0 ? capture::PipeFormat::Rgb
                                                                       : capture::PipeFormat::Rgba;
            ++i;
        } else if (arg == "--preset") {
            encodeSettings.preset = value;
            ++i;
        } else if (arg == "--crf") {
            encodeSettings.crf = std::atoi(value);
            ++i;
        } else if (arg == "--skip-render") {
            render = false;
        } else if (arg == "--skip-convert") {
            convert = false;
        } else if (arg == "--skip-encode") {
            encode = false;
        } else if (arg == "--modes") {
            modes = true;
        } else {
            std::fprintf(stderr, "capture_bench: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (fps < 1 || fps > 1000) {
        std::fprintf(stderr, "capture_bench: --fps from 1 to 1000\n");
        return 2;
    }
    if (modes) {
        return RunModes(fps, toMs, rounds) ? 0 : 1;
    }
    const std::string ffmpeg = capture::FindExecutable("ffmpeg");
    if ((convert || encode) && ffmpeg.empty()) {
        std::fprintf(stderr, "capture_bench: no ffmpeg on PATH\n");
        return 1;
    }
    const capture::FrameRange clip = capture::ClipFrames(0, toMs, capture::Rate{fps, 1});
    std::printf(
        "capture at 1024x768, %d fps, %lld frames (%.3f s of the piece); x264 preset %s, "
        "crf %d\n",
        fps, static_cast<long long>(clip.count()), static_cast<double>(clip.count()) / fps,
        encodeSettings.preset.c_str(), encodeSettings.crf);

    bool ok = true;
    for (int round = 1; round <= rounds; ++round) {
        if (render) {
            DiscardSink discard;
            const Figures figures = RunOnce(fps, toMs, discard);
            Report(round, "render + read-back", figures);
            ok = ok && figures.ok;
        }
        if (convert) {
            ConvertOnlySink sink(ffmpeg);
            const Figures figures = RunOnce(fps, toMs, sink);
            Report(round, "+ pipe + conversion", figures);
            ok = ok && figures.ok;
        }
        if (encode) {
            capture::EncodeSettings settings = encodeSettings;
            settings.ffmpeg = ffmpeg;
            char output[] = "/tmp/capture-bench-XXXXXX.mp4";
            const int fd = mkstemps(output, 4);
            if (fd < 0) {
                std::perror("capture_bench: temporary file");
                return 1;
            }
            close(fd);
            settings.output = output;
            settings.rate = capture::Rate{fps, 1};
            settings.audioFile = access("brumlevo.mp3", R_OK) == 0 ? "brumlevo.mp3" : "";
            settings.frames = clip.count();
            capture::FfmpegSink sink(settings);
            const Figures figures = RunOnce(fps, toMs, sink);
            struct stat info;
            const double megabytes = stat(output, &info) == 0 ? info.st_size / 1e6 : 0;
            unlink(output);
            Report(round, "+ encoder (MP4)", figures);
            std::printf("       (the MP4: %.1f MB, %.0f kbit/s)\n", megabytes,
                        megabytes * 8000 * fps / std::max<std::int64_t>(1, clip.count()));
            ok = ok && figures.ok;
        }
    }
    return ok ? 0 : 1;
}
