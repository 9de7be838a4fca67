// flimrevo-capture: renders the piece at a fixed frame rate into an MP4, a lossless MKV or a PNG
// sequence, whole or in parts, and joins parts.
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
#include "flash_report.h"
#include "png_sink.h"
#include "progress.h"
#include "segments.h"

namespace {

using namespace capture;

void Say(const std::string& text) {
    std::fprintf(stderr, "flimrevo-capture: %s\n", text.c_str());
}

std::string Seconds(std::int64_t frames, Rate rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s",
                  static_cast<double>(frames * rate.den) / static_cast<double>(rate.num));
    return text;
}

std::string WorkingDirectory() {
    char path[PATH_MAX];
    return getcwd(path, sizeof path) ? path : ".";
}

// Why the video has no sound where the piece's audio calls went so, said at once; "" when the
// piece plays its soundtrack.
std::string SayWhyNoSound(const host::AudioRecord& audio) {
    const std::string why = WhyNoSound(audio, WorkingDirectory());
    if (!why.empty()) {
        Say("no soundtrack: " + why + "; the video will be silent");
    }
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

// The video sink: ffmpeg writing into a file beside the output (*partial). Null after a message
// when it cannot be.
std::unique_ptr<FrameSink> MakeVideoSink(const CommandLine& line, const FrameRange& frames,
                                         std::string* partial) {
    EncodeSettings encode = line.encode;
    encode.ffmpeg = FindExecutable("ffmpeg");
    if (encode.ffmpeg.empty()) {
        Say("cannot make a video: no ffmpeg on PATH. Install FFmpeg, or write PNG frames "
            "with -o FOLDER");
        return nullptr;
    }
    std::string error;
    if (!MakePartialFile(line.output, partial, &error)) {
        Say(error);
        return nullptr;
    }
    encode.container = line.kind == OutputKind::Mkv ? Container::Mkv : Container::Mp4;
    // The frames first; the sound goes in once they are all written (AddSoundtrack), where the
    // piece played one, and a part has none: the join adds it once.
    if (line.segment.count > 0) {
        encode.metadata = PartTags(line);
    }
    encode.output = *partial;
    encode.rate = line.rate;
    encode.firstFrame = frames.first;
    encode.frames = frames.count();
    return std::make_unique<FfmpegSink>(encode);
}

// Adds the soundtrack the piece played, cut to the frames written, to the video in *partial: a
// second file beside the output takes the video as it is and the sound, and then the first one's
// place.
bool AddSoundtrack(const CommandLine& line, const FrameRange& written, const std::string& file,
                   std::string* partial, std::string* error) {
    EncodeSettings encode = line.encode;
    encode.ffmpeg = FindExecutable("ffmpeg");
    encode.container = line.kind == OutputKind::Mkv ? Container::Mkv : Container::Mp4;
    encode.rate = line.rate;
    encode.audioFile = file;
    encode.firstFrame = written.first;
    encode.frames = written.count();
    encode.videoFile = *partial;
    if (!MakePartialFile(line.output, &encode.output, error)) {
        return false;
    }
    ChildPipe ffmpeg;
    std::string log;
    const bool ok = ffmpeg.Start(FfmpegArguments(encode, 0, 0), error) && ffmpeg.Finish(&log) == 0;
    unlink(partial->c_str());
    *partial = encode.output;
    if (!ok && error->empty()) {
        *error = "ffmpeg failed adding the sound:\n" + log;
    }
    return ok;
}

// What came of a finished run: the video renamed into place, or removed; messages and exit code.
int Conclude(RunResult result, const CommandLine& line, const FrameRange& frames,
             const std::string& partial, const std::string& noSound) {
    // An interrupted part is no part: a join would refuse it anyway.
    if (result.ok && result.interrupted && line.segment.count > 0) {
        result.ok = false;
        result.error = "interrupted";
    }
    if (result.ok && !partial.empty() && rename(partial.c_str(), line.output.c_str()) != 0) {
        result.ok = false;
        result.error = "cannot write " + line.output + ": " + std::strerror(errno);
    }
    if (!result.ok) {
        Say(result.error);
        // A broken video is not left behind looking like a finished one.
        if (!partial.empty()) {
            unlink(partial.c_str());
            Say("nothing written to " + line.output);
        }
        return result.interrupted ? kExitInterrupted : kExitFailed;
    }
    if (result.interrupted) {
        Say("interrupted: " + std::to_string(result.written) + " of " +
            std::to_string(frames.count()) + " frames written to " + line.output);
        return kExitInterrupted;
    }
    Say("wrote " + std::to_string(result.written) + " frames to " + line.output);
    if (!noSound.empty()) {
        Say("the video has no sound: " + noSound);
        return kExitNoSound;
    }
    return kExitOk;
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

// --flash-report: the frames go to the flash analysis, and the report to FILE.csv (written under
// a temporary name first, as a video is) and the verdict to standard output.
int FlashReport(const CommandLine& line, const RunSettings& settings, ProgressLine& progress) {
    std::string partial, error;
    if (!MakePartialFile(line.flashReport, &partial, &error)) {
        Say(error);
        return kExitFailed;
    }
    FlashSink sink(static_cast<int>(line.rate.num / line.rate.den));
    RunResult result = Run(settings, sink);
    progress.Finish(result.framesDrawn);
    flash::Report report;
    if (result.ok && !result.interrupted) {
        report = sink.Finish();
        result.ok = WriteText(partial, FlashCsv(report, settings.clip.first), &result.error) &&
                    rename(partial.c_str(), line.flashReport.c_str()) == 0;
        if (!result.ok && result.error.empty()) {
            result.error = "cannot write " + line.flashReport + ": " + std::strerror(errno);
        }
    }
    if (!result.ok || result.interrupted) {
        Say(result.ok ? "interrupted" : result.error);
        unlink(partial.c_str());
        Say("nothing written to " + line.flashReport);
        return result.interrupted ? kExitInterrupted : kExitFailed;
    }
    std::fputs(FlashVerdict(report, settings.clip.first).c_str(), stdout);
    return line.flashStrict && !report.passes() ? kExitFlashes : kExitOk;
}

int Capture(const CommandLine& line) {
    const FrameRange frames = OutputFrames(line);
    const std::string& target = line.flashReport.empty() ? line.output : line.flashReport;
    std::unique_ptr<FrameSink> sink;
    std::string partial;  // the video being written
    std::string noSound;  // why the video is silent
    if (!line.flashReport.empty()) {
        // The report's sink is made with the run.
    } else if (line.kind != OutputKind::PngFolder) {
        sink = MakeVideoSink(line, frames, &partial);
        if (!sink) {
            return kExitFailed;
        }
    } else {
        std::string error;
        if (!PrepareFrameFolder(line.output, &error)) {
            Say(error);
            return kExitFailed;
        }
        sink = std::make_unique<PngSequenceSink>(line.output);
    }

    Say("frames " + std::to_string(frames.first) + " to " + std::to_string(frames.end - 1) +
        " at " + RateText(line.rate) + " fps (" + Seconds(frames.first, line.rate) + " to " +
        Seconds(frames.end, line.rate) + ") into " + target);
    ProgressLine progress(frames.first, frames.end, stderr);
    RunSettings settings;
    settings.rate = line.rate;
    settings.shutter = line.shutter;
    settings.supersample = line.supersample;
    settings.clip = frames;
    settings.size = line.size;
    settings.reducedFlashing = line.reducedFlashing;
    settings.onProgress = [&](std::int64_t rendered) { progress.Update(rendered); };
    // The piece's message boxes are told, never shown: nobody is there to dismiss them.
    settings.onMessageBox = [&](const char* text, const char* caption) {
        progress.Break();
        Say(std::string("the piece shows a message box: \"") + text + "\" (" + caption + ")");
    };
    if (!line.flashReport.empty()) {
        return FlashReport(line, settings, progress);
    }
    RunResult result = Run(settings, *sink);
    progress.Finish(result.framesDrawn);
    // A video's sound is what the piece played.
    if (result.ok && !partial.empty() && line.segment.count == 0) {
        noSound = SayWhyNoSound(result.audio);
    }
    if (result.ok && sink && !partial.empty() && noSound.empty() && line.segment.count == 0 &&
        result.written > 0) {
        const FrameRange written{frames.first, frames.first + result.written};
        result.ok = AddSoundtrack(line, written, result.audio.file, &partial, &result.error);
    }
    return Conclude(result, line, frames, partial, noSound);
}

int Join(const CommandLine& line) {
    EncodeSettings encode = line.encode;
    encode.ffmpeg = FindExecutable("ffmpeg");
    const std::string ffprobe = FindExecutable("ffprobe");
    if (encode.ffmpeg.empty() || ffprobe.empty()) {
        Say("cannot join parts: no ffmpeg and ffprobe on PATH. Install FFmpeg");
        return kExitFailed;
    }
    JoinPlan plan;
    std::string error;
    if (!PlanJoin(ffprobe, line.parts, &plan, &error)) {
        Say(error);
        Say("nothing written to " + line.output);
        return kExitUsage;
    }
    std::string partial, list;
    if (!MakePartialFile(line.output, &partial, &error) ||
        !WriteConcatList(line.parts, line.output, &list, &error)) {
        Say(error);
        if (!partial.empty()) {
            unlink(partial.c_str());
        }
        return kExitFailed;
    }
    // The sound the piece would play here.
    const host::AudioRecord audio = StartSoundtrackAlone();
    const std::string noSound = SayWhyNoSound(audio);
    if (noSound.empty()) {
        encode.audioFile = audio.file;
    }
    encode.container = line.kind == OutputKind::Mkv ? Container::Mkv : Container::Mp4;
    encode.output = partial;
    encode.rate = plan.rate;
    encode.firstFrame = plan.clip.first;
    encode.frames = plan.clip.count();
    encode.concatList = list;
    Say("joining " + std::to_string(line.parts.size()) + " parts, frames " +
        std::to_string(plan.clip.first) + " to " + std::to_string(plan.clip.end - 1) + ", into " +
        line.output);
    ChildPipe ffmpeg;
    std::string log;
    const bool ok = ffmpeg.Start(FfmpegArguments(encode, plan.width, plan.height), &error) &&
                    ffmpeg.Finish(&log) == 0;
    unlink(list.c_str());
    RunResult result;
    result.ok = ok;
    result.written = plan.clip.count();
    result.error = !error.empty() ? error : "ffmpeg failed:\n" + log;
    return Conclude(result, line, plan.clip, partial, noSound);
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
    return line.parts.empty() ? Capture(line) : Join(line);
}
