#include "cli.h"

#include "presets.h"

#include <cstdio>
#include <cstring>

namespace capture {
namespace {

const int kMostFps = 1000;  // a frame a millisecond: the piece's clock goes no finer
const int kMostPixels = 8192;
const double kMostScale = 8;
const std::int64_t kMostSeconds = 1000000;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A whole number of digits only, no sign, no spaces; false when it is larger than most.
bool ParseWhole(const std::string& text, std::int64_t most, std::int64_t* value) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    std::int64_t number = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            return false;
        }
        number = number * 10 + (c - '0');
    }
    *value = number;
    return number <= most;
}

// Seconds as a decimal ("31.15", "5", ".5"), to the nearest millisecond. Read digit by digit, so
// that 31.15 is 31 150 ms exactly rather than whatever a binary double makes of it.
bool ParseSeconds(const std::string& text, std::int64_t* ms) {
    const size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    if (whole.empty() && fraction.empty()) {
        return false;
    }
    std::int64_t seconds = 0;
    if (!whole.empty() && !ParseWhole(whole, kMostSeconds, &seconds)) {
        return false;
    }
    std::int64_t thousandths = 0;
    for (size_t i = 0; i < fraction.size(); ++i) {
        if (!IsDigit(fraction[i])) {
            return false;
        }
        if (i < 3) {
            thousandths = thousandths * 10 + (fraction[i] - '0');
        }
    }
    for (size_t i = fraction.size(); i < 3; ++i) {
        thousandths *= 10;
    }
    const bool roundUp = fraction.size() > 3 && fraction[3] >= '5';
    *ms = seconds * 1000 + thousandths + (roundUp ? 1 : 0);
    return true;
}

// WIDTHxHEIGHT, or a factor of the rendered size.
bool ParseSize(const std::string& text, OutputSize* size) {
    const size_t x = text.find('x');
    if (x != std::string::npos) {
        std::int64_t width = 0, height = 0;
        if (!ParseWhole(text.substr(0, x), kMostPixels, &width) ||
            !ParseWhole(text.substr(x + 1), kMostPixels, &height) || width < 2 || height < 2) {
            return false;
        }
        size->width = static_cast<int>(width);
        size->height = static_cast<int>(height);
        size->scale = 0;
        return true;
    }
    // The factor as thousandths, read as seconds are.
    std::int64_t thousandths = 0;
    if (!ParseSeconds(text, &thousandths) || thousandths <= 0 ||
        thousandths > static_cast<std::int64_t>(kMostScale * 1000)) {
        return false;
    }
    size->width = size->height = 0;
    size->scale = static_cast<double>(thousandths) / 1000.0;
    return true;
}

bool EndsWith(const std::string& text, const char* tail) {
    const size_t length = std::strlen(tail);
    if (text.size() < length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        char c = text[text.size() - length + i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != tail[i]) {
            return false;
        }
    }
    return true;
}

// Milliseconds as the shortest decimal of seconds: 31150 gives "31.15".
std::string SecondsText(std::int64_t ms) {
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms % 1000));
        text += fraction;
        while (text.back() == '0') {
            text.pop_back();
        }
    }
    return text;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
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

}  // namespace

