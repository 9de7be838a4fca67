// flimrevo-flashes VIDEO|FOLDER [--csv FILE] [--fps RATE] [--strict]: the flash count of an
// existing video (its frames at their own times) or a folder of PNG frames (at --fps), with the
// output of flimrevo-capture --flash-report: the CSV, the worst second and the verdict.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "flash_text.h"
#include "source.h"

namespace {

const int kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitFlashes = 4;

const char kUsage[] =
    "usage: flimrevo-flashes VIDEO|FOLDER [--csv FILE] [--fps RATE] [--strict]\n"
    "Counts the flashes of a video, or of a folder of PNG frames in name order, as WCAG 2.3.1\n"
    "counts them, and prints the worst second and the verdict.\n"
    "  --csv FILE   a line a frame: its time, mean luminance, and the flashes of each kind in\n"
    "               the second from it\n"
    "  --fps RATE   the frames' rate (25, 29.97 or 30000/1001): needed for a folder; for a\n"
    "               video, instead of its own timestamps\n"
    "  --strict     exit 4 when it fails\n"
    "Exit: 0, 4 (fails, with --strict), 1 (the input or the CSV cannot be read or written),\n"
    "2 (a wrong command line).\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "flimrevo-flashes: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

int Fail(const std::string& problem) {
    std::fprintf(stderr, "flimrevo-flashes: %s\n", problem.c_str());
    return kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    std::string input, csv;
    flashes::Rate rate;
    bool strict = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (arg == "--strict") {
            strict = true;
        } else if (arg == "--csv" || arg == "--fps") {
            if (i + 1 == argc) {
                return Usage(arg + " needs a value");
            }
            const std::string value = argv[++i];
            if (arg == "--csv") {
                csv = value;
            } else if (!flashes::ParseRate(value, &rate)) {
                return Usage("--fps " + value + ": not a frame rate");
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option " + arg);
        } else if (!input.empty()) {
            return Usage("one video or folder at a time");
        } else {
            input = arg;
        }
    }
    if (input.empty()) {
        return Usage("no video or folder given");
    }
    if (csv.empty() == false && csv == input) {
        return Usage("the CSV would overwrite the input");
    }
    struct stat info;
    if (stat(input.c_str(), &info) != 0) {
        return Fail("cannot read " + input + ": " + std::strerror(errno));
    }
    const bool folder = S_ISDIR(info.st_mode);
    if (folder && rate.frames == 0) {
        return Usage("a folder of frames needs --fps");
    }
    std::string error;
    std::unique_ptr<flashes::Source> source =
        folder ? flashes::OpenFolder(input, rate, &error) : flashes::OpenVideo(input, rate, &error);
    if (!source) {
        return Fail(error);
    }
    flash::Analyser analyser(source->width(), source->height(), 0);
    std::vector<std::uint8_t> rgba;
    std::int64_t microseconds = 0, last = -1;
    std::int64_t frames = 0;
    while (source->Next(&rgba, &microseconds, &error)) {
        if (microseconds <= last) {
            return Fail("cannot read " + input + ": frame " + std::to_string(frames) +
                        " does not come after the one before it");
        }
        last = microseconds;
        analyser.Add(rgba.data(), microseconds);
        ++frames;
    }
    if (!error.empty()) {
        return Fail("cannot read " + input + ": " + error);
    }
    if (frames == 0) {
        return Fail("cannot read " + input + ": no frames in it");
    }
    const flash::Report report = analyser.Finish();
    if (!csv.empty()) {
        const std::string text = capture::FlashCsv(report, 0);
        FILE* file = std::fopen(csv.c_str(), "w");
        const bool ok = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
        if ((file && std::fclose(file) != 0) || !ok) {
            return Fail("cannot write " + csv + ": " + std::strerror(errno));
        }
    }
    std::printf("%s: %lld frames, %d x %d\n", input.c_str(), static_cast<long long>(frames),
                source->width(), source->height());
    std::fputs(capture::FlashVerdict(report, 0).c_str(), stdout);
    return strict && !report.passes() ? kExitFlashes : kExitOk;
}
