// The display opener, the closer, the presenter, the window procedure and the fatal report, on the
// real platform layer (headless), watched through its call record and driven by its failure
// injection.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/host.h"
#include "window/window.h"

namespace {

using Log = std::vector<std::string>;

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// The recorded calls, without the default handling of the messages the platform sends.
Log Calls(const Log& log) {
    Log calls;
    for (const std::string& entry : log) {
        if (!StartsWith(entry, "DefWindowProcA")) {
            calls.push_back(entry);
        }
    }
    return calls;
}

Log Names(const Log& log) {
    Log names;
    for (const std::string& entry : Calls(log)) {
        names.push_back(entry.substr(0, entry.find(' ')));
    }
    return names;
}

std::string Hex(unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", value);
    return text;
}

// The opener's calls in order, when every step succeeds (fullscreen).
// clang-format off
const char* const kOpeningCalls[] = {
    "ChangeDisplaySettingsA", "ShowCursor", "GetModuleHandleA", "LoadCursorA", "RegisterClassA",
    "CreateWindowExA", "GetDC", "ChoosePixelFormat", "SetPixelFormat", "wglCreateContext",
    "wglMakeCurrent",
};
// clang-format on

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host::Reset();
        DisplayState = DisplayStateRecord{};
        host::Options options;
        options.video = host::Video::Headless;
        options.onPresent = [this](const host::Frame& frame) {
            presented_ += frame.width == 1024 && frame.height == 768 ? 1 : 100;
        };
        options.onMessageBox = [](const char*, const char*) {};
        host::Configure(options);
    }
    void TearDown() override {
        host::Reset();
        DisplayState = DisplayStateRecord{};
    }

    // Opens as the driver does, or with the given mode, and returns the calls made.
    Log Open(int width = 1024, int height = 768, int bits = 32, int fullscreen = 1) {
        host::StartRecording();
        result_ = OpenGlWindow("flimrevo", width, height, bits, 24, -1, fullscreen);
        return host::StopRecording();
    }
    Log Close() {
        host::StartRecording();
        closed_ = CloseGlWindow();
        return host::StopRecording();
    }

    int result_ = -1;
    BOOL closed_ = -1;
    int presented_ = 0;  // frames of the mode's size handed to the host
};

// The size of the display mode in force, emulated or the desktop's.
std::string ModeInForce() {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) {
        return "none";
    }
    return std::to_string(mode.dmPelsWidth) + "x" + std::to_string(mode.dmPelsHeight);
}

bool ClassRegistered() {
    WNDCLASSA probe{};
    probe.lpfnWndProc = DefWindowProcA;
    probe.hInstance = GetModuleHandleA(nullptr);
    probe.lpszClassName = "vokle";
    return RegisterClassA(&probe) == 0;  // a second registration of a name fails
}

TEST_F(WindowTest, DriversOpeningMakesEveryCallInOrderWithTheRecordsFilledIn) {
    const Log log = Open();
    ASSERT_EQ(result_, 1);
    // The descriptor the opener is to pass, from its table: RGBA, double-buffered, 32 colour,
    // 24 depth and 8 stencil bits, everything else zero.
    PIXELFORMATDESCRIPTOR descriptor{};
    descriptor.nSize = 40;
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    descriptor.cColorBits = 32;
    descriptor.cDepthBits = 24;
    descriptor.cStencilBits = 8;
    const int chosen = ChoosePixelFormat(DisplayState.deviceContext, &descriptor);
    ASSERT_NE(chosen, 0);
    EXPECT_EQ(Calls(log),
              (Log{
                  // Fields: DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT; no refresh rate.
                  "ChangeDisplaySettingsA size=148 fields=0x001c0000 1024x768x32 frequency=0 "
                  "rest=zero flags=4",
                  "ShowCursor 0",
                  "GetModuleHandleA",
                  "LoadCursorA",
                  "RegisterClassA class=vokle style=0x0023 proc=set extra=0,0 instance=self "
                  "icon=null cursor=arrow brush=null menu=null",
                  "CreateWindowExA ex=0x0 class=vokle title=flimrevo style=0x90000000 x=0 y=0 "
                  "w=1024 h=768 parent=null menu=null instance=self param=null",
                  "GetDC",
                  "ChoosePixelFormat size=40 version=1 flags=0x25 type=0 colour=32 depth=24 "
                  "stencil=8 rest=zero",
                  "SetPixelFormat " + std::to_string(chosen),
                  "wglCreateContext",
                  "wglMakeCurrent context",
              }));
    EXPECT_EQ(DisplayState.fullscreen, 1);
    EXPECT_EQ(DisplayState.width, 1024);
    EXPECT_EQ(DisplayState.height, 768);
    EXPECT_EQ(DisplayState.instance, GetModuleHandleA(nullptr));
    EXPECT_TRUE(IsWindow(DisplayState.window));
    EXPECT_NE(DisplayState.deviceContext, nullptr);
    EXPECT_NE(DisplayState.renderingContext, nullptr);
    // The context is current, with the mode's size as its viewport.
    GLint viewport[4] = {-1, -1, -1, -1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 1024);
    EXPECT_EQ(viewport[3], 768);
    // The class's procedure is WindowProcedure: a WM_SIZE sent to the window reaches DisplayState.
    SendMessageA(DisplayState.window, WM_SIZE, 0, MAKELPARAM(10, 20));
    EXPECT_EQ(DisplayState.width, 10);
    EXPECT_EQ(DisplayState.height, 20);
}