bool ParseCommandLine(int argc, char** argv, CommandLine* line, std::string* error) {
    bool haveOutput = false;
    if (!ApplyPreset(argc, argv, line, error)) {
        return false;
    }
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        std::string value;
        bool inlineValue = false;
        const size_t equals = option.find('=');
        if (option.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option = option.substr(0, equals);
            inlineValue = true;
        }
        if (option == "--help" || option == "-h") {
            line->help = true;
            return true;
        }
        if (option == "--version") {
            line->version = true;
            return true;
        }
        if ((option == "--flash-report-strict" || option == "--reduced-flashing") && !inlineValue) {
            (option == "--reduced-flashing" ? line->reducedFlashing : line->flashStrict) = true;
            continue;
        }
        const bool takesValue = option == "--fps" || option == "--from" || option == "--to" ||
                                option == "--size" || option == "-o" || option == "--output" ||
                                option == "--preset" || option == "--flash-report";
        if (!takesValue) {
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
        if (option == "--preset") {
            continue;  // applied already
        }
        if (option == "--fps") {
            std::int64_t fps = 0;
            if (!ParseWhole(value, kMostFps, &fps) || fps < 1) {
                *error = "--fps wants a whole number of frames a second from 1 to " +
                         std::to_string(kMostFps) + ", not " + Quoted(value);
                return false;
            }
            line->fps = static_cast<int>(fps);
        } else if (option == "--from" || option == "--to") {
            std::int64_t ms = 0;
            if (!ParseSeconds(value, &ms)) {
                *error = option + " wants a time in seconds from 0 on (like 31.15), not " +
                         Quoted(value);
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
        } else {
            if (value.empty()) {
                *error = option + " needs a file or folder name";
                return false;
            }
            (option == "--flash-report" ? line->flashReport : line->output) = value;
            haveOutput = haveOutput || option != "--flash-report";
        }
    }
    if (!line->flashReport.empty() && haveOutput) {
        *error = "--flash-report analyses the frames instead of writing them: leave out -o";
        return false;
    }
    if (line->flashStrict && line->flashReport.empty()) {
        *error = "--flash-report-strict goes with --flash-report FILE.csv";
        return false;
    }
    if (!haveOutput && line->flashReport.empty()) {
        *error = "no output given: -o NAME.mp4 for a video, -o FOLDER for PNG frames";
        return false;
    }
    line->kind = EndsWith(line->output, ".mp4") ? OutputKind::Mp4 : OutputKind::PngFolder;
    if (line->toMs >= 0 && line->fromMs >= line->toMs) {
        *error = "--from " + SecondsText(line->fromMs) + " must come before --to " +
                 SecondsText(line->toMs);
        return false;
    }
    const FrameRange clip = ClipFrames(line->fromMs, line->toMs, line->fps);
    if (clip.count() <= 0) {
        *error = "nothing to capture: the clip holds no frame of the piece, which ends at " +
                 PieceEndText() + " s";
        return false;
    }
    if (line->kind == OutputKind::Mp4 && line->size.width > 0 &&
        (line->size.width % 2 != 0 || line->size.height % 2 != 0)) {
        *error = "an MP4 (H.264, yuv420p) needs an even width and height, not --size " +
                 std::to_string(line->size.width) + "x" + std::to_string(line->size.height);
        return false;
    }
    return true;
}

std::string UsageText() {
    return "Usage: flimrevo-capture [options] -o OUTPUT\n"
           "\n"
           "Renders flimrevo headless, frame by frame at a fixed rate, on a clock of its own:\n"
           "frame n shows n * 1000 / fps milliseconds (rounded down), however long it takes to\n"
           "render, and the piece ends itself in its first frame after " +
           PieceEndText() +
           " s.\n"
           "\n"
           "  -o, --output OUTPUT  NAME.mp4: an H.264 (yuv420p) video with the soundtrack\n"
           "                       brumlevo.mp3 from the working directory, as AAC, through the\n"
           "                       ffmpeg found on PATH. An existing NAME.mp4 is overwritten,\n"
           "                       once the new video is finished: a capture that fails leaves\n"
           "                       it as it was. Anything else: a folder (made when missing) of\n"
           "                       PNG frames frame-00000.png, frame-00001.png, ... from the\n"
           "                       clip's first frame on; earlier frame files there go first.\n"
           "                       The name is taken as it is, whatever it holds (file:, a\n"
           "                       leading -).\n"
           "  --fps N              frames a second, 1 to 1000 (default 60)\n"
           "  --from SECONDS       the clip's start (default 0); the frames before it are\n"
           "                       rendered too, since what the cues set carries over\n"
           "  --to SECONDS         the clip's end, not included (default: the piece's end)\n"
           "  --size WxH | FACTOR  the output's size (default: as rendered, 1024x768): WxH fits\n"
           "                       the picture inside with its aspect kept, borders black; a\n"
           "                       factor like 0.25 scales it, to even sizes\n"
           "  --preset NAME        a named set of settings for one use of the video; the\n"
           "                       options given with it change any of them:\n" +
           PresetsHelp() +
           "  --reduced-flashing   the piece as `flimrevo --reduced-flashing` shows it: large\n"
           "                       parts of the picture may flash only so often\n"
           "  --flash-report FILE.csv  instead of a video, the frames' flashes as WCAG 2.3.1\n"
           "                       counts them: per frame its mean relative luminance and the\n"
           "                       general and red flashes in the second from it, into\n"
           "                       FILE.csv; the worst second and the verdict (more than 3\n"
           "                       flashes of one kind in a second fails) on standard output\n"
           "  --flash-report-strict  exit 4 when the frames fail\n"
           "  -h, --help           this text\n"
           "  --version            the version\n"
           "\n"
           "Progress goes to standard error. Exit codes: 0 done; 1 failed (the message says\n"
           "why; nothing unfinished is left); 2 a wrong command line; 3 the video was written\n"
           "without sound, because the piece would play none (brumlevo.mp3 missing, or not\n"
           "sound it can play); 4 the flash report's frames fail, with --flash-report-strict;\n"
           "130 interrupted (Ctrl+C, SIGTERM), the frames so far kept, the sound ending with\n"
           "them.\n";
}

}  // namespace capture
