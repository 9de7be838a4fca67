// The display opener, the closer, the presenter and the window procedure, on the real platform
// layer (headless), watched through its call record and driven by its failure injection.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/probe.h"
#include "window/window.h"

namespace {

using Log = std::vector<std::string>;

// The recorded calls but DefWindowProcA's handling of what the platform sends, or their names.
Log Calls(const Log& log, bool namesOnly = false) {
    Log calls;
    for (const std::string& entry : log) {
        if (entry.rfind("DefWindowProcA", 0) != 0)
            calls.push_back(namesOnly ? entry.substr(0, entry.find(' ')) : entry);
    }
    return calls;
}

// The opener's calls in order, when every step succeeds (fullscreen, 1024 x 768 x 32).
const Log kOpening = {
    // Fields: DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT; no refresh rate.
    "ChangeDisplaySettingsA size=148 fields=0x001c0000 1024x768x32 frequency=0 rest=zero flags=4",
    "ShowCursor 0",
    "GetModuleHandleA",
    "LoadCursorA",
    "RegisterClassA class=vokle style=0x0023 proc=set extra=0,0 instance=self icon=null "
    "cursor=arrow brush=null menu=null",
    "CreateWindowExA ex=0x0 class=vokle title=flimrevo style=0x90000000 x=0 y=0 w=1024 h=768 "
    "parent=null menu=null instance=self param=null",
    "GetDC",
    "ChoosePixelFormat size=40 version=1 flags=0x25 type=0 colour=32 depth=24 stencil=8 rest=zero",
    "SetPixelFormat",
    "wglCreateContext",
    "wglMakeCurrent context",
};

std::array<GLint, 4> Viewport() {
    std::array<GLint, 4> v = {-1, -1, -1, -1};
    glGetIntegerv(GL_VIEWPORT, v.data());
    return v;
}

bool ClassRegistered() {
    WNDCLASSA again{};
    again.lpfnWndProc = DefWindowProcA;
    again.hInstance = GetModuleHandleA(nullptr);
    again.lpszClassName = "vokle";
    return RegisterClassA(&again) == 0;  // a second registration of a name fails
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host::Stop();
        DisplayState = DisplayStateRecord{};
        host::Options options;
        options.video.output = host::Video::Headless;
        options.frames = [this](const host::Finished& step) {
            if (step.frame.index >= 0)
                presented_ += step.frame.width == 1024 && step.frame.height == 768 ? 1 : 100;
            return host::Next();
        };
        host::Start(options);
    }
    void TearDown() override { host::Stop(); }

    // Opens fullscreen as the driver does, or in the given mode, and returns the calls made.
    Log Open(int width = 1024, int height = 768, int bits = 32) {
        probe::StartRecording();
        result_ = OpenGlWindow("flimrevo", width, height, bits, 24, RequestedMode, Fullscreen);
        return probe::StopRecording();
    }
    Log Close() {
        probe::StartRecording();
        closed_ = CloseGlWindow();
        return probe::StopRecording();
    }

    int result_ = -1;
    BOOL closed_ = -1;
    int presented_ = 0;  // frames of the mode's size handed to the host
};

TEST_F(WindowTest, DriversOpeningFillsTheRecordsInOrderAndClosingRestoresFirst) {
    PresentFrame();  // no device context yet: nothing is presented
    const Log opened = Open();
    ASSERT_EQ(result_, 1);
    // The format chosen for the descriptor is the one set.
    Log calls = Calls(opened);
    ASSERT_EQ(calls.size(), 11u);
    EXPECT_EQ(calls[8].rfind("SetPixelFormat ", 0), 0u);
    calls[8] = "SetPixelFormat";
    EXPECT_EQ(calls, kOpening);
    EXPECT_EQ(DisplayState.instance, GetModuleHandleA(nullptr));
    // The class's procedure is WindowProcedure: a WM_SIZE sent to the window reaches DisplayState,
    // and never the viewport.
    SendMessageA(DisplayState.window, WM_SIZE, 0, MAKELPARAM(10, 20));
    EXPECT_EQ(DisplayState.width, 10);
    EXPECT_EQ(DisplayState.height, 20);
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 1024, 768}));
    PresentFrame();
    PresentFrame();
    EXPECT_EQ(presented_, 2);

    const HWND window = DisplayState.window;
    EXPECT_EQ(Calls(Close()),
              (Log{"ChangeDisplaySettingsA null 0", "ShowCursor 1", "wglMakeCurrent null",
                   "wglDeleteContext", "ReleaseDC", "DestroyWindow", "UnregisterClassA vokle"}));
    EXPECT_TRUE(closed_);
    EXPECT_EQ(DisplayState.renderingContext, nullptr);
    EXPECT_EQ(DisplayState.fullscreen, 1);  // never cleared
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(ClassRegistered());   // unregistered, so this probe registers it afresh
    EXPECT_EQ(ShowCursor(FALSE), -1);  // the counter is back at 0
    // Closed again, with the class gone: only the unregistration is tried, and it fails.
    DisplayState = DisplayStateRecord{};
    UnregisterClassA("vokle", GetModuleHandleA(nullptr));
    EXPECT_EQ(Close(), (Log{"UnregisterClassA vokle"}));
    EXPECT_EQ(closed_, FALSE);
}

