// Capture throughput at 1024 x 768: the piece rendered on the virtual clock and its frames read
// back (a sink that takes them and does nothing), then the same with the MP4 encoding through
// ffmpeg, with the soundtrack, as flimrevo-capture makes it. Frames a second of wall time.
//
//   capture_bench [--fps N] [--to SECONDS] [--rounds R] [--pipe rgba|rgb] [--preset P]
//                 [--skip-render] [--skip-encode]
//
// Default: the whole piece at 10 fps (928 frames, every part of the timeline), best of one
// round. --fps 60 without --to times the full 60 fps capture (5,563 frames). Run it in
// <build>/bin, beside brumlevo.mp3; the video goes to a temporary file that is removed.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

struct Figures {
    std::int64_t frames = 0;
    double seconds = 0;
    double sinkSeconds = 0;
    bool ok = false;
};

Figures RunOnce(int fps, std::int64_t toMs, capture::FrameSink& sink) {
    capture::RunSettings settings;
    settings.fps = fps;
    settings.clip = capture::ClipFrames(0, toMs, fps);
    const capture::RunResult result = capture::Run(settings, sink);
    if (!result.ok) {
        std::fprintf(stderr, "capture_bench: %s\n", result.error.c_str());
    }
    return Figures{result.written, result.seconds, result.sinkSeconds, result.ok};
}

void Report(const char* name, const Figures& best) {
    std::printf("%-22s %6lld frames  %7.2f s  %7.1f fps  (sink %.2f s)\n", name,
                static_cast<long long>(best.frames), best.seconds, best.frames / best.seconds,
                best.sinkSeconds);
}

}  // namespace

int main(int argc, char** argv) {
    int fps = 10;
    std::int64_t toMs = -1;
    int rounds = 1;
    bool render = true, encode = true;
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
        } else if (arg == "--skip-render") {
            render = false;
        } else if (arg == "--skip-encode") {
            encode = false;
        } else {
            std::fprintf(stderr, "capture_bench: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (fps < 1 || fps > 1000) {
        std::fprintf(stderr, "capture_bench: --fps from 1 to 1000\n");
        return 2;
    }
    const capture::FrameRange clip = capture::ClipFrames(0, toMs, fps);
    std::printf("capture at 1024x768, %d fps, %lld frames (%.3f s of the piece)\n", fps,
                static_cast<long long>(clip.count()), static_cast<double>(clip.count()) / fps);

    Figures bestRender, bestEncode;
    for (int round = 0; round < rounds; ++round) {
        if (render) {
            DiscardSink discard;
            const Figures figures = RunOnce(fps, toMs, discard);
            if (figures.ok && (bestRender.seconds == 0 || figures.seconds < bestRender.seconds)) {
                bestRender = figures;
            }
        }
        if (encode) {
            capture::EncodeSettings settings = encodeSettings;
            settings.ffmpeg = capture::FindExecutable("ffmpeg");
            if (settings.ffmpeg.empty()) {
                std::fprintf(stderr, "capture_bench: no ffmpeg on PATH\n");
                return 1;
            }
            char output[] = "/tmp/capture-bench-XXXXXX.mp4";
            const int fd = mkstemps(output, 4);
            if (fd < 0) {
                std::perror("capture_bench: temporary file");
                return 1;
            }
            close(fd);
            settings.output = output;
            settings.fps = fps;
            settings.audioFile = access("brumlevo.mp3", R_OK) == 0 ? "brumlevo.mp3" : "";
            settings.frames = clip.count();
            capture::FfmpegSink sink(settings);
            const Figures figures = RunOnce(fps, toMs, sink);
            unlink(output);
            if (figures.ok && (bestEncode.seconds == 0 || figures.seconds < bestEncode.seconds)) {
                bestEncode = figures;
            }
        }
    }
    if (render) {
        Report("rendering only", bestRender);
    }
    if (encode) {
        Report("rendering + encoding", bestEncode);
    }
    return (render && !bestRender.ok) || (encode && !bestEncode.ok) ? 1 : 0;
}
