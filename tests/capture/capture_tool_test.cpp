// flimrevo-capture as a user runs it: its PNGs and MP4s read back, its exit codes and messages.
// (Its output names, sound, interruption and a full disk: tests/e2e.)
#include <gtest/gtest.h>

#include <algorithm>

#include "frames.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;
using namespace capturetest;

TEST(CaptureTool, TwoSecondsAt30FpsToPngAreAFileAFrameAndASquareHasThePictureBetweenBorders) {
    Folder dir;
    ASSERT_EQ(Capture(dir, "--fps 30 --to 2 -o frames"), 0) << dir.Err();
    // Every frame showing less than 2000 ms, one file each, numbered from 0.
    const int frames = 60;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "frames"), {}), frames);
    int width = 0, height = 0;
    ReadFrame(dir / "frames", frames - 1, &width, &height);

    // Frame 0 shows t = 0: the default black clear colour and no cube at all.
    const auto first = ReadFrame(dir / "frames", 0, &width, &height);
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 768);
    EXPECT_EQ(std::count(first.begin(), first.end(), 0), static_cast<long>(first.size()));

    // A shorter capture into the same folder: the old frames go, other files stay.
    std::ofstream(dir / "frames/notes.txt") << "mine";
    ASSERT_EQ(Capture(dir, "--fps 30 --to 0.1 --size 64x48 -o frames"), 0) << dir.Err();
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir / "frames"))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"frame-00000.png", "frame-00001.png",
                                               "frame-00002.png", "notes.txt"}));

    // Into a square: the 256 x 192 capture's picture in the middle, borders black.
    ASSERT_EQ(Capture(dir, "--fps=30 --from=1.2 --to=1.25 --size=256x256 -o square"), 0);
    ASSERT_EQ(Capture(dir, "--fps=30 --from=1.2 --to=1.25 --size=256x192 -o fit"), 0);
    const auto square = ReadFrame(dir / "square", 0, &width, &height);
    ASSERT_EQ(width, 256);
    ASSERT_EQ(height, 256);
    const auto fit = ReadFrame(dir / "fit", 0, &width, &height);
    const size_t row = 256 * 3, border = 32 * row;
    EXPECT_TRUE(std::vector<std::uint8_t>(square.begin() + border, square.end() - border) == fit);
    EXPECT_EQ(std::count(square.begin(), square.begin() + border, 0), static_cast<long>(border));
    EXPECT_EQ(std::count(square.end() - border, square.end(), 0), static_cast<long>(border));
    EXPECT_FALSE(fit == std::vector<std::uint8_t>(fit.size(), 0));
}