// Each failing step of the opener and what stays acquired (a failing wglMakeCurrent still opens),
// in 800 x 600, a mode that shows against the headless desktop's.
struct FailingStep {
    const char* failing;
    bool modeChanged, instanceSet, classRegistered, windowMade, opens;
};

class WindowFailingStep : public WindowTest, public ::testing::WithParamInterface<FailingStep> {};

// clang-format off
INSTANTIATE_TEST_SUITE_P(EachStep, WindowFailingStep, ::testing::Values(
    FailingStep{"ChangeDisplaySettingsA", false, false, false, false, false},
    FailingStep{"RegisterClassA",         true,  true,  false, false, false},
    FailingStep{"CreateWindowExA",        true,  true,  true,  false, false},
    FailingStep{"ChoosePixelFormat",      true,  true,  true,  true,  false},
    FailingStep{"wglCreateContext",       true,  true,  true,  true,  false},
    FailingStep{"wglMakeCurrent",         true,  true,  true,  true,  true}));
// clang-format on

TEST_P(WindowFailingStep, ReturnsZeroLeavingWhatItsRowSays) {
    const FailingStep& row = GetParam();
    probe::FailCall(row.failing);
    const Log names = Calls(Open(800, 600, 16), true);
    EXPECT_EQ(result_, row.opens ? 1 : 0);
    // The calls up to the failing one, and nothing after it.
    const Log all = Calls(kOpening, true);
    EXPECT_EQ(names, Log(all.begin(), std::find(all.begin(), all.end(), row.failing) + 1));

    probe::ClearFailures();
    EXPECT_EQ(DisplayState.fullscreen, 1);
    EXPECT_EQ(DisplayState.width, 800);
    EXPECT_EQ(DisplayState.height, 600);
    DEVMODEA mode{};  // the mode in force, emulated or the desktop's
    mode.dmSize = sizeof mode;
    EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode);
    EXPECT_EQ(mode.dmPelsWidth == 800 && mode.dmPelsHeight == 600, row.modeChanged);
    EXPECT_EQ(DisplayState.instance != nullptr, row.instanceSet);
    EXPECT_EQ(DisplayState.window != nullptr && IsWindow(DisplayState.window), row.windowMade);
    EXPECT_EQ(DisplayState.deviceContext != nullptr, row.windowMade);
    EXPECT_EQ(DisplayState.renderingContext != nullptr, row.opens);
    EXPECT_EQ(ClassRegistered(), row.classRegistered);
    // The display counter: 0 after showing once more means it stood at -1, hidden.
    EXPECT_EQ(ShowCursor(TRUE) == 0, row.modeChanged);
}

// WM_SIZE takes the low and high 16 bits of lParam, zero-extended, whatever wParam is; only the
// screen-saver and monitor power-down commands, compared whole, stop at the procedure; everything
// else reaches DefWindowProcA with the same values, and its result comes back.
TEST_F(WindowTest, ProcedureAnswersEachMessageAsItsRowSays) {
    const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool reachesDefault;
        LRESULT result;
        int width, height;  // after it; -1: unchanged
    } rows[] = {{WM_SIZE, SIZE_RESTORED, static_cast<LPARAM>(static_cast<LONG>(0xFFFF0400u)), false,
                 0, 1024, 65535},
                {WM_SIZE, 1, MAKELPARAM(640, 480), false, 0, 640, 480},
                {WM_SYSCOMMAND, SC_SCREENSAVE, 2, false, 0, -1, -1},
                {WM_SYSCOMMAND, SC_MONITORPOWER, 2, false, 0, -1, -1},
                {WM_SYSCOMMAND, SC_SCREENSAVE + 1, 2, true, 0, -1, -1},
                {WM_NCCREATE, 0, 0, true, TRUE, -1, -1},  // the default lets creation go on
                {WM_USER + 5, 0x1234, 0x5678, true, 0, -1, -1}};
    for (const auto& row : rows) {
        char entry[64];
        std::snprintf(entry, sizeof entry, "DefWindowProcA 0x%04x 0x%llx 0x%llx", row.message,
                      static_cast<unsigned long long>(row.wParam),
                      static_cast<unsigned long long>(row.lParam));
        SCOPED_TRACE(entry);
        DisplayState.width = DisplayState.height = -1;
        probe::StartRecording();
        EXPECT_EQ(WindowProcedure(nullptr, row.message, row.wParam, row.lParam), row.result);
        EXPECT_EQ(probe::StopRecording(), row.reachesDefault ? Log{entry} : Log{});
        EXPECT_EQ(DisplayState.width, row.width);
        EXPECT_EQ(DisplayState.height, row.height);
    }

    // In another mode, the viewport of the context's first use is the client area. WM_CLOSE posts
    // quit code 0 and returns 0; the window stays until CloseGlWindow.
    Open(800, 600);
    ASSERT_EQ(result_, 1);
    EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 800, 600}));
    probe::StartRecording();
    EXPECT_EQ(WindowProcedure(DisplayState.window, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(probe::StopRecording(), (Log{"PostQuitMessage 0"}));
    EXPECT_TRUE(IsWindow(DisplayState.window));
}

}  // namespace