TEST_F(WindowTest, WindowedOpeningLeavesTheDisplayAloneAndGivesTheExactClientArea) {
    const Log opened = Open(640, 480, 32, 0);
    ASSERT_EQ(result_, 1);
    EXPECT_EQ(Names(opened),
              (Log{"GetModuleHandleA", "LoadCursorA", "RegisterClassA", "AdjustWindowRect",
                   "CreateWindowExA", "GetDC", "ChoosePixelFormat", "SetPixelFormat",
                   "wglCreateContext", "wglMakeCurrent"}));
    EXPECT_NE(Calls(opened)[4].find("style=0x10cf0000 x=0 y=0 "), std::string::npos);
    // The adjusted outer rectangle leaves a client area of exactly 640 x 480: the WM_SIZE sent
    // during creation says so, and so does the viewport of the context's first use.
    EXPECT_EQ(DisplayState.width, 640);
    EXPECT_EQ(DisplayState.height, 480);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);
    EXPECT_EQ(Names(Close()), (Log{"wglMakeCurrent", "wglDeleteContext", "ReleaseDC",
                                   "DestroyWindow", "UnregisterClassA"}));
    EXPECT_TRUE(closed_);
}

// Each failing step of the opener: what stays acquired when it returns 0. The mode asked for is
// 800 x 600, so that a changed mode shows against the headless desktop's.
struct FailureRow {
    const char* failing;
    bool modeChanged, cursorHidden, instanceSet, classRegistered, windowMade, pixelFormatSet;
};

// clang-format off
const FailureRow kFailures[] = {
    //  failing call               mode   cursor instance class  window format
    {"ChangeDisplaySettingsA",    false, false, false,   false, false, false},
    {"RegisterClassA",            true,  true,  true,    false, false, false},
    {"CreateWindowExA",           true,  true,  true,    true,  false, false},
    {"ChoosePixelFormat",         true,  true,  true,    true,  true,  false},
    {"wglCreateContext",          true,  true,  true,    true,  true,  true },
};
// clang-format on

TEST_F(WindowTest, EachFailingStepReturnsZeroLeavingWhatItsRowSays) {
    for (const FailureRow& row : kFailures) {
        SCOPED_TRACE(row.failing);
        SetUp();
        DEVMODEA desktop{};
        desktop.dmSize = sizeof desktop;
        ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_REGISTRY_SETTINGS, &desktop));
        ASSERT_FALSE(desktop.dmPelsWidth == 800 && desktop.dmPelsHeight == 600);
        host::FailCall(row.failing);

        const Log names = Names(Open(800, 600, 16));
        EXPECT_EQ(result_, 0);
        // The calls up to the failing one, and nothing after it.
        Log expected;
        for (const char* call : kOpeningCalls) {
            expected.push_back(call);
            if (expected.back() == row.failing)
                break;
        }
        EXPECT_EQ(names, expected);

        host::ClearFailures();
        EXPECT_EQ(DisplayState.fullscreen, 1);
        EXPECT_EQ(DisplayState.width, 800);
        EXPECT_EQ(DisplayState.height, 600);
        EXPECT_EQ(ModeInForce() == "800x600", row.modeChanged);
        EXPECT_EQ(DisplayState.instance != nullptr, row.instanceSet);
        EXPECT_EQ(DisplayState.window != nullptr && IsWindow(DisplayState.window), row.windowMade);
        EXPECT_EQ(DisplayState.deviceContext != nullptr, row.windowMade);
        EXPECT_EQ(DisplayState.renderingContext, nullptr);
        // A context can be made for the device context only once its pixel format is set.
        HGLRC probe =
            DisplayState.deviceContext ? wglCreateContext(DisplayState.deviceContext) : nullptr;
        EXPECT_EQ(probe != nullptr, row.pixelFormatSet);
        if (probe != nullptr)
            wglDeleteContext(probe);
        EXPECT_EQ(ClassRegistered(), row.classRegistered);
        // The display counter: 0 after showing once more means it stood at -1, hidden.
        EXPECT_EQ(ShowCursor(TRUE) == 0, row.cursorHidden);
        TearDown();
    }
}

TEST_F(WindowTest, FailingMakeCurrentStillOpens) {
    host::FailCall("wglMakeCurrent");
    const Log names = Names(Open());
    EXPECT_EQ(result_, 1);
    EXPECT_EQ(names, Log(std::begin(kOpeningCalls), std::end(kOpeningCalls)));
    EXPECT_NE(DisplayState.renderingContext, nullptr);
}

