// flimrevo-capture as a user runs it: the real executable in a folder of its own, its frames
// read back from the PNGs and the MP4 it writes, its exit codes and messages.
#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/piece_run.h"

namespace {

namespace fs = std::filesystem;

const char kTool[] = FLIMREVO_CAPTURE;
const char kSoundtrack[] = FLIMREVO_SOUNDTRACK;

// What the piece's clock makes of ms elapsed milliseconds: the product with the single-precision
// 0.001, formed in double and stored as a float.
double TimelineSeconds(std::int64_t ms) {
    return static_cast<float>(static_cast<double>(ms) * static_cast<double>(0.001f));
}

// Frame n at fps shows floor(n * 1000 / fps) ms.
std::int64_t FrameMs(std::int64_t n, int fps) {
    return static_cast<std::int64_t>(std::floor(n * 1000.0 / fps));
}

// The piece's frames at fps: through the first one whose clock reads past 92.7 s.
std::int64_t PieceFrames(int fps) {
    std::int64_t n = 0;
    while (TimelineSeconds(FrameMs(n, fps)) <= 92.7) {
        ++n;
    }
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
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << "cannot read " << path;
        return picture;
    }
    image.format = PNG_FORMAT_RGB;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) << path;
    return picture;
}

std::vector<fs::path> FrameFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

fs::path FrameFile(const fs::path& folder, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05d.png", index);
    return folder / name;
}

// A folder of the test's own, with the soundtrack in it unless asked not to, removed afterwards.
class CaptureTool : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/capture-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::create_symlink(kSoundtrack, dir_ / "brumlevo.mp3");
    }
    void TearDown() override { fs::remove_all(dir_); }

    struct Outcome {
        int exitCode = -1;
        std::string err;
    };

    // Starts the tool in dir_ with PATH as given; standard error goes to a file.
    pid_t Start(const std::vector<std::string>& args, const std::string& path) {
        std::vector<std::string> env = {"PATH=" + path, "HOME=" + dir_.string()};
        std::vector<char*> argv = {const_cast<char*>(kTool)};
        for (const auto& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& entry : env) {
            envp.push_back(&entry[0]);
        }
        envp.push_back(nullptr);
        const std::string errPath = (dir_ / "stderr.txt").string();
        const std::string outPath = (dir_ / "stdout.txt").string();
        const std::string cwd = dir_.string();
        const pid_t pid = fork();
        if (pid == 0) {
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err < 0 || out < 0 || chdir(cwd.c_str()) != 0) {
                _exit(127);
            }
            dup2(err, 2);
            dup2(out, 1);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        return pid;
    }

    Outcome Wait(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        Outcome outcome;
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        outcome.err = ReadText(dir_ / "stderr.txt");
        return outcome;
    }

    Outcome Capture(const std::vector<std::string>& args,
                    const std::string& path = "/usr/bin:/bin") {
        return Wait(Start(args, path));
    }

    std::string Stdout() { return ReadText(dir_ / "stdout.txt"); }

    // ffprobe's key=value lines for one stream selection, e.g. "v" or "a".
    std::vector<std::map<std::string, std::string>> Streams(const fs::path& file,
                                                            const char* kind) {
        const std::string command = "ffprobe -v error -select_streams " + std::string(kind) +
                                    " -count_frames -show_entries stream=codec_name,pix_fmt,"
                                    "width,height,r_frame_rate,nb_read_frames,duration "
                                    "-of default=noprint_wrappers=0 '" +
                                    file.string() + "' > '" + (dir_ / "probe.txt").string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        std::vector<std::map<std::string, std::string>> streams;
        std::istringstream lines(ReadText(dir_ / "probe.txt"));
        for (std::string line; std::getline(lines, line);) {
            if (line == "[STREAM]") {
                streams.emplace_back();
            } else if (!streams.empty() && line.find('=') != std::string::npos) {
                streams.back()[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
            }
        }
        return streams;
    }

    double FormatDuration(const fs::path& file) {
        const std::string command = "ffprobe -v error -show_entries format=duration -of csv=p=0 '" +
                                    file.string() + "' > '" + (dir_ / "probe.txt").string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return std::atof(ReadText(dir_ / "probe.txt").c_str());
    }

    fs::path dir_;
};

