// flimrevo-capture as a user runs it: the real executable in a folder of its own, its frames read
// back from the PNGs and the MP4 it writes, its exit codes and messages. (Its output names, sound,
// interruption and a full disk are tried in tests/faults.)
#include <png.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "support/piece_run.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

// Frame `index` of a PNG capture into `dir`, as RGB, top row first.
std::vector<std::uint8_t> ReadFrame(const std::string& dir, int index, int* width, int* height) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%05d.png", index);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_file(&image, (dir + name).c_str())) << dir << name;
    image.format = PNG_FORMAT_RGB;
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << dir << name;
    return rgb;
}

// The frame showing `ms` in the tests' own headless run, after frames every 100 ms, as RGB.
std::vector<std::uint8_t> RenderFrameAt(std::uint32_t ms) {
    std::vector<std::uint8_t> pixels;
    PieceRunOptions options;
    options.frameMs = [&](int n) { return std::min(100u * static_cast<std::uint32_t>(n), ms); };
    options.onFrame = [&](int n, const host::Frame& frame) {
        if (100u * static_cast<std::uint32_t>(n) < ms)
            return true;
        for (size_t i = 0; i < static_cast<size_t>(frame.width) * frame.height; ++i)
            pixels.insert(pixels.end(), frame.rgba + 4 * i, frame.rgba + 4 * i + 3);
        return false;
    };
    RunPiece(options);
    return pixels;
}

TEST(CaptureTool, TwoSecondsAt30FpsToPngAreTheFramesOfTheVirtualClock) {
    Folder dir;
    ASSERT_EQ(Capture(dir, "--fps 30 --to 2 -o frames"), 0) << dir.Err();
    // Every frame showing less than 2000 ms (frame n shows floor(n * 1000 / 30) ms), one file
    // each, numbered from 0.
    const int frames = 60;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "frames"), {}), frames);
    int width = 0, height = 0;
    ReadFrame(dir / "frames", frames - 1, &width, &height);

    // Frame 0 shows t = 0: the default black clear colour and no cube at all.
    const auto first = ReadFrame(dir / "frames", 0, &width, &height);
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 768);
    EXPECT_EQ(std::count(first.begin(), first.end(), 0), static_cast<long>(first.size()));

    // Frame 38 shows floor(38000 / 30) = 1266 ms (not 1267), and is that millisecond as the tests'
    // own virtual-clock run renders it, pixel for pixel; one millisecond later already differs.
    const auto frame = ReadFrame(dir / "frames", 38, &width, &height);
    EXPECT_TRUE(RenderFrameAt(1266) == frame);
    EXPECT_FALSE(RenderFrameAt(1267) == frame);

    // Into a square: the 4:3 picture fits as 256 x 192 in the middle, borders black, and each
    // pixel is the mean of the 4 x 4 block it covers, rounded to the nearest.
    ASSERT_EQ(Capture(dir, "--fps=30 --from=1.2 --to=1.25 --size=256x256 -o small"), 0);
    const auto full = ReadFrame(dir / "frames", 36, &width, &height);  // the first at 1200 ms
    const auto square = ReadFrame(dir / "small", 0, &width, &height);
    ASSERT_EQ(width, 256);
    ASSERT_EQ(height, 256);
    int wrong = 0;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int dy = 0; y >= 32 && y < 224 && dy < 4; ++dy)
                    for (int dx = 0; dx < 4; ++dx)
                        sum += full[(((y - 32) * 4 + dy) * 1024 + x * 4 + dx) * 3 + c];
                wrong += square[(y * 256 + x) * 3 + c] != std::floor(sum / 16 + 0.5);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(CaptureTool, FullLengthMp4HasTheFrameRateLengthVideoAndSound) {
    Folder dir;
    ASSERT_EQ(Capture(dir, "--fps 2 --size 256x192 -o piece.mp4"), 0) << dir.Err();
    // At 2 fps frame n shows n * 500 ms; the piece shows frames through the first past 92.7 s.
    const int frames = 187;
    EXPECT_EQ(Probe(dir, "piece.mp4", "v",
                    "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames"),
              "codec_name=h264|width=256|height=192|pix_fmt=yuv420p|r_frame_rate=2/1|"
              "nb_read_frames=" +
                  std::to_string(frames) + "\n");
    const std::string audio = Probe(dir, "piece.mp4", "a", "stream=codec_name,duration");
    EXPECT_EQ(audio.find("codec_name=aac|duration="), 0u) << audio;
    EXPECT_NEAR(std::atof(audio.c_str() + 24), frames / 2.0, 0.5) << audio;
    // The soundtrack is heard all through: its last second is well above silence.
    ASSERT_EQ(std::system(("ffmpeg -hide_banner -nostdin -ss 90 -i " + dir / "piece.mp4" +
                           " -vn -af volumedetect -f null - 2> " + dir / "level.txt")
                              .c_str()),
              0);
    const std::string report = Read(dir / "level.txt");
    ASSERT_NE(report.find("mean_volume: "), std::string::npos) << report;
    EXPECT_GT(std::atof(report.c_str() + report.find("mean_volume: ") + 13), -40.0) << report;
}

