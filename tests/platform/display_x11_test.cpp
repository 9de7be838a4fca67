// The fullscreen picture of an emulated display mode on a real X screen (an Xvfb of the test's
// own): pixel for pixel where the screen has the mode's size; elsewhere scaled to the largest size
// of the same aspect, centred, with black borders. The screen keeps its own size throughout.
#include <gtest/gtest.h>

#include <windows.h>
#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/host.h"
#include "x_server.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

const int kWidth = 1024, kHeight = 768;
const Rgb kBlack{0, 0, 0};
// The picture's four quadrants, indexed [top][right] as GL addresses them.
const Rgb kQuadrants[2][2] = {{{255, 0, 0}, {0, 255, 0}}, {{0, 0, 255}, {255, 255, 255}}};

class EmulatedModeOnX : public ::testing::Test {
  public:
    // Starts an X screen of the given size and shows the four-quadrant picture on it through an
    // emulated 1024 x 768 mode.
    void Show(int screenWidth, int screenHeight) {
        server_ = std::make_unique<testsupport::XServer>(screenWidth, screenHeight);
        ASSERT_TRUE(server_->ok());
        setenv("DISPLAY", server_->display().c_str(), 1);
        host::Reset();
        host::Options options;
        options.video = host::Video::Desktop;
        host::Configure(options);
        x_ = XOpenDisplay(server_->display().c_str());
        ASSERT_NE(x_, nullptr);

        DEVMODEA mode{};
        mode.dmSize = sizeof mode;
        mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
        mode.dmPelsWidth = kWidth;
        mode.dmPelsHeight = kHeight;
        mode.dmBitsPerPel = 32;
        ASSERT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "picture";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
        const HWND window =
            CreateWindowExA(0, "picture", "picture", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight,
                            nullptr, nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
        dc_ = GetDC(window);
        PIXELFORMATDESCRIPTOR format{};
        format.nSize = sizeof format;
        format.nVersion = 1;
        format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        format.cColorBits = 32;
        format.cDepthBits = 24;
        ASSERT_TRUE(SetPixelFormat(dc_, ChoosePixelFormat(dc_, &format), &format));
        ASSERT_TRUE(wglMakeCurrent(dc_, wglCreateContext(dc_)));

        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], kWidth);
        EXPECT_EQ(viewport[3], kHeight);
        Grab(screenWidth, screenHeight);

        // The screen kept its size, as X and SDL see it, while the program's mode is 1024 x 768.
        EXPECT_EQ(DisplayWidth(x_, DefaultScreen(x_)), screenWidth);
        EXPECT_EQ(DisplayHeight(x_, DefaultScreen(x_)), screenHeight);
        SDL_DisplayMode real{};
        ASSERT_EQ(SDL_GetCurrentDisplayMode(0, &real), 0);
        EXPECT_EQ(real.w, screenWidth);
        EXPECT_EQ(real.h, screenHeight);
    }

    // Draws the four quadrants, as a program draws every frame afresh.
    static void Paint() {
        glEnable(GL_SCISSOR_TEST);
        for (int top = 0; top < 2; ++top) {
            for (int right = 0; right < 2; ++right) {
                const Rgb& c = kQuadrants[top][right];
                glScissor(right * kWidth / 2, top * kHeight / 2, kWidth / 2, kHeight / 2);
                glClearColor(c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, 1.0f);
                glClear(GL_COLOR_BUFFER_BIT);
            }
        }
        glDisable(GL_SCISSOR_TEST);
    }

    // Presents the picture until the screen shows it, and keeps the screen's pixels.
    void Grab(int width, int height) {
        const Window root = DefaultRootWindow(x_);
        for (int attempt = 0; attempt < 40; ++attempt) {
            Paint();
            SwapBuffers(dc_);
            if (image_ != nullptr)
                XDestroyImage(image_);
            image_ = XGetImage(x_, root, 0, 0, static_cast<unsigned>(width),
                               static_cast<unsigned>(height), AllPlanes, ZPixmap);
            // Two frames at least: the first after a change of screen may still take the old way.
            if (attempt > 0 && image_ != nullptr && !(At(width / 2 + 8, height / 2 + 8) == kBlack))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        FAIL() << "the picture never reached the screen";
    }

    Rgb At(int x, int y) const {
        const unsigned long p = XGetPixel(image_, x, y);
        return Rgb{static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
                   static_cast<int>(p & 0xFF)};
    }

    void TearDown() override {
        if (image_ != nullptr)
            XDestroyImage(image_);
        if (x_ != nullptr)
            XCloseDisplay(x_);
        host::Reset();
        unsetenv("DISPLAY");
    }

    std::unique_ptr<testsupport::XServer> server_;
    Display* x_ = nullptr;
    XImage* image_ = nullptr;
    HDC dc_ = nullptr;
};

