// flimrevo-capture --help.
#include "cli.h"
#include "presets.h"

namespace capture {

std::string UsageText() {
    return "Usage: flimrevo-capture [options] -o OUTPUT\n"
           "       flimrevo-capture --join PART.mkv... -o OUTPUT\n"
           "\n"
           "Renders flimrevo headless, frame by frame at a fixed rate, on a clock of its own:\n"
           "frame n shows n * 1000 / fps milliseconds (rounded down), however long it takes to\n"
           "render, and the piece ends itself in its first frame after " +
           PieceEndText() +
           " s.\n"
           "\n"
           "  -o, --output OUTPUT  NAME.mp4: an H.264 (yuv420p) video with the soundtrack\n"
           "                       brumlevo.mp3 from the working directory, as AAC, through the\n"
           "                       ffmpeg found on PATH. NAME.mkv: lossless, RGB as FFV1 (the\n"
           "                       same pixels as the PNG frames) with the soundtrack as FLAC.\n"
           "                       An existing video is overwritten once the new one is\n"
           "                       finished: a capture that fails leaves it as it was.\n"
           "                       Anything else: a folder (made when missing) of PNG frames\n"
           "                       frame-00000.png, frame-00001.png, ... from the clip's first\n"
           "                       frame on; earlier frame files there go first. The name is\n"
           "                       taken as it is, whatever it holds (file:, a leading -).\n"
           "  --fps RATE           frames a second from 1 to 1000, whole or a fraction like\n"
           "                       60000/1001 (default 60); the sound keeps in step to the\n"
           "                       sample\n"
           "  --from SECONDS       the clip's start (default 0); the frames before it are\n"
           "                       drawn too, since what the cues set carries over, but\n"
           "                       cheaply: into one pixel, never read\n"
           "  --to SECONDS         the clip's end, not included (default: the piece's end)\n"
           "  --size WxH | FACTOR  the output's size (default 1024x768): WxH fits the picture\n"
           "                       inside with its aspect kept, borders black; a factor like\n"
           "                       0.25 scales it, to even sizes. The piece draws at that\n"
           "                       size, its lines as wide in proportion as at 1024x768\n"
           "  --supersample N      draws at N times the size (1 to 4, default 1) and averages\n"
           "                       each N x N block down, for smoother edges\n"
           "  --preset NAME        a named set of settings for one use of the video; the\n"
           "                       options given with it change any of them:\n" +
           PresetsHelp() +
           "  --motion-blur S[:ANGLE]\n"
           "                       each frame the average, in linear light, of S sub-frames\n"
           "                       drawn while a shutter of ANGLE degrees (1 to 360, default\n"
           "                       180) of the frame's interval is open, at whole\n"
           "                       milliseconds: S may not exceed the milliseconds the\n"
           "                       shutter holds\n"
           "  --segment K/N        only part K of N contiguous parts of the clip's frames, into\n"
           "                       a lossless part file -o NAME.mkv (no sound); run the N parts\n"
           "                       anywhere, with the same options, then --join them\n"
           "  --join PART.mkv...   the final video (-o NAME.mp4 or NAME.mkv) from all the parts\n"
           "                       of one capture, in order, with the soundtrack; the settings\n"
           "                       come from the parts, which are checked to fit together\n"
           "  -h, --help           this text\n"
           "  --version            the version\n"
           "\n"
           "Progress goes to standard error. Exit codes: 0 done; 1 failed (the message says\n"
           "why; nothing unfinished is left); 2 a wrong command line, or parts that do not fit\n"
           "together; 3 the video was written without sound, because the piece would play none\n"
           "(brumlevo.mp3 missing, or not sound it can play); 130 interrupted (Ctrl+C,\n"
           "SIGTERM), the frames so far kept, the sound ending with them (a part keeps\n"
           "nothing).\n";
}

}  // namespace capture
