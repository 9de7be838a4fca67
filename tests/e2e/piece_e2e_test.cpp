// The real executable, run as a user runs it: from a folder holding the soundtrack, on an X screen
// of the test's own, looked at with ImageMagick's import and steered with xdotool. (Without any
// display, the release's check starts it.)
#include <gtest/gtest.h>

#include <cmath>

#include "support/process.h"

namespace {

using namespace testsupport;

// How long the piece may take to end when asked: at once, but the other core may be busy, and
// built with the sanitizers its exit runs the leak check too.
const double kExitAllowance = 5.0;

// Within one step of rounding of the 8-bit value of a colour given as decimals.
bool Shade(const unsigned char* p, double r, double g, double b) {
    return std::abs(p[0] - r * 255) <= 1.5 && std::abs(p[1] - g * 255) <= 1.5 &&
           std::abs(p[2] - b * 255) <= 1.5;
}

// On a screen of the mode's size, the blue wire lattice on black pixel for pixel; on a wide screen,
// the picture scaled to 960 x 720 between black borders. A termination signal ends it with code 0
// at once (Escape below).
TEST(PieceOnX, ShowsTheLatticeFullscreenOnEachScreenAndEndsAtOnceWhenAsked) {
    const struct { int width, height; } screens[] = {{1024, 768}, {1280, 720}};
    for (const auto& screen : screens) {
        SCOPED_TRACE(screen.width);
        XServer x(screen.width, screen.height);
        ASSERT_FALSE(x.display.empty());
        Folder folder;
        const std::string display = "DISPLAY=" + x.display + " ";
        const pid_t piece =
            Start({FLIMREVO_EXE}, folder, {"DISPLAY=" + x.display, "SDL_AUDIODRIVER=dummy"});
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(Eventually(display + "xdotool search --name '^flimrevo$'")) << "no window";
        // A few seconds in: the first wire-cube stretch, before any fog or colour cue.
        std::this_thread::sleep_for(std::chrono::seconds(3) -
                                    (std::chrono::steady_clock::now() - started));
        ASSERT_EQ(
            std::system((display + "import -window root -depth 8 " + folder / "s.ppm").c_str()), 0);
        const std::string data = Read(folder / "s.ppm");
        const size_t pixels = static_cast<size_t>(screen.width * screen.height);
        ASSERT_GE(data.size(), 3 * pixels);
        const auto* shot = reinterpret_cast<const unsigned char*>(data.data() + data.size()) -
                           3 * pixels;  // after the header
        const int left = (screen.width - screen.height * 4 / 3) / 2;
        size_t light = 0, dark = 0, other = 0, border = 0;
        for (size_t i = 0; i < pixels; ++i) {
            const unsigned char* p = shot + 3 * i;
            const int column = static_cast<int>(i % static_cast<size_t>(screen.width));
            const bool black = p[0] == 0 && p[1] == 0 && p[2] == 0;
            if (column < left || column >= screen.width - left) {
                border += black ? 0 : 1;
                continue;
            }
            const bool bright = Shade(p, 0.31, 0.31, 0.75), middle = Shade(p, 0.19, 0.19, 0.5),
                       faint = Shade(p, 0.06, 0.06, 0.19);
            light += bright || (left && p[2] > p[0] + 60) ? 1 : 0;
            dark += faint ? 1 : 0;
            other += black || bright || middle || faint ? 0 : 1;
        }
        EXPECT_EQ(border, 0u) << "the borders are black";
        EXPECT_GT(light, pixels / 100);
        if (!left) {
            EXPECT_GT(dark, pixels / 100);
            EXPECT_EQ(other, 0u) << "on black, the wire cubes' three blues and nothing else";
        }
        ASSERT_EQ(kill(piece, SIGTERM), 0);
        EXPECT_EQ(WaitFor(piece, kExitAllowance), 0);
        EXPECT_TRUE(SessionEnds(piece, 1)) << "a process outlived the piece";
    }
}

// The viewer's window: Alt+Enter shows the picture in a 1024 x 768 window and F11 takes it back to
// the whole screen, or the other way round after --window. The piece runs on throughout (its
// picture keeps changing, its soundtrack keeps going out through SDL's disk output), the screen's
// mode never changes, and Escape ends it with 0 from either state.
TEST(PieceOnX, SwitchesBetweenTheWholeScreenAndAWindowOnTheViewersKeys) {
    XServer x(1280, 1024);
    ASSERT_FALSE(x.display.empty());
    const std::string display = "DISPLAY=" + x.display + " ";
    const auto sized = [&](const char* size) {
        return Eventually(display +
                          "xdotool search --name '^flimrevo$' getwindowgeometry | grep -q '" +
                          size + "$'");
    };
    const char *screen = "1280x1024", *window = "1024x768";
    const auto bytes = [](const std::string& file) {
        std::error_code error;
        const auto size = std::filesystem::file_size(file, error);
        return error ? 0 : size;
    };
    for (bool startInWindow : {false, true}) {
        SCOPED_TRACE(startInWindow);
        Folder folder;
        Strings argv = {FLIMREVO_EXE};
        if (startInWindow)
            argv.push_back("--window");
        const pid_t piece = Start(argv, folder,
                                  {"DISPLAY=" + x.display, "SDL_AUDIODRIVER=disk",
                                   "SDL_DISKAUDIOFILE=" + folder / "sound.raw"});
        ASSERT_TRUE(sized(startInWindow ? window : screen));
        const struct {
            const char* key;
            const char* size;
        } steps[] = {{"alt+Return", startInWindow ? screen : window},
                     {"F11", startInWindow ? window : screen}};
        for (const auto& step : steps) {
            const auto sound = bytes(folder / "sound.raw");
            ASSERT_EQ(std::system((display + "import -window root " + folder / "a.ppm").c_str()),
                      0);
            ASSERT_EQ(std::system((display + "xdotool key " + step.key).c_str()), 0);
            EXPECT_TRUE(sized(step.size)) << step.key;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            ASSERT_EQ(std::system((display + "import -window root " + folder / "b.ppm").c_str()),
                      0);
            EXPECT_NE(Read(folder / "a.ppm"), Read(folder / "b.ppm")) << "the picture stood still";
            EXPECT_GT(bytes(folder / "sound.raw"), sound) << "no sound";
            EXPECT_EQ(std::system((display + "xrandr | grep -q 'current 1280 x 1024'").c_str()), 0);
        }
        ASSERT_EQ(std::system((display + "xdotool key Escape").c_str()), 0);
        EXPECT_EQ(WaitFor(piece, kExitAllowance), 0);
        EXPECT_TRUE(SessionEnds(piece, 1)) << "a process outlived the piece";
    }
}

}  // namespace