TEST_F(WindowTest, ClosingANeverOpenedDisplayOnlyTriesTheClassAndGivesZero) {
    EXPECT_EQ(Close(), (Log{"UnregisterClassA vokle"}));
    EXPECT_EQ(closed_, FALSE);
}

TEST_F(WindowTest, ClosingAfterAFullOpenRestoresFirstThenReleasesInOrder) {
    Open();
    ASSERT_EQ(result_, 1);
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
}

TEST_F(WindowTest, PresentingSwapsOnlyWithADeviceContext) {
    PresentFrame();
    EXPECT_EQ(presented_, 0);
    Open();
    ASSERT_EQ(result_, 1);
    PresentFrame();
    PresentFrame();
    EXPECT_EQ(presented_, 2);
}

// WM_SIZE takes the low and high 16 bits of lParam, each zero-extended, whatever wParam is.
struct SizeRow {
    LPARAM lParam;
    WPARAM wParam;
    int width, height;
};

// clang-format off
const SizeRow kSizes[] = {
    {0,                                                   SIZE_RESTORED, 0,    0    },
    {static_cast<LPARAM>(0xFFFF0400u),                    SIZE_RESTORED, 1024, 65535},
    {static_cast<LPARAM>(static_cast<LONG>(0xFFFF0400u)), SIZE_RESTORED, 1024, 65535},
    {MAKELPARAM(640, 480),                                1,             640,  480  },
};
// clang-format on

TEST_F(WindowTest, SizeMessagesStoreTheClientSizeAndGoNoFurther) {
    for (const SizeRow& row : kSizes) {
        SCOPED_TRACE(Hex(static_cast<unsigned long long>(row.lParam)));
        DisplayState.width = DisplayState.height = -1;
        host::StartRecording();
        EXPECT_EQ(WindowProcedure(nullptr, WM_SIZE, row.wParam, row.lParam), 0);
        EXPECT_TRUE(host::StopRecording().empty());
        EXPECT_EQ(DisplayState.width, row.width);
        EXPECT_EQ(DisplayState.height, row.height);
    }
}

TEST_F(WindowTest, CloseMessagePostsQuitZeroAndKeepsTheWindow) {
    Open();
    ASSERT_EQ(result_, 1);
    host::StartRecording();
    EXPECT_EQ(WindowProcedure(DisplayState.window, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(host::StopRecording(), (Log{"PostQuitMessage 0"}));
    EXPECT_TRUE(IsWindow(DisplayState.window));
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 0u);
}

// System commands: only the screen-saver and monitor power-down requests, compared whole, stop at
// the procedure; everything else reaches DefWindowProcA with the same values.
struct CommandRow {
    WPARAM command;
    bool reachesDefault;
};

// clang-format off
const CommandRow kCommands[] = {
    {SC_SCREENSAVE,       false},
    {SC_MONITORPOWER,     false},
    {SC_SCREENSAVE + 1,   true },
    {SC_MONITORPOWER + 2, true },
    {SC_CLOSE,            true },
    {SC_KEYMENU,          true },
    {SC_MINIMIZE,         true },
    {SC_MAXIMIZE,         true },
    {SC_RESTORE,          true },
    {SC_MOVE,             true },
    {SC_SIZE,             true },
};
// clang-format on

TEST_F(WindowTest, OnlyScreenSaverAndMonitorPowerCommandsAreSwallowed) {
    for (const CommandRow& row : kCommands) {
        SCOPED_TRACE(Hex(row.command));
        host::StartRecording();
        EXPECT_EQ(WindowProcedure(nullptr, WM_SYSCOMMAND, row.command, 2), 0);
        const Log log = host::StopRecording();
        if (row.reachesDefault) {
            EXPECT_EQ(log, (Log{"DefWindowProcA 0x0112 " + Hex(row.command) + " 0x2"}));
        } else {
            EXPECT_TRUE(log.empty());
        }
    }
}

TEST_F(WindowTest, OtherMessagesGoToTheDefaultWithTheirResult) {
    host::StartRecording();
    // The default handling lets WM_NCCREATE go on with TRUE; the procedure returns that result.
    EXPECT_EQ(WindowProcedure(nullptr, WM_NCCREATE, 0, 0), TRUE);
    EXPECT_EQ(WindowProcedure(nullptr, WM_USER + 5, 0x1234, 0x5678), 0);
    EXPECT_EQ(host::StopRecording(),
              (Log{"DefWindowProcA 0x0081 0x0 0x0", "DefWindowProcA 0x0405 0x1234 0x5678"}));
}

void ReportExit() {
    std::fputs("exit handlers ran\n", stderr);
}

TEST_F(WindowTest, FatalErrorShowsABoxWithTheDefaultCaptionThenExitsWithOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            host::Options options = host::Current();
            options.onMessageBox = [](const char* text, const char* caption) {
                std::fprintf(stderr, "box %s|%s\n", caption, text);
            };
            host::Configure(options);
            Open();  // the window is open and stays so
            std::atexit(ReportExit);
            FatalError("could not init opengl");
        },
        ::testing::ExitedWithCode(1), "box Error\\|could not init opengl\nexit handlers ran");
}

}  // namespace
