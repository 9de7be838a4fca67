// flimrevo-capture beyond a plain capture: a fractional frame rate with its sound, lossless MKV,
// motion blur, and a capture split into parts run by GNU parallel and joined.
#include <gtest/gtest.h>

#include <cmath>

#include <GL/gl.h>

#include "blend.h"
#include "frames.h"
#include "support/gl_context.h"
#include "timeline/timeline.h"
#include "window/window.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;
using namespace capturetest;

// The decoded video (RGB) or sound (16-bit stereo) of `file` in `dir`, as raw bytes.
std::string Decode(const Folder& dir, const std::string& file, const std::string& kind) {
    const std::string format = kind == "video" ? "-map 0:v -f rawvideo -pix_fmt rgb24"
                                               : "-map 0:a -f s16le -ac 2 -ar 44100";
    const std::string command = "ffmpeg -v error -nostdin -i '" + dir / file + "' " + format +
                                " -y '" + dir / "decoded.raw" + "'";
    return std::system(command.c_str()) == 0 ? Read(dir / "decoded.raw") : "";
}

// The MD5 of each decoded video frame of `file` in `dir`, with its time, as ffmpeg lists them.
std::string FrameMd5s(const Folder& dir, const std::string& file) {
    fs::remove(dir / "frames.md5");  // an earlier file's list must not stand in for this one's
    std::system(("ffmpeg -v error -nostdin -i '" + dir / file + "' -map 0:v -f framemd5 -y '" +
                 dir / "frames.md5'")
                    .c_str());
    return Made(dir / "frames.md5");
}

// The sample of 44.1 kHz sound where frame n of 60000/1001 fps begins, to the nearest.
std::int64_t NtscSample(std::int64_t n) {
    return (2 * n * 1001 * 44100 + 60000) / 120000;
}

TEST(CaptureModes, LosslessMkvAtNtscRateHoldsThePngFramesAtTheirTimesAndTheSoundtracksSamples) {
    Folder dir;
    // Frames 641 to 648: frame n shows floor(n * 1001 / 60) ms, 10 694 ms to 10 811 ms, across
    // the camera's cues at 10.7 s and 10.8 s.
    const std::string clip = "--fps 60000/1001 --from 10.69 --to 10.82 ";
    ASSERT_EQ(Capture(dir, clip + "-o a.mkv"), 0) << dir.Err();
    ASSERT_EQ(Capture(dir, clip + "-o frames"), 0) << dir.Err();
    // The progress counts the clip's frames, not the 641 gone through before it.
    EXPECT_NE(dir.Err().find(" 8 of 8 frames in "), std::string::npos) << dir.Err();
    std::string pngs;
    std::vector<std::vector<std::uint8_t>> frames;
    int width = 0, height = 0;
    for (int i = 0; i < 8; ++i) {
        frames.push_back(ReadFrame(dir / "frames", i, &width, &height));
        pngs.append(frames.back().begin(), frames.back().end());
    }
    EXPECT_FALSE(fs::exists(dir / "frames/frame-00008.png"));
    EXPECT_TRUE(Decode(dir, "a.mkv", "video") == pngs);
    EXPECT_EQ(Probe(dir, "a.mkv", "v", "stream=codec_name,pix_fmt"),
              "codec_name=ffv1|pix_fmt=bgr0\n");

    for (int n : {641, 642, 647, 648}) {
        SCOPED_TRACE(n);
        EXPECT_TRUE(RenderFrameAt(static_cast<std::uint32_t>(n * 1001 / 60)) == frames[n - 641]);
    }
    EXPECT_FALSE(RenderFrameAt(10695) == frames[0]);

    // The sound: the soundtrack's own samples from frame 641's to frame 649's, no more, no fewer.
    const std::string sound = Decode(dir, "a.mkv", "audio");
    const std::string soundtrack = Decode(dir, "brumlevo.mp3", "audio");
    const size_t first = 4 * static_cast<size_t>(NtscSample(641));
    ASSERT_GT(soundtrack.size(), 4 * static_cast<size_t>(NtscSample(649)));
    EXPECT_EQ(sound.size(), 4 * static_cast<size_t>(NtscSample(649)) - first);
    EXPECT_TRUE(sound == soundtrack.substr(first, sound.size()));
}

// sRGB to linear light and back, written out.
double Linear(double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}
double Encoded(double l) {
    return l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
}

