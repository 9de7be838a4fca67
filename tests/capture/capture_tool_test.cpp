// flimrevo-capture as a user runs it: the real executable in a folder of its own, its frames read
// back from the PNGs and the MP4 it writes, its exit codes and messages.
#include <png.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/piece_run.h"

namespace {

namespace fs = std::filesystem;

// Frame n at fps shows floor(n * 1000 / fps) ms.
int FrameMs(int n, int fps) {
    return static_cast<int>(std::floor(n * 1000.0 / fps));
}

// The frames at fps whose time is below ms.
int FramesBefore(int ms, int fps) {
    int n = 0;
    while (FrameMs(n, fps) < ms)
        ++n;
    return n;
}

// The piece's frames at fps: through the first one whose clock (ms times the single-precision
// 0.001, formed in double and stored as a float) reads past 92.7 s.
int PieceFrames(int fps) {
    int n = 0;
    while (static_cast<float>(FrameMs(n, fps) * static_cast<double>(0.001f)) <= 92.7)
        ++n;
    return n + 1;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;  // top row first
};

Picture ReadPng(const fs::path& path) {
    Picture picture;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << path;
    image.format = PNG_FORMAT_RGB;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) << path;
    return picture;
}

fs::path FrameFile(const fs::path& folder, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05d.png", index);
    return folder / name;
}

int Count(const fs::path& folder) {
    return static_cast<int>(std::distance(fs::directory_iterator(folder), {}));
}

