// flimrevo-capture: renders the piece at a fixed frame rate into an MP4 or a PNG sequence.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "capture.h"
#include "cli.h"
#include "ffmpeg_sink.h"
#include "png_sink.h"
#include "progress.h"

namespace {

using namespace capture;

const char kSoundtrack[] = "brumlevo.mp3";  // from the working directory, as the piece opens it

void Say(const std::string& text) {
    std::fprintf(stderr, "flimrevo-capture: %s\n", text.c_str());
}

std::string Seconds(std::int64_t frames, int fps) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(frames) / fps);
    return text;
}

bool IsReadableFile(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode) && access(path, R_OK) == 0;
}

std::string WorkingDirectory() {
    char path[PATH_MAX];
    return getcwd(path, sizeof path) ? path : ".";
}

// Opens (making it when missing, truncating nothing) the file ffmpeg will write, so that an
// output that cannot be written is reported before anything is rendered. *made: the file is new.
bool ProbeOutputFile(const std::string& path, bool* made, std::string* error) {
    const int existing = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (existing >= 0) {
        close(existing);
        *made = false;
        return true;
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    *made = true;
    return true;
}

int Capture(const CommandLine& line) {
    const FrameRange clip = ClipFrames(line.fromMs, line.toMs, line.fps);
    std::unique_ptr<FrameSink> sink;
    FfmpegSink* video = nullptr;
    bool silent = false;
    bool madeOutput = false;
    std::string error;

    if (line.kind == OutputKind::Mp4) {
        EncodeSettings encode;
        encode.ffmpeg = FindExecutable("ffmpeg");
        if (encode.ffmpeg.empty()) {
            Say("cannot make an MP4: no ffmpeg on PATH. Install FFmpeg, or write PNG frames "
                "with -o FOLDER");
            return kExitFailed;
        }
        if (!ProbeOutputFile(line.output, &madeOutput, &error)) {
            Say(error);
            return kExitFailed;
        }
        if (IsReadableFile(kSoundtrack)) {
            encode.audioFile = kSoundtrack;
        } else {
            silent = true;
            Say(std::string("no soundtrack: ") + kSoundtrack + " is not a readable file in " +
                WorkingDirectory() + "; the video will be silent");
        }
        encode.output = line.output;
        encode.fps = line.fps;
        encode.firstFrame = clip.first;
        encode.frames = clip.count();
        auto ffmpeg = std::make_unique<FfmpegSink>(encode);
        video = ffmpeg.get();
        sink = std::move(ffmpeg);
    } else {
        if (!PrepareFrameFolder(line.output, &error)) {
            Say(error);
            return kExitFailed;
        }
        sink = std::make_unique<PngSequenceSink>(line.output);
    }

    Say("frames " + std::to_string(clip.first) + " to " + std::to_string(clip.end - 1) + " at " +
        std::to_string(line.fps) + " fps (" + Seconds(clip.first, line.fps) + " to " +
        Seconds(clip.end, line.fps) + ") into " + line.output);
    ProgressLine progress(clip.end, stderr);
    RunSettings settings;
    settings.fps = line.fps;
    settings.clip = clip;
    settings.size = line.size;
    settings.onProgress = [&](std::int64_t rendered) { progress.Update(rendered); };
    // The piece's message boxes are told, never shown: nobody is there to dismiss them.
    settings.onMessageBox = [&](const char* text, const char* caption) {
        progress.Break();
        Say(std::string("the piece shows a message box: \"") + text + "\" (" + caption + ")");
    };
    const RunResult result = Run(settings, *sink);
    progress.Finish(result.rendered);

    if (!result.ok) {
        Say(result.error);
        // A broken video is not left behind looking like a finished one.
        if (line.kind == OutputKind::Mp4 && (madeOutput || (video && video->started()))) {
            unlink(line.output.c_str());
            Say("removed the unfinished " + line.output);
        }
        return kExitFailed;
    }
    if (result.interrupted) {
        Say("interrupted: " + std::to_string(result.written) + " of " +
            std::to_string(clip.count()) + " frames written to " + line.output);
        return kExitInterrupted;
    }
    Say("wrote " + std::to_string(result.written) + " frames to " + line.output);
    if (silent) {
        Say(std::string("the video has no sound: ") + kSoundtrack + " was missing");
        return kExitNoSound;
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    // A write to an ffmpeg that has gone reports EPIPE instead of ending us.
    signal(SIGPIPE, SIG_IGN);
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, &line, &error)) {
        Say(error);
        std::fprintf(stderr, "Try 'flimrevo-capture --help'.\n");
        return kExitUsage;
    }
    if (line.help) {
        std::fputs(UsageText(), stdout);
        return kExitOk;
    }
    if (line.version) {
        std::printf("flimrevo-capture %s\n", FLIMREVO_VERSION);
        return kExitOk;
    }
    return Capture(line);
}