TEST(CaptureModes, MotionBlurIsTheAverageInLinearLightOfItsSubFrames) {
    Folder dir;
    // Frame 36 at 30 fps shows 1200 ms and frame 37 1233 ms. A 180-degree shutter is open for
    // 16.5 ms, 17 whole milliseconds from 1200 on, and 4 sub-frames are spread over them: 1200,
    // 1204.25, 1208.5, 1212.75, each shown at its whole millisecond. A 90-degree one is open for
    // 8.25 ms, 9 whole ones: 1200, 1202.25, 1204.5, 1206.75.
    const struct {
        const char* blur;
        std::uint32_t ms[4];
    } shutters[] = {{"4", {1200, 1204, 1208, 1212}}, {"4:90", {1200, 1202, 1204, 1206}}};
    for (const auto& shutter : shutters) {
        SCOPED_TRACE(shutter.blur);
        ASSERT_EQ(Capture(dir, std::string("--fps 30 --from 1.2 --to 1.23 --motion-blur ") +
                                   shutter.blur + " -o blur"),
                  0)
            << dir.Err();
        int width = 0, height = 0;
        const auto blurred = ReadFrame(dir / "blur", 0, &width, &height);
        std::vector<std::vector<std::uint8_t>> subFrames;
        for (std::uint32_t ms : shutter.ms)
            subFrames.push_back(RenderFrameAt(ms));
        ASSERT_EQ(blurred.size(), subFrames[0].size());
        int wrong = 0, blurredPixels = 0;
        for (size_t i = 0; i < blurred.size(); ++i) {
            double light = 0;
            for (const auto& frame : subFrames)
                light += Linear(frame[i] / 255.0) / subFrames.size();
            wrong += std::abs(blurred[i] - std::floor(Encoded(light) * 255 + 0.5)) > 1;
            blurredPixels += blurred[i] != subFrames[0][i];
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(blurredPixels, 1000);
    }

    // What does not move stays as it is, exactly.
    capture::LinearBlend blend(256);
    std::vector<std::uint8_t> ramp(256 * 4), out(256 * 4);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<std::uint8_t>(i / 4);
    for (int samples : {2, 3, 8}) {
        for (int k = 0; k < samples; ++k)
            blend.Add(ramp.data());
        blend.Finish(out.data());
        EXPECT_TRUE(out == ramp) << samples;
    }
    // Every pair of values: the rounded sRGB of their mean light, but for the few whose mean lies
    // within the 16-bit light's rounding of a threshold between two values (140 of the 65 536).
    int off = 0, farOff = 0;
    for (int a = 0; a < 256; ++a) {
        const std::vector<std::uint8_t> flat(256 * 4, static_cast<std::uint8_t>(a));
        blend.Add(flat.data());
        blend.Add(ramp.data());
        blend.Finish(out.data());
        for (int b = 0; b < 256; ++b) {
            const double want =
                std::floor(Encoded((Linear(a / 255.0) + Linear(b / 255.0)) / 2) * 255 + 0.5);
            off += out[b * 4] != want;
            farOff += std::abs(out[b * 4] - want) > 1;
        }
    }
    EXPECT_LE(off, 140);
    EXPECT_EQ(farOff, 0);
}

// The frame showing ms drawn in the tests' own GL context at width x height by the piece's stages,
// as its frame loop calls them, with lines as wide in proportion as at 1024 x 768: RGB, top row
// first. (Early in the piece, where no cue has yet set anything that carries over.)
std::vector<std::uint8_t> DrawAt(std::uint32_t ms, int width, int height) {
    testsupport::GlContext context(width, height);
    EXPECT_TRUE(context.ok());
    DisplayState.width = width;
    DisplayState.height = height;
    glViewport(0, 0, width, height);
    glLineWidth(static_cast<float>(height) / 768);
    const float t = TimelineSecondsAfter(ms);
    bool done = false;
    ApplyClearColourCues(t);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ApplyProjectionAndCameraCues(t);
    ApplyFogCues(t);
    DrawBackdropBoxes(t);
    DrawCubeLattice(t, done);
    const size_t row = static_cast<size_t>(width) * 3;
    std::vector<std::uint8_t> rows(row * height), rgb(row * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    for (int y = 0; y < height; ++y)
        std::copy_n(&rows[(height - 1 - y) * row], row, &rgb[y * row]);
    return rgb;
}

TEST(CaptureModes, DrawnAtTheOutputSizeAndSupersampledFromTwoToFourTimesThat) {
    Folder dir;
    // Frame 72 at 60 fps: 1200 ms.
    for (const char* args : {"--size 2048x1536 -o big", "--supersample 2 -o smooth2", "-o plain",
                             "--size 768x576 -o big3", "--size 256x192 --supersample 3 -o smooth3",
                             "--size 256x192 --supersample 4 -o smooth4"})
        ASSERT_EQ(Capture(dir, std::string("--from 1.2 --to 1.21 ") + args), 0) << dir.Err();
    int width = 0, height = 0;
    const auto big = ReadFrame(dir / "big", 0, &width, &height);
    const auto plain = ReadFrame(dir / "plain", 0, &width, &height);
    const auto reference = DrawAt(1200, 2048, 1536);
    ASSERT_EQ(big.size(), reference.size());
    // Drawn at 2048 x 1536 as the same calls draw there (but for a few line ends, which the
    // rasteriser places differently in a framebuffer object and a window's own framebuffer);
    // not the 1024 x 768 picture made larger.
    int unlike = 0, upscaled = 0;
    for (size_t i = 0; i < big.size(); ++i) {
        const size_t x = i / 3 % 2048, y = i / 3 / 2048, c = i % 3;
        unlike += big[i] != reference[i];
        upscaled += big[i] != plain[(y / 2 * 1024 + x / 2) * 3 + c];
    }
    EXPECT_LE(unlike, static_cast<int>(big.size() / 100000));
    EXPECT_GT(upscaled, 10000);
    // Supersampled by f: each pixel the mean of its f x f block of the picture the capture draws
    // at f times the size, rounded to the nearest.
    const struct {
        int factor, width;
        const char *smooth, *drawn;
    } factors[] = {
        {2, 1024, "smooth2", "big"}, {3, 256, "smooth3", "big3"}, {4, 256, "smooth4", "plain"}};
    for (const auto& f : factors) {
        SCOPED_TRACE(f.factor);
        const auto smooth = ReadFrame(dir / f.smooth, 0, &width, &height);
        ASSERT_EQ(width, f.width);
        const auto drawn = ReadFrame(dir / f.drawn, 0, &width, &height);
        ASSERT_EQ(width, f.width * f.factor);
        ASSERT_EQ(drawn.size(), smooth.size() * static_cast<size_t>(f.factor * f.factor));
        const size_t w = static_cast<size_t>(f.width), n = static_cast<size_t>(f.factor);
        int wrong = 0;
        for (size_t i = 0; i < smooth.size(); ++i) {
            const size_t x = i / 3 % w, y = i / 3 / w, c = i % 3;
            double sum = 0;
            for (size_t dy = 0; dy < n; ++dy)
                for (size_t dx = 0; dx < n; ++dx)
                    sum += drawn[((n * y + dy) * n * w + n * x + dx) * 3 + c];
            wrong += smooth[i] != std::floor(sum / static_cast<double>(n * n) + 0.5);
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_FALSE(smooth == std::vector<std::uint8_t>(smooth.size(), 0));
    }
}

TEST(CaptureModes, PartsRunByGnuParallelJoinToTheOneProcessCaptureAndMisfitsAreRefused) {
    Folder dir;
    // The whole piece at a tenth of NTSC's rate, 557 frames: frame n shows floor(n * 1001 / 6)
    // ms, and frame 556, at 92 759 ms, is the first past 92.7 s, the piece's last. The parts
    // (185, 186 and 186 frames) start between two milliseconds.
    const std::string settings = "--fps 6000/1001 --size 128x96";
    ASSERT_EQ(Capture(dir, settings + " -o whole.mkv"), 0) << dir.Err();
    const std::string parallel = "parallel --will-cite -j2 --halt now,fail=1 '" FLIMREVO_CAPTURE
                                 "' " +
                                 settings + " --segment {}/3 -o part{}.mkv ::: 1 2 3";
    ASSERT_EQ(std::system(("cd '" + dir.path + "' && " + parallel + " 2>/dev/null").c_str()), 0);
    ASSERT_EQ(Capture(dir, "--join part1.mkv part2.mkv part3.mkv -o joined.mkv"), 0) << dir.Err();
    EXPECT_TRUE(FrameMd5s(dir, "whole.mkv") == FrameMd5s(dir, "joined.mkv"));
    // framemd5 numbers the frames afresh: the stored times must agree too.
    const std::string times = Probe(dir, "whole.mkv", "v", "packet=pts");
    EXPECT_NE(times, "");
    EXPECT_TRUE(Probe(dir, "joined.mkv", "v", "packet=pts") == times);
    EXPECT_EQ(Probe(dir, "joined.mkv", "v", "stream=nb_read_frames"), "nb_read_frames=557\n");
    // Sound as long as the video, to the sample (557 frames of 1001/6000 s at 44.1 kHz): the
    // soundtrack's own samples all through.
    const std::string sound = Decode(dir, "joined.mkv", "audio");
    EXPECT_EQ(sound.size(), 4 * ((2ull * 557 * 1001 * 44100 + 6000) / 12000));
    EXPECT_TRUE(sound == Decode(dir, "brumlevo.mp3", "audio").substr(0, sound.size()));

    // The README's own way to a video, small: parts made by GNU parallel, joined into an MP4 that
    // is frame for frame the one a single process makes, with the sound.
    const std::string clip = "--fps 10 --to 1 --size 64x48";
    ASSERT_EQ(std::system(("cd '" + dir.path + "' && parallel --will-cite '" FLIMREVO_CAPTURE "' " +
                           clip + " --segment {}/2 -o clip{}.mkv ::: 1 2 2>/dev/null")
                              .c_str()),
              0);
    ASSERT_EQ(Capture(dir, "--join clip1.mkv clip2.mkv -o clip.mp4"), 0) << dir.Err();
    ASSERT_EQ(Capture(dir, clip + " -o direct.mp4"), 0) << dir.Err();
    EXPECT_TRUE(FrameMd5s(dir, "clip.mp4") == FrameMd5s(dir, "direct.mp4"));
    EXPECT_EQ(Probe(dir, "clip.mp4", "v", "stream=codec_name,nb_read_frames"),
              "codec_name=h264|nb_read_frames=10\n");
    EXPECT_EQ(Probe(dir, "clip.mp4", "a", "stream=codec_name"), "codec_name=aac\n");

    // Parts that do not make one capture are refused, and nothing is written.
    ASSERT_EQ(Capture(dir, settings + " --to 1 --segment 2/3 -o other.mkv"), 0) << dir.Err();
    ASSERT_EQ(std::system(("ffmpeg -v error -i '" + dir / "part2.mkv" + "' -c copy -frames:v 3 '" +
                           dir / "short.mkv" + "'")
                              .c_str()),
              0);
    const struct {
        const char* args;
        const char* message;
    } cases[] = {
        {"--join part1.mkv part3.mkv -o x.mkv", "part 2/3 is missing"},
        {"--join part2.mkv part1.mkv part3.mkv -o x.mkv",
         "part2.mkv is part 2/3 but is given in place of part 1/3"},
        {"--join part1.mkv part1.mkv part2.mkv part3.mkv -o x.mkv", "part 1/3 is given twice"},
        {"--join part1.mkv other.mkv part3.mkv -o x.mkv", "are parts of different captures"},
        {"--join whole.mkv -o x.mkv", "whole.mkv is not a part made by flimrevo-capture --segment"},
        {"--join part1.mkv short.mkv part3.mkv -o x.mkv",
         "short.mkv is unfinished: it holds 3 of its 186 frames"},
        {"--join part1.mkv nothing.mkv -o x.mkv", "nothing.mkv is not a video ffprobe can read"},
        {"--fps 6000/1001 --segment 4/3 -o x.mkv", "--segment wants K/N"},
        {"--segment 1/2 -o x.mp4", "a part (--segment) is written lossless"},
        {"--to 0.05 --segment 1/4 -o x.mkv", "the clip has only 3 frames"},
        {"--fps 30 --join part1.mkv -o x.mkv", "--join takes its settings from the parts"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(Capture(dir, c.args), 2);
        EXPECT_NE(dir.Err().find(c.message), std::string::npos) << dir.Err();
        for (const auto& entry : fs::directory_iterator(dir.path))
            EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
        EXPECT_FALSE(fs::exists(dir / "x.mkv") || fs::exists(dir / "x.mp4"));
    }
}

}  // namespace
