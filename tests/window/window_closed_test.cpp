// A window destroyed from outside (another X client closing it) at each step of its opening, on a
// real X server of the test's own: whichever step it follows, the process ends with code 1 and
// one line saying so, and never goes on drawing into nothing. Its own DestroyWindow is no loss.
#include <gtest/gtest.h>

#include <windows.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/host.h"
#include "process.h"

namespace {

// The steps of a window's opening as the piece makes them, in order; the window is destroyed from
// outside after the first `before` of them, and the opening goes on, then presents and pumps.
void OpenAndPresent(int before, const std::string& display) {
    alarm(30);  // a process that hangs instead of ending fails the row too
    const auto closeFromOutside = [&](int step) {
        if (step == before) {
            // The window is looked for by its title, as a viewer's tool would.
            const std::string xdotool = "DISPLAY=" + display + " xdotool ";
            std::system(
                (xdotool + "windowclose $(" + xdotool + "search --name '^flimrevo$')").c_str());
        }
    };
    host::Options options;
    options.video.output = host::Video::Desktop;
    host::Start(options);
    WNDCLASSA record{};
    record.lpfnWndProc = DefWindowProcA;
    record.hInstance = GetModuleHandleA(nullptr);
    record.lpszClassName = "closed";
    RegisterClassA(&record);
    const HWND window = CreateWindowExA(0, "closed", "flimrevo", WS_POPUP | WS_VISIBLE, 0, 0, 320,
                                        240, nullptr, nullptr, record.hInstance, nullptr);
    closeFromOutside(0);
    const HDC dc = GetDC(window);
    closeFromOutside(1);
    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.cColorBits = 24;
    format.cDepthBits = 24;
    format.cStencilBits = 8;
    SetPixelFormat(dc, ChoosePixelFormat(dc, &format), &format);
    closeFromOutside(2);
    const HGLRC context = wglCreateContext(dc);
    closeFromOutside(3);
    wglMakeCurrent(dc, context);
    closeFromOutside(4);
    for (int frame = 0; frame < 50; ++frame) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        SwapBuffers(dc);
        closeFromOutside(5 + frame);
    }
    // Never closed from outside: its own DestroyWindow, with messages pumped after it, is no loss.
    DestroyWindow(window);
    for (int pump = 0; pump < 10; ++pump) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        usleep(20000);
    }
    std::exit(0);
}

TEST(WindowClosedDeathTest, AtEachStepOfItsOpeningTheProcessEnds) {
    testsupport::XServer x(1024, 768);
    ASSERT_FALSE(x.display.empty());
    setenv("DISPLAY", x.display.c_str(), 1);
    const char* steps[] = {"CreateWindowExA",  "GetDC",          "SetPixelFormat",
                           "wglCreateContext", "wglMakeCurrent", "the first SwapBuffers"};
    for (int before = 0; before < 6; ++before) {
        EXPECT_EXIT(OpenAndPresent(before, x.display), testing::ExitedWithCode(1),
                    "the window was destroyed from outside")
            << "closed after " << steps[before];
    }
    EXPECT_EXIT(OpenAndPresent(-1, x.display), testing::ExitedWithCode(0), "");
}

}  // namespace