// The screen's top-left 1024 x 768 pixels are the picture, pixel for pixel.
void ExpectPixelForPixel(const EmulatedModeOnX& t) {
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y) {
        const int glRow = kHeight - 1 - y;  // the screen's rows run downwards, GL's upwards
        for (int x = 0; x < kWidth; ++x) {
            wrong += t.At(x, y) == kQuadrants[glRow >= kHeight / 2][x >= kWidth / 2] ? 0 : 1;
        }
    }
    EXPECT_EQ(wrong, 0);
}

// The screen shows the picture scaled to the largest size of its aspect, centred, borders black.
void ExpectLetterboxed(const EmulatedModeOnX& t, int screenWidth, int screenHeight) {
    const double scale = std::min(static_cast<double>(screenWidth) / kWidth,
                                  static_cast<double>(screenHeight) / kHeight);
    const int width = static_cast<int>(std::lround(kWidth * scale));
    const int height = static_cast<int>(std::lround(kHeight * scale));
    const int left = (screenWidth - width) / 2, top = (screenHeight - height) / 2;
    const double midX = left + width / 2.0, midY = top + height / 2.0;
    int wrong = 0;
    for (int y = 0; y < screenHeight; ++y) {
        for (int x = 0; x < screenWidth; ++x) {
            const bool inside = x >= left && x < left + width && y >= top && y < top + height;
            const Rgb got = t.At(x, y);
            if (!inside) {
                wrong += got == kBlack ? 0 : 1;
            } else if (std::abs(x + 0.5 - midX) > 2 && std::abs(y + 0.5 - midY) > 2) {
                // Away from the seams between quadrants, scaling keeps each colour exact.
                wrong += got == kQuadrants[y < midY][x >= midX] ? 0 : 1;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    // The picture reaches its edges: the first and last columns inside are not border.
    EXPECT_FALSE(t.At(left, screenHeight / 4) == kBlack);
    EXPECT_FALSE(t.At(left + width - 1, screenHeight / 4) == kBlack);
}

TEST_F(EmulatedModeOnX, ScreenOfTheModesSizeShowsThePicturePixelForPixel) {
    Show(kWidth, kHeight);
    ASSERT_NE(image_, nullptr);
    ExpectPixelForPixel(*this);
}

TEST_F(EmulatedModeOnX, WideScreenGetsThePictureScaledWithItsAspectBetweenBlackBorders) {
    Show(1280, 720);
    ASSERT_NE(image_, nullptr);
    ExpectLetterboxed(*this, 1280, 720);  // 960 x 720 between borders of 160
}

// The screen under the picture changes size: the picture goes straight to it where the sizes
// agree, and is scaled again, with fresh black borders, where they no longer do.
TEST_F(EmulatedModeOnX, PictureFollowsTheScreenBetweenScaledAndOneToOne) {
    const int screenWidth = 1280, screenHeight = 800;
    Show(screenWidth, screenHeight);
    SDL_Window* screen = SDL_GL_GetCurrentWindow();
    ASSERT_NE(screen, nullptr);
    SDL_SetWindowFullscreen(screen, 0);
    for (const auto& size :
         {std::make_pair(kWidth, kHeight), std::make_pair(screenWidth, screenHeight)}) {
        SDL_SetWindowSize(screen, size.first, size.second);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        Grab(screenWidth, screenHeight);
        ASSERT_NE(image_, nullptr);
        if (size.first == kWidth) {
            ExpectPixelForPixel(*this);
        } else {
            ExpectLetterboxed(*this, screenWidth, screenHeight);
        }
    }
}

}  // namespace