// The release's video settings on a short clip: the preset's size, rate and profile, an option
// given with it overriding it, and the same bytes from a second run.
TEST(CaptureTool, PartyPresetMakesHighProfile1080p60TheSameEachTime) {
    Folder dir;
    for (const char* name : {"a.mp4", "b.mp4", "c.mp4"}) {
        const std::string fps = name[0] == 'c' ? " --fps 30" : "";
        ASSERT_EQ(Capture(dir, "--preset party-1080p" + fps + " --to 0.2 -o " + name), 0)
            << dir.Err();
    }
    const std::string video = "stream=codec_name,profile,width,height,r_frame_rate";
    EXPECT_EQ(Probe(dir, "a.mp4", "v", video),
              "codec_name=h264|profile=High|width=1920|height=1080|r_frame_rate=60/1\n");
    EXPECT_EQ(Probe(dir, "c.mp4", "v", "stream=r_frame_rate"), "r_frame_rate=30/1\n");
    EXPECT_EQ(Read(dir / "a.mp4"), Read(dir / "b.mp4"));
    EXPECT_EQ(Read(dir / "a.mp4").find("Lavf"), std::string::npos)
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
    const std::string csv = Read(dir / "strobe.csv");
    EXPECT_EQ(csv.find("frame,seconds,luminance,general_flashes,red_flashes\n927,30.900,0.4"), 0u)
        << csv.substr(0, 200);
    EXPECT_NE(csv.find("\n930,31.000,0.0"), std::string::npos);
    EXPECT_NE(csv.find(",3.5,2\n931,"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 4);  // no partial file left
}

// Reduced flashing: a calm second leaves the platform as it was drawn, byte for byte, the strobe's
// last red step is held back, and the whole piece passes the flash report, even at a small size.
TEST(CaptureTool, ReducedFlashingChangesOnlyTheFlashesAndPasses) {
    Folder dir;
    for (const std::string flag : {"", "--reduced-flashing "}) {
        const std::string kind = flag.empty() ? "-normal" : "-reduced";
        ASSERT_EQ(Capture(dir, flag + "--fps 10 --from 5 --to 6 -o calm" + kind), 0);
        ASSERT_EQ(Capture(dir, flag + "--fps 10 --from 31.7 --to 31.8 -o red" + kind), 0);
    }
    for (int i = 0; i < 10; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%05d.png", i);
        ASSERT_EQ(Read(dir / "calm-normal" + name), Read(dir / "calm-reduced" + name)) << name;
    }
    ASSERT_NE(Read(dir / "red-normal/frame-00000.png"), Read(dir / "red-reduced/frame-00000.png"));
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
    const struct {
        const char* args;
        int code;
        const char* message;
        const char* path = "/usr/bin:/bin";
    } cases[] = {
        {"--fps 0 -o a.mp4", 2, "--fps wants a whole number"},
        {"--fps 1001 -o a.mp4", 2, "from 1 to 1000"},
        {"--from 20 --to 10.5 -o a.mp4", 2, "--from 20 must come before --to 10.5"},
        {"--from 92.8 -o a.mp4", 2, "nothing to capture"},
        {"--size 255x191 -o a.mp4", 2, "even width and height"},
        {"--bogus -o a.mp4", 2, "unknown option '--bogus'"},
        {"-o", 2, "-o needs a value"},
        {"--preset party --to 1 -o a.mp4", 2, "unknown preset 'party' (there are: party-1080p"},
        {"--flash-report a.csv -o a.mp4", 2, "leave out -o"},
        {"--flash-report-strict -o a.mp4", 2, "goes with --flash-report"},
        {"--to 1 -o plain/a.mp4", 1, "cannot write plain/a.mp4: Not a directory"},
        {"--to 1 -o a.mp4", 1, "no ffmpeg on PATH", "empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(Capture(dir, c.args, c.path), c.code);
        EXPECT_NE(dir.Err().find(c.message), std::string::npos) << dir.Err();
        EXPECT_FALSE(fs::exists(dir / "a.mp4"));
    }
    EXPECT_EQ(Capture(dir, "--help"), 0);
    EXPECT_NE(Read(dir / "out.txt").find("--fps N"), std::string::npos);
    EXPECT_NE(Read(dir / "out.txt").find("party-1080p"), std::string::npos);
    EXPECT_EQ(Capture(dir, "--version -o a.mp4"), 0);
    EXPECT_EQ(Read(dir / "out.txt"), "flimrevo-capture " FLIMREVO_VERSION "\n");
}

}  // namespace