// The presets on short clips: their sizes, rates, codecs and the party's pixel format, an option
// given with one overriding it, and the party's same bytes from a second run.
TEST(CaptureTool, PresetsMakeTheirVideosAndGiveWayToOptions) {
    Folder dir;
    const struct {
        const char* args;
        const char* file;
        const char* video;
    } cases[] = {
        {"--preset party-1080p --to 0.2", "a.mp4",
         "codec_name=h264|profile=High|width=1920|height=1080|r_frame_rate=60/1\n"},
        {"--preset party-1080p --to 0.2", "b.mp4",
         "codec_name=h264|profile=High|width=1920|height=1080|r_frame_rate=60/1\n"},
        {"--preset party-1080p --fps 30 --to 0.2", "c.mp4",
         "codec_name=h264|profile=High|width=1920|height=1080|r_frame_rate=30/1\n"},
        {"--preset youtube-4k --to 0.04", "y.mp4",
         "codec_name=h264|profile=High|width=3840|height=2160|r_frame_rate=60/1\n"},
        {"--preset archive --to 0.04", "z.mkv",
         "codec_name=ffv1|profile=unknown|width=1024|height=768|r_frame_rate=60/1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        ASSERT_EQ(Capture(dir, std::string(c.args) + " -o " + c.file), 0) << dir.Err();
        EXPECT_EQ(Probe(dir, c.file, "v", "stream=codec_name,profile,width,height,r_frame_rate"),
                  c.video);
    }
    EXPECT_EQ(Probe(dir, "a.mp4", "v", "stream=pix_fmt"), "pix_fmt=yuv420p\n");
    EXPECT_TRUE(Made(dir / "a.mp4") == Made(dir / "b.mp4"));
    EXPECT_EQ(Made(dir / "a.mp4").find("Lavf"), std::string::npos)
        << "ffmpeg's version in the file";
}

// The strobe, by hand. The cyan backdrop box (0, 0.8, 0.9) fills the picture until 31.0 s:
// linear (0, 0.604, 0.787), relative luminance 0.7152 x 0.604 + 0.0722 x 0.787 = 0.489. Then the
// clear colour shows, in 0.1 s steps from 31.0 s: black (0), red (0.2126; red measure 320,
// saturated), black, green (0.7152; red measure 0), black, blue (0.0722), black, red, black from
// 31.8 s. General transitions (a step of 0.1): 31.0, 31.1, 31.2, 31.3, 31.4, 31.7 and 31.8 s,
// seven within 0.8 s: 3.5 flashes, a fail; blue's 0.0722 is below the step. Red transitions
// (more than 20, saturated): 31.1, 31.2, 31.7 and 31.8 s: 2 flashes. At 30 fps the frame at
// 31.0 s (930) is the first without the box, as a cue's end is not included.
TEST(CaptureTool, FlashReportOfTheStrobe) {
    Folder dir;
    ASSERT_EQ(Capture(dir,
                      "--fps 30 --from 30.9 --to 32.2 --flash-report-strict "
                      "--flash-report strobe.csv"),
              4)
        << dir.Err();
    EXPECT_EQ(Read(dir / "out.txt"),
              "worst second: from 31.000 s to 32.000 s, 3.5 general flashes and 2 red flashes\n"
              "fails: more than 3 flashes of one kind in a second\n");
    const std::string csv = Made(dir / "strobe.csv");
    EXPECT_EQ(csv.find("frame,seconds,luminance,general_flashes,red_flashes\n927,30.900,0.4"), 0u)
        << csv.substr(0, 200);
    EXPECT_NE(csv.find("\n930,31.000,0.0"), std::string::npos);
    EXPECT_NE(csv.find(",3.5,2\n931,"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 4);  // no partial file left
}

// Reduced flashing: a calm second leaves the platform as it was drawn, byte for byte, the strobe's
// last red step is held back, the red sweeps from 80 to 84 s pass the strict count at half size,
// and so does the whole piece at a small size. The count's fields and thresholds are shares of
// the picture's height, and the piece draws everything in proportion, so a picture a quarter as
// high flashes the same shares; its lines, at least a pixel wide, cover more of it, so a small
// size errs towards counting more.
TEST(CaptureTool, ReducedFlashingChangesOnlyTheFlashes) {
    Folder dir;
    for (const std::string flag : {"", "--reduced-flashing "}) {
        const std::string kind = flag.empty() ? "-normal" : "-reduced";
        ASSERT_EQ(Capture(dir, flag + "--fps 10 --from 5 --to 6 -o calm" + kind), 0);
        ASSERT_EQ(Capture(dir, flag + "--fps 10 --from 31.7 --to 31.8 -o red" + kind), 0);
    }
    for (int i = 0; i < 10; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%05d.png", i);
        ASSERT_EQ(Made(dir / "calm-normal" + name), Made(dir / "calm-reduced" + name)) << name;
    }
    ASSERT_NE(Made(dir / "red-normal/frame-00000.png"), Made(dir / "red-reduced/frame-00000.png"));
}

// The whole piece: a thousand frames of the same code as above, so the sanitized build leaves it
// out (scripts/test.sh).
TEST(CaptureTool, ReducedPiecePassesWhole) {
    Folder dir;
    EXPECT_EQ(WaitFor(StartCapture(dir,
                                   "--reduced-flashing --fps 30 --from 80 --to 84 --size 512x384 "
                                   "--flash-report-strict --flash-report sweeps.csv"),
                      600),
              0)
        << dir.Err() << Read(dir / "out.txt");
    EXPECT_EQ(WaitFor(StartCapture(dir,
                                   "--reduced-flashing --fps 10 --size 256x192 "
                                   "--flash-report-strict --flash-report reduced.csv"),
                      600),
              0)
        << dir.Err() << Read(dir / "out.txt");
    EXPECT_NE(Read(dir / "out.txt").find("passes"), std::string::npos) << Read(dir / "out.txt");
}

TEST(CaptureTool, WrongCommandLinesAndOutputsThatCannotBeMadeLeaveNothing) {
    Folder dir;
    std::ofstream(dir / "plain") << "x";  // root may write anywhere: a file stands for a folder
    fs::create_directory(dir / "empty");
    struct Case {
        std::string args;
        int code;
        const char* message;
        const char* path = "/usr/bin:/bin";
    };
    const Case cases[] = {
        {"--fps 0 -o a.mp4", 2, "--fps wants frames a second"},
        {"--fps 1001 -o a.mp4", 2, "from 1 to 1000"},
        {"--fps 1000/1001 -o a.mp4", 2, "from 1 to 1000"},
        {"--motion-blur 9 -o a.mp4", 2, "holds 8 of them in the shortest frames"},
        {"--fps 24000/1001 --motion-blur 22 -o a.mp4", 2,
         "at 24000/1001 fps a 180-degree shutter holds 21"},
        {"--motion-blur 4:361 -o a.mp4", 2, "--motion-blur wants SUBFRAMES[:ANGLE]"},
        {"--supersample 5 -o a.mp4", 2, "--supersample wants a whole number from 1 to 4"},
        {"--size 8192x6144 --supersample 3 -o a.mp4", 2, "draws 24576x18432, more than 16384"},
        {"--from 20 --to 10.5 -o a.mp4", 2, "--from 20 must come before --to 10.5"},
        {"--from 92.8 -o a.mp4", 2, "nothing to capture"},
        {"--size 255x191 -o a.mp4", 2, "even width and height"},
        {"--bogus -o a.mp4", 2, "unknown option '--bogus'"},
        {"-o", 2, "-o needs a value"},
        {"--preset party --to 1 -o a.mp4", 2, "unknown preset 'party' (there are: party-1080p"},
        {"--flash-report a.csv -o a.mp4", 2, "leave out -o"},
        {"--flash-report-strict -o a.mp4", 2, "goes with --flash-report"},
        {"--preset archive --to 1 -o a.mp4", 2, "the preset is lossless: -o NAME.mkv"},
        {"--to 1", 2, "no output given: -o NAME.mp4 or NAME.mkv"},
        {"", 2, "no output given"},
        {"-o ''", 2, "-o needs a file or folder name"},
        {"--output= --to 1", 2, "--output needs a file or folder name"},
        {"--to 1 a.mp4", 2, "unexpected argument 'a.mp4' (the output goes after -o)"},
        {"--from 1s -o a.mp4", 2,
         "--from wants a time in seconds from 0 on (like 31.15), not '1s'"},
        {"--size 512 -o a.mp4", 2, "--size wants WIDTHxHEIGHT (like 512x384"},
        {"--join -o a.mp4", 2, "--join needs the part files, in order"},
        {"--join", 2, "--join needs the part files, in order"},
        {"--join p1.mkv p2.mkv -o empty", 2, "--join writes NAME.mp4 or NAME.mkv, not 'empty'"},
        {"--to 1 -o plain/a.mp4", 1, "cannot write plain/a.mp4: Not a directory"},
        {"--to 1 -o a.mp4", 1, "no ffmpeg on PATH", "empty"},
    };
    std::vector<Case> rows(std::begin(cases), std::end(cases));
    for (const char* time : {"--from -1", "--to ''", "--to 1.2.3"})
        rows.push_back({time + std::string(" -o a.mp4"), 2, "wants a time in seconds"});
    for (const char* size : {"512x", "x384", "512x384x2", "1x768", "0", "9"})
        rows.push_back(
            {"--size " + std::string(size) + " -o a.mp4", 2, "--size wants WIDTHxHEIGHT"});
    for (const auto& c : rows) {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(Capture(dir, c.args, c.path), c.code);
        EXPECT_NE(dir.Err().find(c.message), std::string::npos) << dir.Err();
        EXPECT_FALSE(fs::exists(dir / "a.mp4"));
    }
    EXPECT_EQ(Capture(dir, "--help"), 0);
    EXPECT_NE(Read(dir / "out.txt").find("--fps RATE"), std::string::npos);
    EXPECT_NE(Read(dir / "out.txt").find("youtube-4k"), std::string::npos);
    EXPECT_EQ(Capture(dir, "--version -o a.mp4"), 0);
    EXPECT_EQ(Read(dir / "out.txt"), "flimrevo-capture " FLIMREVO_VERSION "\n");
}

}  // namespace
