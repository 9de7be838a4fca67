// The real executable, run as a user runs it: from a folder holding the soundtrack, on an X screen
// of the test's own, looked at with ImageMagick's import and steered with xdotool; and once with no
// display at all.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "x_server.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long the piece may take to end. Built with the sanitizers, its exit runs the leak check too,
// which takes about half a second more.
#ifdef __SANITIZE_ADDRESS__
const double kExitAllowance = 2.0;
#else
const double kExitAllowance = 0.0;
#endif

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A folder of its own to run in, with the soundtrack beside the piece, as the build leaves it.
struct RunFolder {
    RunFolder() {
        char name[] = "/tmp/flimrevo-e2e-XXXXXX";
        path = mkdtemp(name);
        symlink(FLIMREVO_SOUNDTRACK, (path + "/brumlevo.mp3").c_str());
    }
    ~RunFolder() {
        unlink((path + "/brumlevo.mp3").c_str());
        unlink((path + "/stderr.txt").c_str());
        unlink((path + "/screen.ppm").c_str());
        rmdir(path.c_str());
    }
    std::string path;
};

// Starts a program in a session of its own, with DISPLAY set to `display` (or unset, with every
// other way to a display), the sound going nowhere, and standard error kept in the run folder.
pid_t Start(const std::vector<std::string>& argv, const std::string& display,
            const std::string& folder, const std::string& output = "/dev/null") {
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("WAYLAND_DISPLAY");
        display.empty() ? unsetenv("DISPLAY") : setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (!freopen("/dev/null", "w", stdout) || !freopen(output.c_str(), "w", stderr))
            _exit(126);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// Waits up to `limit` seconds; the exit code, or -1 (and the process killed) when it did not end.
int WaitFor(pid_t pid, double limit) {
    const auto start = Clock::now();
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (SecondsSince(start) > limit) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Tool(const std::vector<std::string>& argv, const std::string& display,
         const std::string& folder, const std::string& output = "/dev/null") {
    return WaitFor(Start(argv, display, folder, output), 10);
}

// Whether any process is left in the session the piece led.
bool SessionHasProcesses(pid_t session) {
    DIR* proc = opendir("/proc");
    bool found = false;
    while (dirent* entry = readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos)
            continue;
        // After "(name)": state, parent, process group, session.
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string state;
        long parent = 0, group = 0, sid = 0;
        fields >> state >> parent >> group >> sid;
        found = found || sid == session;
    }
    closedir(proc);
    return found;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Pixel {
    int r, g, b;
};

// A screenshot in binary PPM with 8-bit channels, as ImageMagick's import writes it.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<Pixel> pixels;
};

Screenshot ParsePpm(const std::string& data) {
    Screenshot shot;
    std::istringstream in(data);
    std::string magic;
    int width = 0, height = 0, maximum = 0;
    in >> magic >> width >> height >> maximum;
    const size_t start = static_cast<size_t>(in.tellg()) + 1;  // one white space, then pixels
    if (magic != "P6" || maximum != 255 || data.size() < start + size_t{3} * width * height)
        return shot;
    shot.width = width;
    shot.height = height;
    for (size_t i = start; i < start + size_t{3} * width * height; i += 3) {
        shot.pixels.push_back(Pixel{static_cast<unsigned char>(data[i]),
                                    static_cast<unsigned char>(data[i + 1]),
                                    static_cast<unsigned char>(data[i + 2])});
    }
    return shot;
}

// An 8-bit channel for a colour component given as a decimal, within one step of rounding.
bool Near(int channel, double component) {
    return std::abs(channel - component * 255.0) <= 1.5;
}

bool Shade(const Pixel& p, double r, double g, double b) {
    return Near(p.r, r) && Near(p.g, g) && Near(p.b, b);
}

class PieceOnX : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(x_.ok()); }

    // Starts the piece and waits for its window.
    void StartPiece() {
        piece_ = Start({FLIMREVO_EXE}, x_.display(), folder_.path);
        started_ = Clock::now();
        while (Tool({"xdotool", "search", "--name", "^flimrevo$"}, x_.display(), folder_.path) !=
               0) {
            ASSERT_LT(SecondsSince(started_), 10.0) << "no window";
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    void TearDown() override {
        if (piece_ > 0 && kill(piece_, 0) == 0)
            WaitFor(piece_, 0);
    }

    testsupport::XServer x_{1024, 768};
    RunFolder folder_;
    pid_t piece_ = -1;
    Clock::time_point started_;
};

TEST_F(PieceOnX, ShowsTheBlueWireLatticeFullscreenAndEscapeEndsItAtOnce) {
    StartPiece();
    // A few seconds in, inside the first wire-cube stretch, before any fog or colour cue.
    std::this_thread::sleep_for(std::chrono::seconds(3) - (Clock::now() - started_));
    const std::string dump = folder_.path + "/screen.ppm";
    ASSERT_EQ(Tool({"import", "-window", "root", "-depth", "8", dump}, x_.display(), folder_.path),
              0);
    const Screenshot shot = ParsePpm(Read(dump));
    EXPECT_EQ(shot.width, 1024);
    EXPECT_EQ(shot.height, 768);
    // On black, the wire cubes' three blues and nothing else.
    size_t light = 0, dark = 0, other = 0;
    for (const Pixel& p : shot.pixels) {
        const bool black = p.r == 0 && p.g == 0 && p.b == 0;
        light += Shade(p, 0.31, 0.31, 0.75) ? 1 : 0;
        dark += Shade(p, 0.06, 0.06, 0.19) ? 1 : 0;
        other += black || Shade(p, 0.31, 0.31, 0.75) || Shade(p, 0.19, 0.19, 0.5) ||
                         Shade(p, 0.06, 0.06, 0.19)
                     ? 0
                     : 1;
    }
    const double all = static_cast<double>(shot.pixels.size());
    EXPECT_GT(light / all, 0.01);
    EXPECT_GT(dark / all, 0.01);
    EXPECT_EQ(other, 0u);

    const auto pressed = Clock::now();
    ASSERT_EQ(Tool({"xdotool", "key", "Escape"}, x_.display(), folder_.path), 0);
    EXPECT_EQ(WaitFor(piece_, 1.0 + kExitAllowance), 0);
    EXPECT_LT(SecondsSince(pressed), 1.0 + kExitAllowance);
    EXPECT_FALSE(SessionHasProcesses(piece_));
}

TEST_F(PieceOnX, TerminationSignalEndsItWithCodeZeroWithinASecond) {
    StartPiece();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto signalled = Clock::now();
    ASSERT_EQ(kill(piece_, SIGTERM), 0);
    EXPECT_EQ(WaitFor(piece_, 1.0 + kExitAllowance), 0);
    EXPECT_LT(SecondsSince(signalled), 1.0 + kExitAllowance);
    EXPECT_FALSE(SessionHasProcesses(piece_));
}

TEST(PieceWithoutDisplay, ReportsOnStandardErrorAndExitsWithOneWithinTwoSeconds) {
    RunFolder folder;
    const std::string errors = folder.path + "/stderr.txt";
    const auto start = Clock::now();
    const pid_t piece = Start({FLIMREVO_EXE}, "", folder.path, errors);
    EXPECT_EQ(WaitFor(piece, 2.0 + kExitAllowance), 1);
    EXPECT_LT(SecondsSince(start), 2.0 + kExitAllowance);
    EXPECT_NE(Read(errors).find("could not init opengl"), std::string::npos) << Read(errors);
    EXPECT_FALSE(SessionHasProcesses(piece));
}

}  // namespace
