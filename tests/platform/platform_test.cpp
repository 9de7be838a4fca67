// The platform's tables (cases.h) against the SDL back end, headless.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "audio_files.h"
#include "cases.h"
#include <bass.h>
#include "platform/host.h"
#include "platform/probe.h"

namespace {

void ExpectAll(const std::vector<platform_cases::Outcome>& outcomes) {
    EXPECT_FALSE(outcomes.empty());
    for (const auto& outcome : outcomes)
        EXPECT_EQ(outcome.got, outcome.expected) << outcome.name;
}

TEST(PlatformCore, EveryRowOfTheMessageTableHolds) {
    host::Options options;
    options.video.output = host::Video::Headless;
    host::Start(options);
    ExpectAll(platform_cases::RunCoreCases());
    host::Stop();
}

TEST(AudioContract, EveryRowOfTheContractHolds) {
    testsupport::Folder dir(false);
    const std::string sound = dir.path + "/tone.mp3", text = dir.path + "/text.mp3";
    audiotest::WriteMp3(audiotest::TestSignal(0.5), sound);
    std::ofstream(text) << "not a sound file\n";
    host::Options options;
    options.audio = host::Audio::Silent;  // whatever sound card this machine has, or none
    host::Start(options);
    ExpectAll(platform_cases::RunAudioCases({sound, text, dir.path + "/missing.mp3", dir.path}));
    host::Stop();
}

// Every probed call that Win32 lets fail fails when the probe says so, and succeeds once it no
// longer does: a failing call that did its work anyway would make every failure test test nothing.
TEST(Probe, EveryCallAskedToFailFailsAndThenSucceeds) {
    host::Options options;
    options.video.output = host::Video::Headless;
    host::Start(options);
    WNDCLASSA record{};
    record.lpfnWndProc = DefWindowProcA;
    record.hInstance = GetModuleHandleA(nullptr);
    for (const char* name : {"probe-case", "probe-free"}) {
        record.lpszClassName = name;
        ASSERT_NE(RegisterClassA(&record), 0);
    }
    const auto open = [&] {
        return CreateWindowExA(0, "probe-case", "probe", WS_POPUP, 0, 0, 32, 32, nullptr, nullptr,
                               record.hInstance, nullptr);
    };
    const HWND window = open(), other = open();
    const HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.cColorBits = 24;
    const int chosen = ChoosePixelFormat(dc, &format);
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    HGLRC context = nullptr;
    // Each row: the call, in the order the rows run, and whether it succeeded.
    const struct {
        const char* name;
        std::function<bool()> call;
    } rows[] = {
        {"SetPixelFormat", [&] { return SetPixelFormat(dc, chosen, &format) != 0; }},
        {"EnumDisplaySettingsA", [&] { return EnumDisplaySettingsA(nullptr, 0, &mode) != 0; }},
        {"ReleaseDC", [&] { return ReleaseDC(window, dc) != 0; }},
        {"LoadCursorA", [] { return LoadCursorA(nullptr, IDC_ARROW) != nullptr; }},
        {"GetModuleHandleA", [] { return GetModuleHandleA(nullptr) != nullptr; }},
        {"UnregisterClassA", [&] { return UnregisterClassA("probe-free", record.hInstance) != 0; }},
        {"DestroyWindow", [&] { return DestroyWindow(other) != 0 && !IsWindow(other); }},
        {"wglDeleteContext",
         [&] {
             context = context ? context : wglCreateContext(dc);
             return context != nullptr && wglDeleteContext(context) != 0;
         }},
    };
    for (const auto& row : rows) {
        probe::FailCall(row.name);
        EXPECT_FALSE(row.call()) << row.name << " did not fail";
        probe::ClearFailures();
        EXPECT_TRUE(row.call()) << row.name << " failed without the probe";
    }
    host::Stop();
}

// A call that cannot fail is refused as a failure to inject, at once and loudly.
TEST(ProbeDeathTest, ACallThatCannotFailIsRefused) {
    for (const char* name :
         {"DefWindowProcA", "ShowCursor", "PostQuitMessage", "AdjustWindowRect", "MessageBoxA"}) {
        EXPECT_DEATH(probe::FailCall(name), std::string(name) + " cannot fail") << name;
    }
}

// The default output's other number, and the silent device 0 (the table opens device -1, and a
// browser's page only once).
TEST(AudioContract, DeviceOneAndDeviceZeroOpen) {
    for (int device : {0, 1}) {
        host::Options options;
        options.audio = host::Audio::Silent;
        host::Start(options);
        EXPECT_TRUE(BASS_Init(device, 44100, 0, nullptr, nullptr)) << device;
        host::Stop();
    }
}

}  // namespace
