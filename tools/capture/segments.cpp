#include "segments.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>

#include "child_pipe.h"

namespace capture {
namespace {

const char kPart[] = "FLIMREVO_PART";         // K/N
const char kFrames[] = "FLIMREVO_FRAMES";     // the part's frames: FIRST-END
const char kSettings[] = "FLIMREVO_CAPTURE";  // everything that makes the capture's frames
const char kRate[] = "FLIMREVO_RATE";         // NUM/DEN
const char kClip[] = "FLIMREVO_CLIP";         // the whole clip's frames: FIRST-END

std::string RangeText(const FrameRange& range) {
    return std::to_string(range.first) + "-" + std::to_string(range.end);
}

std::string SizeText(const OutputSize& size) {
    if (size.width > 0) {
        return std::to_string(size.width) + "x" + std::to_string(size.height);
    }
    return size.scale > 0 ? std::to_string(size.scale) : "as-rendered";
}

// Two whole numbers separated by `separator`, the first at least 0 and the second more.
bool ParseTwo(const std::string& text, char separator, std::int64_t* a, std::int64_t* b) {
    const size_t at = text.find(separator);
    if (at == std::string::npos || at == 0 || at + 1 == text.size()) {
        return false;
    }
    char* end = nullptr;
    *a = std::strtoll(text.c_str(), &end, 10);
    if (end != text.c_str() + at) {
        return false;
    }
    *b = std::strtoll(text.c_str() + at + 1, &end, 10);
    return *end == '\0' && *a >= 0 && *b > 0;
}

struct Part {
    std::string path;
    std::map<std::string, std::string> tags;
    std::int64_t frames = -1;  // as counted in the file
    int width = 0, height = 0;
    std::int64_t index = 0, count = 0;
    FrameRange range;
};

// The part's tags and frames as ffprobe reads them.
bool ReadPart(const std::string& ffprobe, const std::string& path, Part* part, std::string* error) {
    std::string output, log;
    const int status =
        RunForOutput({ffprobe, "-v", "error", "-count_packets", "-select_streams", "v:0",
                      "-show_entries", "stream=width,height,nb_read_packets:format_tags", "-of",
                      "default=noprint_wrappers=1", "file:" + path},
                     &output, &log);
    if (status != 0) {
        *error = log.empty() ? path + " is not a video ffprobe can read" : log;
        return false;
    }
    part->path = path;
    for (size_t begin = 0; begin < output.size();) {
        size_t end = output.find('\n', begin);
        end = end == std::string::npos ? output.size() : end;
        const std::string line = output.substr(begin, end - begin);
        begin = end + 1;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key.compare(0, 4, "TAG:") == 0) {
            part->tags[key.substr(4)] = value;
        } else if (key == "nb_read_packets") {
            part->frames = std::atoll(value.c_str());
        } else if (key == "width" || key == "height") {
            (key == "width" ? part->width : part->height) = std::atoi(value.c_str());
        }
    }
    std::int64_t first = 0, end = 0;
    if (!ParseTwo(part->tags[kPart], '/', &part->index, &part->count) ||
        !ParseTwo(part->tags[kFrames], '-', &first, &end) || part->tags[kSettings].empty() ||
        part->index < 1 || part->index > part->count || end <= first) {
        *error = path + " is not a part made by flimrevo-capture --segment";
        return false;
    }
    part->range = FrameRange{first, end};
    if (part->frames != part->range.count()) {
        *error = path + " is unfinished: it holds " +
                 std::to_string(std::max<std::int64_t>(0, part->frames)) + " of its " +
                 std::to_string(part->range.count()) + " frames";
        return false;
    }
    return true;
}

std::string PartName(std::int64_t index, std::int64_t count) {
    return "part " + std::to_string(index) + "/" + std::to_string(count);
}

// All parts of one capture, each once, in order, their frames following on.
bool CheckOrder(const std::vector<Part>& parts, std::string* error) {
    const std::int64_t count = parts[0].count;
    std::vector<int> seen(static_cast<size_t>(count) + 1, 0);
    for (const Part& part : parts) {
        if (++seen[static_cast<size_t>(part.index)] == 2) {
            *error = PartName(part.index, count) + " is given twice (" + part.path + ")";
            return false;
        }
    }
    for (std::int64_t index = 1; index <= count; ++index) {
        if (seen[static_cast<size_t>(index)] == 0) {
            *error = PartName(index, count) + " is missing: the capture was made in " +
                     std::to_string(count) + " parts, and all of them go into a join";
            return false;
        }
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].index != static_cast<std::int64_t>(i) + 1) {
            *error = parts[i].path + " is " + PartName(parts[i].index, count) +
                     " but is given in place of " +
                     PartName(static_cast<std::int64_t>(i) + 1, count) +
                     ": give the parts in order";
            return false;
        }
        if (i > 0 && parts[i].range.first != parts[i - 1].range.end) {
            *error = parts[i].path + " does not follow on from " + parts[i - 1].path;
            return false;
        }
    }
    return true;
}

}  // namespace