// A folder of the test's own, with the soundtrack in it unless asked not to, removed afterwards.
class CaptureTool : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/capture-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::create_symlink(FLIMREVO_SOUNDTRACK, dir_ / "brumlevo.mp3");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs a shell command in dir_ and gives its exit code.
    int Shell(const std::string& command) {
        const int status = std::system(("cd '" + dir_.string() + "' && " + command).c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Runs the tool in dir_ with only PATH and HOME set; standard error is kept in err_.
    int Capture(const std::string& args, const std::string& path = "/usr/bin:/bin") {
        const int code = Shell("env -i PATH='" + path + "' HOME=. '" FLIMREVO_CAPTURE "' " + args +
                               " > stdout.txt 2> stderr.txt");
        err_ = ReadText(dir_ / "stderr.txt");
        return code;
    }
    // ffprobe's entries for FILE's streams of a kind ("v", "a"): "key=value|..." a line each.
    std::string Probe(const char* file, const char* kind, const char* entries) {
        Shell(std::string("ffprobe -v error -count_frames -select_streams ") + kind +
              " -show_entries " + entries + " -of compact=p=0 " + file + " > probe.txt");
        return ReadText(dir_ / "probe.txt");
    }

    fs::path dir_;
    std::string err_;
};

TEST_F(CaptureTool, TwoSecondsAt30FpsToPngAreTheFramesOfTheVirtualClock) {
    ASSERT_EQ(Capture("--fps 30 --to 2 -o frames"), 0) << err_;
    // Every frame showing less than 2000 ms, one file each, numbered from 0.
    const int frames = FramesBefore(2000, 30);
    EXPECT_EQ(Count(dir_ / "frames"), frames);
    EXPECT_TRUE(fs::exists(FrameFile(dir_ / "frames", frames - 1)));

    // Frame 0 shows t = 0: the default black clear colour and no cube at all.
    const Picture first = ReadPng(FrameFile(dir_ / "frames", 0));
    EXPECT_EQ(first.width, 1024);
    EXPECT_EQ(first.height, 768);
    EXPECT_EQ(std::count(first.rgb.begin(), first.rgb.end(), 0),
              static_cast<long>(first.rgb.size()));

    // Frame 38 shows floor(38000 / 30) = 1266 ms (not 1267), and is that millisecond as the tests'
    // own virtual-clock run renders it, pixel for pixel; one millisecond later already differs.
    const Picture frame = ReadPng(FrameFile(dir_ / "frames", 38));
    auto sameAs = [&](const std::vector<std::uint8_t>& rgba) {
        bool same = rgba.size() / 4 == frame.rgb.size() / 3;
        for (size_t p = 0; same && p < rgba.size() / 4; ++p)
            for (int c = 0; c < 3; ++c)
                same = same && rgba[p * 4 + c] == frame.rgb[p * 3 + c];
        return same;
    };
    EXPECT_TRUE(sameAs(testsupport::RenderFrameAt(1266)));
    EXPECT_FALSE(sameAs(testsupport::RenderFrameAt(1267)));

    // Into a square: the 4:3 picture fits as 256 x 192 in the middle, borders black, and each
    // pixel is the mean of the 4 x 4 block it covers, rounded to the nearest.
    ASSERT_EQ(Capture("--fps=30 --from=1.2 --to=1.25 --size=256x256 -o small"), 0) << err_;
    const Picture full = ReadPng(FrameFile(dir_ / "frames", FramesBefore(1200, 30)));
    const Picture square = ReadPng(FrameFile(dir_ / "small", 0));
    ASSERT_EQ(square.width, 256);
    ASSERT_EQ(square.height, 256);
    int wrong = 0;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int dy = 0; y >= 32 && y < 224 && dy < 4; ++dy)
                    for (int dx = 0; dx < 4; ++dx)
                        sum += full.rgb[(((y - 32) * 4 + dy) * 1024 + x * 4 + dx) * 3 + c];
                wrong += square.rgb[(y * 256 + x) * 3 + c] != std::floor(sum / 16 + 0.5);
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(CaptureTool, FullLengthMp4HasTheFrameRateLengthVideoAndSound) {
    ASSERT_EQ(Capture("--fps 2 --size 256x192 -o piece.mp4"), 0) << err_;
    EXPECT_EQ(
        Probe("piece.mp4", "v",
              "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames"),
        "codec_name=h264|width=256|height=192|pix_fmt=yuv420p|r_frame_rate=2/1|nb_read_frames=" +
            std::to_string(PieceFrames(2)) + "\n");
    const double length = PieceFrames(2) / 2.0;
    EXPECT_NEAR(std::atof(Probe("piece.mp4", "a", "stream=duration").c_str() + 9), length, 0.5);
    EXPECT_NE(Probe("piece.mp4", "a", "stream=codec_name").find("aac"), std::string::npos);
    // The soundtrack is heard all through: its last second is well above silence.
    ASSERT_EQ(Shell("ffmpeg -hide_banner -nostdin -ss 90 -i piece.mp4 -vn -af volumedetect -f null "
                    "- 2> level.txt"),
              0);
    const std::string report = ReadText(dir_ / "level.txt");
    ASSERT_NE(report.find("mean_volume: "), std::string::npos) << report;
    EXPECT_GT(std::atof(report.c_str() + report.find("mean_volume: ") + 13), -40.0) << report;
}

TEST_F(CaptureTool, WrongCommandLinesAndOutputsThatCannotBeMadeLeaveNothing) {
    std::ofstream(dir_ / "plain") << "x";  // root may write anywhere: a file stands for a folder
    std::ofstream(dir_ / "ffmpeg") << "#!/bin/sh\necho 'encoder on strike' >&2\nexit 7\n";
    fs::permissions(dir_ / "ffmpeg", fs::perms::owner_all);
    fs::create_directory(dir_ / "empty");
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
        {"--to 1 -o plain/a.mp4", 1, "cannot write plain/a.mp4: Not a directory"},
        {"--to 1 -o a.mp4", 1, "no ffmpeg on PATH", "empty"},
        // An ffmpeg that fails: its words are passed on, and the unfinished file is removed.
        {"--fps 10 --to 1 -o a.mp4", 1, "exit code 7", ".:/usr/bin:/bin"},
        {"--fps 10 --to 1 -o a.mp4", 1, "encoder on strike", ".:/usr/bin:/bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(Capture(c.args, c.path), c.code);
        EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
        EXPECT_FALSE(fs::exists(dir_ / "a.mp4"));
    }
    EXPECT_EQ(Capture("--help"), 0);
    EXPECT_NE(ReadText(dir_ / "stdout.txt").find("--fps N"), std::string::npos);
    EXPECT_EQ(Capture("--version -o a.mp4"), 0);
    EXPECT_EQ(ReadText(dir_ / "stdout.txt"), "flimrevo-capture " FLIMREVO_VERSION "\n");
}

TEST_F(CaptureTool, MissingSoundtrackGivesASilentVideoAndSaysSo) {
    fs::remove(dir_ / "brumlevo.mp3");
    EXPECT_EQ(Capture("--fps 10 --to 0.5 -o quiet.mp4"), 3);
    EXPECT_NE(err_.find("no soundtrack: brumlevo.mp3 is not a readable file in"), std::string::npos)
        << err_;
    EXPECT_NE(err_.find("the video has no sound"), std::string::npos);
    // The piece's own message box is told, not shown.
    EXPECT_NE(err_.find("\"Kan ikke spille sang\" (Feil!)"), std::string::npos);
    EXPECT_EQ(Probe("quiet.mp4", "v", "stream=nb_read_frames"), "nb_read_frames=5\n");
    EXPECT_EQ(Probe("quiet.mp4", "a", "stream=codec_name"), "");
}

TEST_F(CaptureTool, InterruptFinishesTheVideoSoFar) {
    // ffmpeg writes (beside the output, until it is finished) once it has frames: by then the
    // piece runs and its signals are caught. (With job control on, the shell leaves SIGINT to the
    // job it starts.)
    EXPECT_EQ(Shell("set -m; env -i PATH=/usr/bin:/bin '" FLIMREVO_CAPTURE
                    "' --fps 30 --size 0.25 -o cut.mp4 2> stderr.txt & for i in $(seq 3000); do "
                    "[ -n \"$(find . -name '.cut.mp4.*' -size +0)\" ] && break; sleep 0.02; done; "
                    "kill -INT $!; wait $!"),
              130);
    err_ = ReadText(dir_ / "stderr.txt");
    const size_t at = err_.find("interrupted: ");
    ASSERT_NE(at, std::string::npos) << err_;
    const int frames = std::atoi(Probe("cut.mp4", "v", "stream=nb_read_frames").c_str() +
                                 sizeof "nb_read_frames=" - 1);
    EXPECT_EQ(frames, std::atoi(err_.c_str() + at + 13)) << "the frames it says it wrote";
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, PieceFrames(30));
    EXPECT_NE(Probe("cut.mp4", "a", "stream=codec_name"), "");
}

}  // namespace