TEST_F(CaptureTool, TwoSecondsAt30FpsToPngAreTheFramesOfTheVirtualClock) {
    const int fps = 30;
    const Outcome outcome = Capture({"--fps", "30", "--to", "2", "-o", "frames"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;

    // Every frame showing less than 2000 ms, one file each, numbered from 0.
    int expected = 0;
    while (FrameMs(expected, fps) < 2000) {
        ++expected;
    }
    const auto files = FrameFiles(dir_ / "frames");
    ASSERT_EQ(static_cast<int>(files.size()), expected);
    EXPECT_EQ(files.back(), FrameFile(dir_ / "frames", expected - 1));

    // Frame 0 shows t = 0: the default black clear colour and no cube at all.
    const Picture first = ReadPng(files.front());
    EXPECT_EQ(first.width, 1024);
    EXPECT_EQ(first.height, 768);
    EXPECT_EQ(std::count(first.rgb.begin(), first.rgb.end(), 0),
              static_cast<std::ptrdiff_t>(first.rgb.size()));

    // Frame 38 shows floor(38000 / 30) = 1266 ms (not 1267), and is that millisecond as the tests'
    // own virtual-clock run renders it, pixel for pixel; one millisecond later already differs.
    const int n = 38;
    const std::int64_t ms = FrameMs(n, fps);
    const Picture frame = ReadPng(FrameFile(dir_ / "frames", n));
    int width = 0, height = 0;
    const std::vector<std::uint8_t> reference =
        testsupport::RenderFrameAt(static_cast<std::uint32_t>(ms), &width, &height);
    ASSERT_EQ(width, frame.width);
    ASSERT_EQ(height, frame.height);
    auto sameAs = [&](const std::vector<std::uint8_t>& rgba) {
        for (size_t p = 0; p < rgba.size() / 4; ++p) {
            for (int c = 0; c < 3; ++c) {
                if (rgba[p * 4 + c] != frame.rgb[p * 3 + c]) {
                    return false;
                }
            }
        }
        return true;
    };
    EXPECT_TRUE(sameAs(reference));
    EXPECT_GT(std::count_if(frame.rgb.begin(), frame.rgb.end(), [](std::uint8_t v) { return v; }),
              1000)
        << "the wire cubes of the first band";
    EXPECT_FALSE(sameAs(testsupport::RenderFrameAt(static_cast<std::uint32_t>(ms + 1))));

    // A clip from 1 s: its frames are rendered from 0 as before and only numbered from the
    // first one at 1000 ms or later, which is frame 30 of the whole run.
    const Outcome clip = Capture({"--fps=30", "--from=1", "--to=2", "-o", "clip"});
    ASSERT_EQ(clip.exitCode, 0) << clip.err;
    int firstOfClip = 0;
    while (FrameMs(firstOfClip, fps) < 1000) {
        ++firstOfClip;
    }
    const auto clipFiles = FrameFiles(dir_ / "clip");
    ASSERT_EQ(static_cast<int>(clipFiles.size()), expected - firstOfClip);
    EXPECT_EQ(ReadText(clipFiles.front()), ReadText(FrameFile(dir_ / "frames", firstOfClip)));
    EXPECT_EQ(ReadText(clipFiles.back()), ReadText(files.back()));

    // Into a square: the 4:3 picture fits as 256 x 192 in the middle, borders black, and each
    // pixel is the mean of the 4 x 4 block it covers, rounded to the nearest.
    const Outcome small =
        Capture({"--fps=30", "--from=1.2", "--to=1.25", "--size=256x256", "-o", "small"});
    ASSERT_EQ(small.exitCode, 0) << small.err;
    int firstSmall = 0;
    while (FrameMs(firstSmall, fps) < 1200) {
        ++firstSmall;
    }
    const Picture full = ReadPng(FrameFile(dir_ / "frames", firstSmall));
    const Picture square = ReadPng(FrameFile(dir_ / "small", 0));
    ASSERT_EQ(square.width, 256);
    ASSERT_EQ(square.height, 256);
    const int top = (256 - 768 / 4) / 2;
    int wrong = 0;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            for (int c = 0; c < 3; ++c) {
                double expectedValue = 0;
                if (y >= top && y < top + 192) {
                    double sum = 0;
                    for (int dy = 0; dy < 4; ++dy) {
                        for (int dx = 0; dx < 4; ++dx) {
                            sum += full.rgb[(((y - top) * 4 + dy) * 1024 + x * 4 + dx) * 3 + c];
                        }
                    }
                    expectedValue = std::floor(sum / 16 + 0.5);
                }
                wrong += square.rgb[(y * 256 + x) * 3 + c] != expectedValue;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(CaptureTool, FullLengthMp4HasTheFrameRateLengthVideoAndSound) {
    const int fps = 2;
    const Outcome outcome = Capture({"--fps", "2", "--size", "256x192", "-o", "piece.mp4"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::int64_t frames = PieceFrames(fps);
    const double length = static_cast<double>(frames) / fps;

    const auto video = Streams(dir_ / "piece.mp4", "v");
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(video[0].at("codec_name"), "h264");
    EXPECT_EQ(video[0].at("pix_fmt"), "yuv420p");
    EXPECT_EQ(video[0].at("width"), "256");
    EXPECT_EQ(video[0].at("height"), "192");
    EXPECT_EQ(video[0].at("r_frame_rate"), "2/1");
    EXPECT_EQ(video[0].at("nb_read_frames"), std::to_string(frames));
    const auto audio = Streams(dir_ / "piece.mp4", "a");
    ASSERT_EQ(audio.size(), 1u);
    EXPECT_EQ(audio[0].at("codec_name"), "aac");
    EXPECT_NEAR(std::atof(audio[0].at("duration").c_str()), length, 1.0 / fps);
    EXPECT_NEAR(FormatDuration(dir_ / "piece.mp4"), length, 1.0 / fps);

    // The soundtrack is heard all through: the loudest second of its last one is well above
    // silence (the stand-in fades out only after 92.7 s).
    const std::string level =
        "ffmpeg -hide_banner -nostdin -ss 90 -i '" + (dir_ / "piece.mp4").string() +
        "' -vn -af volumedetect -f null - 2> '" + (dir_ / "level.txt").string() + "'";
    ASSERT_EQ(std::system(level.c_str()), 0);
    const std::string report = ReadText(dir_ / "level.txt");
    const size_t at = report.find("mean_volume: ");
    ASSERT_NE(at, std::string::npos) << report;
    EXPECT_GT(std::atof(report.c_str() + at + 13), -40.0) << report;
}

TEST_F(CaptureTool, WrongCommandLinesAreRefusedBeforeAnything) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"--fps", "0", "-o", "a.mp4"}, "--fps wants a whole number"},
        {{"--fps", "abc", "-o", "a.mp4"}, "not 'abc'"},
        {{"--fps", "-5", "-o", "a.mp4"}, "not '-5'"},
        {{"--fps", "29.97", "-o", "a.mp4"}, "--fps wants a whole number"},
        {{"--fps", "1001", "-o", "a.mp4"}, "from 1 to 1000"},
        {{"--from", "-1", "-o", "a.mp4"}, "--from wants a time in seconds"},
        {{"--to", "1e3", "-o", "a.mp4"}, "--to wants a time in seconds"},
        {{"--from", "20", "--to", "10.5", "-o", "a.mp4"}, "--from 20 must come before --to 10.5"},
        {{"--from", "5", "--to", "5", "-o", "a.mp4"}, "must come before"},
        {{"--from", "92.8", "-o", "a.mp4"}, "nothing to capture"},
        {{"--size", "0x0", "-o", "a.mp4"}, "--size wants WIDTHxHEIGHT"},
        {{"--size", "big", "-o", "a.mp4"}, "not 'big'"},
        {{"--size", "255x191", "-o", "a.mp4"}, "even width and height"},
        {{"--bogus", "-o", "a.mp4"}, "unknown option '--bogus'"},
        {{"a.mp4"}, "unexpected argument 'a.mp4'"},
        {{"--fps", "30"}, "no output given"},
        {{"-o"}, "-o needs a value"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const auto& arg : c.args) {
            line += arg + " ";
        }
        const Outcome outcome = Capture(c.args);
        EXPECT_EQ(outcome.exitCode, 2) << line;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << line << "\n" << outcome.err;
        EXPECT_FALSE(fs::exists(dir_ / "a.mp4")) << line;
    }

    const Outcome help = Capture({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(Stdout().find("--fps N"), std::string::npos);
    const Outcome version = Capture({"--version", "-o", "a.mp4"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(Stdout(), std::string("flimrevo-capture ") + FLIMREVO_VERSION + "\n");
}

TEST_F(CaptureTool, OutputsThatCannotBeMadeAreReportedAndLeaveNothing) {
    // Root may write anywhere, so the output's folder is a plain file instead.
    std::ofstream(dir_ / "plain") << "x";
    Outcome outcome = Capture({"--to", "1", "-o", "plain/a.mp4"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("cannot write plain/a.mp4: Not a directory"), std::string::npos)
        << outcome.err;
    outcome = Capture({"--to", "1", "-o", "plain/frames"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("cannot write plain/frames: Not a directory"), std::string::npos)
        << outcome.err;

    // No ffmpeg on PATH: an empty folder is all of it. Nothing is rendered, nothing made.
    fs::create_directory(dir_ / "empty");
    outcome = Capture({"--to", "1", "-o", "a.mp4"}, (dir_ / "empty").string());
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("no ffmpeg on PATH"), std::string::npos) << outcome.err;
    EXPECT_FALSE(fs::exists(dir_ / "a.mp4"));

    // An ffmpeg that fails: its words are passed on, and the unfinished file is removed.
    fs::create_directory(dir_ / "broken");
    std::ofstream(dir_ / "broken" / "ffmpeg")
        << "#!/bin/sh\necho 'encoder on strike' >&2\nexit 7\n";
    fs::permissions(dir_ / "broken" / "ffmpeg", fs::perms::owner_all);
    outcome = Capture({"--fps", "10", "--to", "1", "-o", "a.mp4"},
                      (dir_ / "broken").string() + ":/usr/bin:/bin");
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("exit code 7"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("encoder on strike"), std::string::npos) << outcome.err;
    EXPECT_FALSE(fs::exists(dir_ / "a.mp4"));
}

TEST_F(CaptureTool, MissingSoundtrackGivesASilentVideoAndSaysSo) {
    fs::remove(dir_ / "brumlevo.mp3");
    const Outcome outcome = Capture({"--fps", "10", "--to", "0.5", "-o", "quiet.mp4"});
    EXPECT_EQ(outcome.exitCode, 3);
    EXPECT_NE(outcome.err.find("no soundtrack: brumlevo.mp3 is not a readable file in"),
              std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("the video has no sound"), std::string::npos);
    // The piece's own message box is told, not shown.
    EXPECT_NE(outcome.err.find("\"Kan ikke spille sang\" (Feil!)"), std::string::npos);
    const auto video = Streams(dir_ / "quiet.mp4", "v");
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(video[0].at("nb_read_frames"), "5");
    EXPECT_TRUE(Streams(dir_ / "quiet.mp4", "a").empty());
}

TEST_F(CaptureTool, SameCommandTwiceGivesTheSameFramesBitForBit) {
    // Through the strobe, the orange background, the fog and the green box.
    const std::vector<std::string> args = {"--fps", "5",  "--from", "30",
                                           "--to",  "62", "--size", "0.25"};
    auto withOutput = [&](const char* folder) {
        auto all = args;
        all.insert(all.end(), {"-o", folder});
        return all;
    };
    ASSERT_EQ(Capture(withOutput("one")).exitCode, 0);
    ASSERT_EQ(Capture(withOutput("two")).exitCode, 0);
    const auto one = FrameFiles(dir_ / "one");
    const auto two = FrameFiles(dir_ / "two");
    ASSERT_EQ(one.size(), static_cast<size_t>((62 - 30) * 5));
    ASSERT_EQ(two.size(), one.size());
    for (size_t i = 0; i < one.size(); ++i) {
        EXPECT_EQ(ReadText(one[i]), ReadText(two[i])) << one[i].filename();
    }
    const Picture small = ReadPng(one.front());
    EXPECT_EQ(small.width, 256);
    EXPECT_EQ(small.height, 192);
}

TEST_F(CaptureTool, InterruptFinishesTheVideoSoFar) {
    const pid_t pid = Start({"--fps", "30", "--size", "0.25", "-o", "cut.mp4"}, "/usr/bin:/bin");
    // ffmpeg writes (beside the output, until it is finished) once it has frames: by then the
    // piece runs and its signals are caught.
    auto written = [&] {
        for (const auto& entry : fs::directory_iterator(dir_)) {
            if (entry.path().filename().string().rfind(".cut.mp4.", 0) == 0 &&
                entry.file_size() > 0) {
                return true;
            }
        }
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!written() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGINT);
    const Outcome outcome = Wait(pid);
    EXPECT_EQ(outcome.exitCode, 130) << outcome.err;
    const size_t at = outcome.err.find("interrupted: ");
    ASSERT_NE(at, std::string::npos) << outcome.err;
    const auto video = Streams(dir_ / "cut.mp4", "v");
    ASSERT_EQ(video.size(), 1u);
    const int frames = std::atoi(video[0].at("nb_read_frames").c_str());
    EXPECT_EQ(frames, std::atoi(outcome.err.c_str() + at + 13)) << "the frames it says it wrote";
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, PieceFrames(30));
    EXPECT_EQ(Streams(dir_ / "cut.mp4", "a").size(), 1u);
}

}  // namespace