Tags PartTags(const CommandLine& line) {
    const FrameRange clip = ClipFrames(line.fromMs, line.toMs, line.rate);
    const std::string settings = "fps=" + RateText(line.rate) + " frames=" + RangeText(clip) +
                                 " size=" + SizeText(line.size) +
                                 " motion-blur=" + std::to_string(line.shutter.samples) + ":" +
                                 std::to_string(line.shutter.angle) + " version=" FLIMREVO_VERSION;
    return {{kSettings, settings},
            {kRate, std::to_string(line.rate.num) + "/" + std::to_string(line.rate.den)},
            {kClip, RangeText(clip)},
            {kPart, std::to_string(line.segment.index) + "/" + std::to_string(line.segment.count)},
            {kFrames, RangeText(OutputFrames(line))}};
}

bool PlanJoin(const std::string& ffprobe, const std::vector<std::string>& paths, JoinPlan* plan,
              std::string* error) {
    std::vector<Part> parts(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!ReadPart(ffprobe, paths[i], &parts[i], error)) {
            return false;
        }
        Part& first = parts[0];
        if (parts[i].tags[kSettings] != first.tags[kSettings] || parts[i].count != first.count ||
            parts[i].width != first.width || parts[i].height != first.height) {
            *error = parts[i].path + " and " + first.path +
                     " are parts of different captures:\n  " + parts[i].tags[kSettings] + " in " +
                     std::to_string(parts[i].count) + " parts\n  " + first.tags[kSettings] +
                     " in " + std::to_string(first.count) + " parts";
            return false;
        }
    }
    if (!CheckOrder(parts, error)) {
        return false;
    }
    std::int64_t first = 0, end = 0;
    if (!ParseTwo(parts[0].tags[kRate], '/', &plan->rate.num, &plan->rate.den) ||
        !ParseTwo(parts[0].tags[kClip], '-', &first, &end) || parts[0].range.first != first ||
        parts.back().range.end != end) {
        *error = parts[0].path + " is not a part made by flimrevo-capture --segment";
        return false;
    }
    plan->clip = FrameRange{first, end};
    plan->width = parts[0].width;
    plan->height = parts[0].height;
    return true;
}

bool WriteConcatList(const std::vector<std::string>& parts, const std::string& output,
                     std::string* list, std::string* error) {
    const size_t slash = output.rfind('/');
    *list = (slash == std::string::npos ? "" : output.substr(0, slash + 1)) + ".parts-XXXXXX";
    const int fd = mkostemp(&(*list)[0], O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot write beside " + output + ": " + std::strerror(errno);
        return false;
    }
    char cwd[PATH_MAX];
    const std::string here = getcwd(cwd, sizeof cwd) ? cwd : ".";
    std::string text = "ffconcat version 1.0\n";
    for (const std::string& part : parts) {
        // Absolute, since the list's own folder is where relative names would start; quoted,
        // with each ' written as '\''.
        std::string path = "file:" + (part[0] == '/' ? part : here + "/" + part);
        text += "file '";
        for (char c : path) {
            text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        text += "'\n";
    }
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    if (!ok) {
        *error = "cannot write beside " + output + ": " + std::strerror(errno);
        unlink(list->c_str());
    }
    return ok;
}

}  // namespace capture
