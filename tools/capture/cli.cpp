#include "cli.h"

#include "cli_values.h"
#include "presets.h"

#include <cstdio>
#include <cstring>

namespace capture {
namespace {

const char* const kValueOptions[] = {
    "--fps",         "--from",        "--to",     "--size",        "-o", "--output", "--segment",
    "--motion-blur", "--supersample", "--preset", "--flash-report"};
const int kMostSupersample = 4;
const int kMostPicture = 16384;  // pixels on a side: what software GL draws into at most

bool TakesValue(const std::string& option) {
    for (const char* name : kValueOptions) {
        if (option == name) {
            return true;
        }
    }
    return false;
}

// Applies the last --preset of the command line to *line, before anything else is read.
bool ApplyPreset(int argc, char** argv, CommandLine* line, std::string* error) {
    const Preset* found = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string name;
        if (arg.compare(0, 9, "--preset=") == 0) {
            name = arg.substr(9);
        } else if (arg == "--preset" && i + 1 < argc) {
            name = argv[++i];
        } else {
            continue;
        }
        found = FindPreset(name);
        if (found == nullptr) {
            std::string known;
            for (const Preset& preset : Presets()) {
                known += (known.empty() ? "" : ", ") + std::string(preset.name);
            }
            *error = "unknown preset " + Quoted(name) + " (there are: " + known + ")";
            return false;
        }
    }
    if (found != nullptr) {
        found->apply(line);
    }
    return true;
}

// One option's value into *line; false with *error when it cannot be taken.
bool TakeValue(const std::string& option, const std::string& value, CommandLine* line,
               std::string* error) {
    if (option == "--preset") {
        return true;  // applied already
    }
    if (option == "--fps") {
        if (!ParseRate(value, &line->rate)) {
            *error = "--fps wants frames a second from 1 to " + std::to_string(kMostFps) +
                     ", whole (60) or a fraction (60000/1001), not " + Quoted(value);
            return false;
        }
    } else if (option == "--from" || option == "--to") {
        std::int64_t ms = 0;
        if (!ParseSeconds(value, &ms)) {
            *error =
                option + " wants a time in seconds from 0 on (like 31.15), not " + Quoted(value);
            return false;
        }
        (option == "--from" ? line->fromMs : line->toMs) = ms;
    } else if (option == "--size") {
        if (!ParseSize(value, &line->size)) {
            *error = "--size wants WIDTHxHEIGHT (like 512x384, each from 2 to " +
                     std::to_string(kMostPixels) +
                     ") or a factor of the picture (like 0.5, up to 8), not " + Quoted(value);
            return false;
        }
    } else if (option == "--motion-blur") {
        std::int64_t samples = 0, angle = 180;
        if (!ParsePair(value, ':', kMostFps, &samples, &angle) || samples < 1 || angle < 1 ||
            angle > 360) {
            *error =
                "--motion-blur wants SUBFRAMES[:ANGLE] (like 4 or 8:270; the angle in "
                "degrees from 1 to 360), not " +
                Quoted(value);
            return false;
        }
        line->shutter = Shutter{static_cast<int>(samples), static_cast<int>(angle)};
    } else if (option == "--supersample") {
        std::int64_t factor = 0;
        if (!ParseWhole(value, kMostSupersample, &factor) || factor < 1) {
            *error = "--supersample wants a whole number from 1 to " +
                     std::to_string(kMostSupersample) + ", not " + Quoted(value);
            return false;
        }
        line->supersample = static_cast<int>(factor);
    } else if (option == "--segment") {
        std::int64_t index = 0, count = 0;
        if (value.find('/') == std::string::npos ||
            !ParsePair(value, '/', kMostFps * 100, &index, &count) || index < 1 || index > count) {
            *error = "--segment wants K/N, part K of N with K from 1 to N (like 2/3), not " +
                     Quoted(value);
            return false;
        }
        line->segment = Segment{static_cast<int>(index), static_cast<int>(count)};
    } else {
        if (value.empty()) {
            *error = option + " needs a file or folder name";
            return false;
        }
        (option == "--flash-report" ? line->flashReport : line->output) = value;
    }
    return true;
}

// --flash-report and its strict exit go with a run of whole frames a second and no output.
bool CheckFlashReport(const CommandLine& line, std::string* error) {
    if (!line.flashReport.empty() &&
        (!line.output.empty() || !line.parts.empty() || line.segment.count > 0)) {
        *error =
            "--flash-report analyses the frames of one run instead of writing them: leave "
            "out -o, --segment and --join";
        return false;
    }
    if (!line.flashReport.empty() && line.rate.num % line.rate.den != 0) {
        *error =
            "--flash-report counts the flashes in each second of whole frames: a whole --fps, "
            "not " +
            RateText(line.rate);
        return false;
    }
    if (line.flashStrict && line.flashReport.empty()) {
        *error = "--flash-report-strict goes with --flash-report FILE.csv";
        return false;
    }
    return true;
}

// The motion blur's sub-frames fit the shutter, and a part is a lossless share of the clip.
bool CheckShutterAndPart(const CommandLine& line, const FrameRange& clip, std::string* error) {
    const Shutter shutter = line.shutter;
    const int most = shutter.samples > 1 ? MostSamples(line.rate, shutter.angle) : 1;
    if (shutter.samples > most) {
        *error = "--motion-blur " + std::to_string(shutter.samples) + ":" +
                 std::to_string(shutter.angle) + " is more sub-frames than the shutter has " +
                 "milliseconds: the piece's clock counts whole milliseconds, and at " +
                 RateText(line.rate) + " fps a " + std::to_string(shutter.angle) +
                 "-degree shutter holds " + std::to_string(most) +
                 " of them in the shortest frames, so at most " + std::to_string(most) +
                 " sub-frames (or a wider angle, or a lower frame rate)";
        return false;
    }
    if (line.segment.count > 0) {
        if (line.kind != OutputKind::Mkv) {
            *error =
                "a part (--segment) is written lossless: -o NAME.mkv, not " + Quoted(line.output);
            return false;
        }
        if (line.segment.count > clip.count()) {
            *error = "--segment " + std::to_string(line.segment.index) + "/" +
                     std::to_string(line.segment.count) + ": the clip has only " +
                     std::to_string(clip.count()) + " frames to share out";
            return false;
        }
    }
    return true;
}

// What the options together must make sense as, once all are read.
bool CheckTogether(CommandLine* line, std::string* error) {
    if (!CheckFlashReport(*line, error)) {
        return false;
    }
    if (line->output.empty() && line->flashReport.empty()) {
        *error = "no output given: -o NAME.mp4 or NAME.mkv for a video, -o FOLDER for PNG frames";
        return false;
    }
    line->kind = EndsWith(line->output, ".mp4")   ? OutputKind::Mp4
                 : EndsWith(line->output, ".mkv") ? OutputKind::Mkv
                                                  : OutputKind::PngFolder;
    if (!line->parts.empty()) {
        if (line->kind == OutputKind::PngFolder) {
            *error = "--join writes NAME.mp4 or NAME.mkv, not " + Quoted(line->output);
            return false;
        }
        return true;
    }
    if (line->lossless && line->kind != OutputKind::Mkv) {
        *error = "the preset is lossless: -o NAME.mkv, not " + Quoted(line->output);
        return false;
    }
    if (line->toMs >= 0 && line->fromMs >= line->toMs) {
        *error = "--from " + SecondsText(line->fromMs) + " must come before --to " +
                 SecondsText(line->toMs);
        return false;
    }
    const FrameRange clip = ClipFrames(line->fromMs, line->toMs, line->rate);
    if (clip.count() <= 0) {
        *error = "nothing to capture: the clip holds no frame of the piece, which ends at " +
                 PieceEndText() + " s";
        return false;
    }
    if (line->kind != OutputKind::PngFolder && line->size.width > 0 &&
        (line->size.width % 2 != 0 || line->size.height % 2 != 0)) {
        *error = "a video needs an even width and height, not --size " +
                 std::to_string(line->size.width) + "x" + std::to_string(line->size.height);
        return false;
    }
    int outWidth = 0, outHeight = 0, width = 0, height = 0;
    ResolveSize(line->size, kModeWidth, kModeHeight, &outWidth, &outHeight);
    PictureSize(outWidth, outHeight, line->supersample, &width, &height);
    if (width > kMostPicture || height > kMostPicture) {
        *error = "--supersample " + std::to_string(line->supersample) + " at " +
                 std::to_string(outWidth) + "x" + std::to_string(outHeight) + " draws " +
                 std::to_string(width) + "x" + std::to_string(height) + ", more than " +
                 std::to_string(kMostPicture) + " pixels on a side";
        return false;
    }
    return CheckShutterAndPart(*line, clip, error);
}

}  // namespace

