// flimrevo-capture's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture.h"
#include "ffmpeg_sink.h"

namespace capture {

enum class OutputKind {
    Mp4,        // -o NAME.mp4: H.264 and the soundtrack, through ffmpeg
    Mkv,        // -o NAME.mkv: lossless RGB (FFV1) and the soundtrack as FLAC, through ffmpeg
    PngFolder,  // -o anything else: a folder of numbered PNG frames
};

// --segment K/N: the K-th of N contiguous parts of the clip's frames (count 0: the whole clip).
struct Segment {
    int index = 0;
    int count = 0;
};

struct CommandLine {
    Rate rate{60};
    Shutter shutter;
    std::int64_t fromMs = 0;
    std::int64_t toMs = -1;  // -1: to the piece's end
    OutputSize size;
    int supersample = 1;
    Segment segment;
    std::vector<std::string> parts;  // --join PARTS...
    std::string output;
    OutputKind kind = OutputKind::Mp4;
    // How an MP4 is encoded; the capture fills in the rest (ffmpeg, output, clip, sound).
    EncodeSettings encode;
    bool lossless = false;         // only -o NAME.mkv goes
    std::string flashReport;       // --flash-report FILE.csv: analyse the flashes instead
    bool flashStrict = false;      // --flash-report-strict: exit 4 when the piece fails
    bool reducedFlashing = false;  // --reduced-flashing
    bool help = false;
    bool version = false;
};

// The frames the command writes: the clip, or its part.
FrameRange OutputFrames(const CommandLine& line);

// The frames of part index (1 to count) of clip: contiguous, in order, their sizes differing by
// at most one.
FrameRange PartFrames(const FrameRange& clip, int index, int count);

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;         // nothing, or not all, written: see the message
constexpr int kExitUsage = 2;          // the command line is wrong; nothing was done
constexpr int kExitNoSound = 3;        // the video was written, without its soundtrack
constexpr int kExitFlashes = 4;        // with --flash-report-strict: the frames flash too much
constexpr int kExitInterrupted = 130;  // Ctrl+C or SIGTERM: the frames so far were written

// Fills *line from argv, starting from the settings of the --preset given, if any. False with
// *error for anything it cannot take, and for a command that would capture nothing; --help and
// --version need nothing else.
bool ParseCommandLine(int argc, char** argv, CommandLine* line, std::string* error);

std::string UsageText();

}  // namespace capture
