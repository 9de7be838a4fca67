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

#include <bass.h>

#include "capture.h"
#include "cli.h"
#include "ffmpeg_sink.h"
#include "flash_report.h"
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

// Why the piece would play no soundtrack, or "" when it would play one. Asked of the piece's own
// audio back end, on the silent output the capture runs it with, with the calls the piece makes:
// the video carries a sound only where the piece would.
std::string WhyNoSoundtrack() {
    host::Options options;
    options.video.output = host::Video::Headless;
    options.audio = host::Audio::Silent;
    host::Start(options);
    std::string why;
    if (!IsReadableFile(kSoundtrack)) {
        why = std::string(kSoundtrack) + " is not a readable file in " + WorkingDirectory();
    } else if (!BASS_Init(1, 44100, 0, nullptr, nullptr)) {
        why = "the piece's audio output cannot be opened";
    } else if (BASS_StreamCreateFile(FALSE, kSoundtrack, 0, 0, 0) == 0) {
        why = std::string(kSoundtrack) + " in " + WorkingDirectory() +
              " is not sound the piece can play";
    }
    host::Stop();
    return why;
}

// A file beside the output for ffmpeg to write, renamed to the output once the video is
// finished: until then an existing output stays as it was, and a capture that fails or is
// killed never leaves a broken file under the output's name.
bool MakePartialFile(const std::string& output, std::string* partial, std::string* error) {
    struct stat info;
    if (stat(output.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        *error = "cannot write " + output + ": it is a folder";
        return false;
    }
    const size_t slash = output.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : output.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? output : output.substr(slash + 1);
    *partial = folder + "." + name + ".partial-XXXXXX";
    const int fd = mkostemp(&(*partial)[0], O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot write " + output + ": " + std::strerror(errno);
        return false;
    }
    // The mode a newly made file gets, not mkostemp's private one.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    return true;
}

// Writes text into the partial file made for it.
bool WriteText(const std::string& path, const std::string& text, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "w");
    const bool ok = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if ((file && std::fclose(file) != 0) || !ok) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

int Capture(const CommandLine& line) {
    const FrameRange clip = ClipFrames(line.fromMs, line.toMs, line.fps);
    std::unique_ptr<FrameSink> sink;
    FlashSink* flashes = nullptr;
    const std::string target = line.flashReport.empty() ? line.output : line.flashReport;
    std::string partial;  // the MP4 or the report being written
    std::string noSound;  // why the MP4 is silent
    std::string error;

    if (!line.flashReport.empty()) {
        if (!MakePartialFile(target, &partial, &error)) {
            Say(error);
            return kExitFailed;
        }
        sink = std::make_unique<FlashSink>(line.fps);
        flashes = static_cast<FlashSink*>(sink.get());
    } else if (line.kind == OutputKind::Mp4) {
        EncodeSettings encode = line.encode;
        encode.ffmpeg = FindExecutable("ffmpeg");
        if (encode.ffmpeg.empty()) {
            Say("cannot make an MP4: no ffmpeg on PATH. Install FFmpeg, or write PNG frames "
                "with -o FOLDER");
            return kExitFailed;
        }
        if (!MakePartialFile(line.output, &partial, &error)) {
            Say(error);
            return kExitFailed;
        }
        noSound = WhyNoSoundtrack();
        if (noSound.empty()) {
            encode.audioFile = kSoundtrack;
        } else {
            Say("no soundtrack: " + noSound + "; the video will be silent");
        }
        encode.output = partial;
        encode.fps = line.fps;
        encode.firstFrame = clip.first;
        encode.frames = clip.count();
        sink = std::make_unique<FfmpegSink>(encode);
    } else {
        if (!PrepareFrameFolder(line.output, &error)) {
            Say(error);
            return kExitFailed;
        }
        sink = std::make_unique<PngSequenceSink>(line.output);
    }

    Say("frames " + std::to_string(clip.first) + " to " + std::to_string(clip.end - 1) + " at " +
        std::to_string(line.fps) + " fps (" + Seconds(clip.first, line.fps) + " to " +
        Seconds(clip.end, line.fps) + ") into " + target);
    ProgressLine progress(clip.end, stderr);
    RunSettings settings;
    settings.fps = line.fps;
    settings.clip = clip;
    settings.size = line.size;
    settings.reducedFlashing = line.reducedFlashing;
    settings.onProgress = [&](std::int64_t rendered) { progress.Update(rendered); };
    // The piece's message boxes are told, never shown: nobody is there to dismiss them.
    settings.onMessageBox = [&](const char* text, const char* caption) {
        progress.Break();
        Say(std::string("the piece shows a message box: \"") + text + "\" (" + caption + ")");
    };
    RunResult result = Run(settings, *sink);
    progress.Finish(result.rendered);

    flash::Report report;
    if (result.ok && flashes) {
        report = flashes->Finish();
        result.ok = WriteText(partial, FlashCsv(report, clip.first), &result.error);
    }
    if (result.ok && !partial.empty() && rename(partial.c_str(), target.c_str()) != 0) {
        result.ok = false;
        result.error = "cannot write " + target + ": " + std::strerror(errno);
    }
    if (!result.ok) {
        Say(result.error);
        // A broken video is not left behind looking like a finished one.
        if (!partial.empty()) {
            unlink(partial.c_str());
            Say("nothing written to " + target);
        }
        return kExitFailed;
    }
    if (result.interrupted) {
        Say("interrupted: " + std::to_string(result.written) + " of " +
            std::to_string(clip.count()) + " frames written to " + target);
        return kExitInterrupted;
    }
    if (flashes) {
        std::fputs(FlashVerdict(report, clip.first).c_str(), stdout);
        return line.flashStrict && !report.passes() ? kExitFlashes : kExitOk;
    }
    Say("wrote " + std::to_string(result.written) + " frames to " + line.output);
    if (!noSound.empty()) {
        Say("the video has no sound: " + noSound);
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
        std::fputs(UsageText().c_str(), stdout);
        return kExitOk;
    }
    if (line.version) {
        std::printf("flimrevo-capture %s\n", FLIMREVO_VERSION);
        return kExitOk;
    }
    return Capture(line);
}