FrameRange PartFrames(const FrameRange& clip, int index, int count) {
    FrameRange part;
    part.first = clip.first + clip.count() * (index - 1) / count;
    part.end = clip.first + clip.count() * index / count;
    return part;
}

FrameRange OutputFrames(const CommandLine& line) {
    const FrameRange clip = ClipFrames(line.fromMs, line.toMs, line.rate);
    return line.segment.count > 0 ? PartFrames(clip, line.segment.index, line.segment.count) : clip;
}

namespace {

// An argument as option and value: "--name=value" carries its value with it.
struct Argument {
    std::string option, value;
    bool inlineValue = false;
};

Argument Split(const std::string& argument) {
    const size_t equals = argument.find('=');
    if (argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
        return {argument.substr(0, equals), argument.substr(equals + 1), true};
    }
    return {argument, "", false};
}

// The part files after --join: every argument up to the next option.
bool TakeParts(int argc, char** argv, int* i, CommandLine* line, std::string* error) {
    for (; *i + 1 < argc && argv[*i + 1][0] != '-'; ++*i) {
        line->parts.push_back(argv[*i + 1]);
    }
    if (line->parts.empty()) {
        *error = "--join needs the part files, in order";
        return false;
    }
    return true;
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, CommandLine* line, std::string* error) {
    std::string setting;  // the first option given other than the output
    if (!ApplyPreset(argc, argv, line, error)) {
        return false;
    }
    for (int i = 1; i < argc; ++i) {
        auto [option, value, inlineValue] = Split(argv[i]);
        if (option == "--help" || option == "-h") {
            line->help = true;
            return true;
        }
        if (option == "--version") {
            line->version = true;
            return true;
        }
        if (option == "--join") {
            if (!TakeParts(argc, argv, &i, line, error)) {
                return false;
            }
            continue;
        }
        if ((option == "--flash-report-strict" || option == "--reduced-flashing") && !inlineValue) {
            (option == "--reduced-flashing" ? line->reducedFlashing : line->flashStrict) = true;
            setting = setting.empty() ? option : setting;
            continue;
        }
        if (!TakesValue(option)) {
            *error = option.compare(0, 1, "-") == 0 && option.size() > 1
                         ? "unknown option " + Quoted(option)
                         : "unexpected argument " + Quoted(option) + " (the output goes after -o)";
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                *error = option + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (option != "-o" && option != "--output" && setting.empty()) {
            setting = option;
        }
        if (!TakeValue(option, value, line, error)) {
            return false;
        }
    }
    if (!line->parts.empty() && !setting.empty()) {
        *error = "--join takes its settings from the parts: only -o goes with it, not " + setting;
        return false;
    }
    return CheckTogether(line, error);
}

}  // namespace capture
