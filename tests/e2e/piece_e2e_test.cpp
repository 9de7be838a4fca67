// The real executable, run as a user runs it: from a folder holding the
// soundtrack, on an X screen of the test's own, looked at with ImageMagick's
// import and steered with xdotool; and once with no display at all.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/x_server.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long the piece may take to end when asked: at once, but the other core
// may be busy, and built with the sanitizers its exit runs the leak check too.
const double kExitAllowance = 5.0;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A folder of its own to run in, with the soundtrack beside the piece, as the
// build leaves it.
struct RunFolder {
    RunFolder() {
        char name[] = "/tmp/flimrevo-e2e-XXXXXX";
        path = mkdtemp(name);
        symlink(FLIMREVO_SOUNDTRACK, (path + "/brumlevo.mp3").c_str());
    }
    ~RunFolder() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string path;
};

// Starts a program in a session of its own, in `folder`, with DISPLAY set to
// `display` (or unset, with every other way to a display), the sound going
// nowhere, standard error to `errors`.
pid_t Start(const std::vector<std::string>& argv, const std::string& display,
            const std::string& folder, const std::string& errors = "/dev/null") {
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("WAYLAND_DISPLAY");
        display.empty() ? unsetenv("DISPLAY") : setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (chdir(folder.c_str()) != 0 || !freopen("/dev/null", "w", stdout) ||
            !freopen(errors.c_str(), "w", stderr))
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

// Waits up to `limit` seconds; the exit code, or -1 (and the session killed)
// when it did not end. Afterwards no process of the session it led may be left.
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
    DIR* proc = opendir("/proc");
    while (dirent* entry = readdir(proc)) {
        // After "(name)" in /proc/N/stat: state, parent, process group, session.
        std::string line;
        std::getline(std::ifstream(std::string("/proc/") + entry->d_name + "/stat"), line);
        std::istringstream fields(
            line.substr(line.rfind(')') == std::string::npos ? line.size() : line.rfind(')') + 1));
        std::string state;
        long parent = 0, group = 0, session = 0;
        fields >> state >> parent >> group >> session;
        EXPECT_NE(session, pid) << "process " << entry->d_name << " outlived the piece";
    }
    closedir(proc);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Pixel {
    int r, g, b;
};

// The whole screen, through import as binary PPM with 8-bit channels.
std::vector<Pixel> Screenshot(const std::string& display, const std::string& folder, int pixels) {
    const std::string file = folder + "/screen.ppm";
    EXPECT_EQ(
        WaitFor(Start({"import", "-window", "root", "-depth", "8", file}, display, folder), 10), 0);
    const std::string data = Read(file);
    std::vector<Pixel> shot;
    const size_t start = data.size() - 3 * static_cast<size_t>(pixels);  // after the header
    for (size_t i = start; i + 2 < data.size(); i += 3) {
        shot.push_back(Pixel{static_cast<unsigned char>(data[i]),
                             static_cast<unsigned char>(data[i + 1]),
                             static_cast<unsigned char>(data[i + 2])});
    }
    return shot;
}

// Within one step of rounding of the 8-bit value of a colour given as decimals.
bool Shade(const Pixel& p, double r, double g, double b) {
    return std::abs(p.r - r * 255) <= 1.5 && std::abs(p.g - g * 255) <= 1.5 &&
           std::abs(p.b - b * 255) <= 1.5;
}

// On a screen of the mode's size, the blue wire lattice on black pixel for
// pixel, and Escape ends the piece at once. On a wide screen, the picture
// scaled to 960 x 720 between black borders, and a termination signal ends it
// with code 0 at once.
TEST(PieceOnX, ShowsTheLatticeFullscreenOnEachScreenAndEndsAtOnceWhenAsked) {
    const struct {
        int width, height;
        bool escape;
    } screens[] = {{1024, 768, true}, {1280, 720, false}};
    for (const auto& screen : screens) {
        SCOPED_TRACE(screen.width);
        testsupport::XServer x(screen.width, screen.height);
        ASSERT_FALSE(x.display.empty());
        RunFolder folder;
        const pid_t piece = Start({FLIMREVO_EXE}, x.display, folder.path);
        const auto started = Clock::now();
        while (WaitFor(Start({"xdotool", "search", "--name", "^flimrevo$"}, x.display, folder.path),
                       10) != 0) {
            ASSERT_LT(SecondsSince(started), 10.0) << "no window";
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        // A few seconds in: the first wire-cube stretch, before any fog or colour
        // cue.
        std::this_thread::sleep_for(std::chrono::seconds(3) - (Clock::now() - started));
        const auto shot = Screenshot(x.display, folder.path, screen.width * screen.height);
        ASSERT_EQ(shot.size(), static_cast<size_t>(screen.width * screen.height));
        const int left = (screen.width - screen.height * 4 / 3) / 2;
        size_t light = 0, dark = 0, other = 0, border = 0;
        for (size_t i = 0; i < shot.size(); ++i) {
            const Pixel& p = shot[i];
            const int column = static_cast<int>(i % static_cast<size_t>(screen.width));
            const bool black = p.r == 0 && p.g == 0 && p.b == 0;
            if (column < left || column >= screen.width - left) {
                border += black ? 0 : 1;
                continue;
            }
            light += Shade(p, 0.31, 0.31, 0.75) || (left && p.b > p.r + 60) ? 1 : 0;
            dark += Shade(p, 0.06, 0.06, 0.19) ? 1 : 0;
            other += black || Shade(p, 0.31, 0.31, 0.75) || Shade(p, 0.19, 0.19, 0.5) ||
                             Shade(p, 0.06, 0.06, 0.19)
                         ? 0
                         : 1;
        }
        EXPECT_EQ(border, 0u) << "the borders are black";
        EXPECT_GT(light, shot.size() / 100);
        if (!left) {
            EXPECT_GT(dark, shot.size() / 100);
            EXPECT_EQ(other, 0u) << "on black, the wire cubes' three blues and nothing else";
        }

        if (screen.escape) {
            ASSERT_EQ(WaitFor(Start({"xdotool", "key", "Escape"}, x.display, folder.path), 10), 0);
        } else {
            ASSERT_EQ(kill(piece, SIGTERM), 0);
        }
        EXPECT_EQ(WaitFor(piece, kExitAllowance), 0);
    }
}

TEST(PieceWithoutDisplay, ReportsOnStandardErrorAndExitsWithOne) {
    RunFolder folder;
    const std::string errors = folder.path + "/stderr.txt";
    EXPECT_EQ(WaitFor(Start({FLIMREVO_EXE}, "", folder.path, errors), kExitAllowance), 1);
    EXPECT_NE(Read(errors).find("could not init opengl"), std::string::npos) << Read(errors);
}

}  // namespace
