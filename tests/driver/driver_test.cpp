// The frame loop, with the whole piece headless on the virtual clock: each way out ends the piece
// after the frame in which it came, that frame having presented, drained the queue and polled
// Escape; and a display that cannot be opened ends the process with code 1 before any sound.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "driver/piece.h"
#include "platform/host.h"
#include "support/push_key.h"
#include "window/window.h"

namespace {

using Log = std::vector<std::string>;

struct PieceRun {
    int exitCode = -1;
    int frames = 0;
    Log log;                   // every recorded call, from the start to the end of the run
    unsigned escapeAfter = 0;  // GetAsyncKeyState(VK_ESCAPE) once the piece has returned
};

// Runs PieceMain. Frame n is drawn at msOf(n) ms past the start and, as it is presented,
// atFrame(n) runs: what it posts or presses reaches the loop's pump and poll of frame n.
PieceRun RunPiece(const std::function<std::uint32_t(int)>& msOf,
                  const std::function<void(int)>& atFrame, int maxFrames = 20) {
    const std::uint32_t start = 7000;
    PieceRun run;
    host::Reset();
    DisplayState = DisplayStateRecord{};
    host::Options options;
    options.video = host::Video::Headless;
    options.audio = host::Audio::Silent;
    options.virtualClock = true;
    options.onMessageBox = [](const char*, const char*) {};
    options.onPresent = [&](const host::Frame&) {
        const int n = run.frames++;
        atFrame(n);
        if (run.frames >= maxFrames) {
            host::RequestClose();  // a stop for a loop that would not end
        }
        host::SetTicks(start + msOf(n + 1));
    };
    host::Configure(options);
    host::SetTicks(start + msOf(0));
    host::StartRecording();
    char name[] = "flimrevo";
    char* argv[] = {name, nullptr};
    char* envp[] = {nullptr};
    run.exitCode = PieceMain(1, argv, envp);
    run.log = host::StopRecording();
    run.escapeAfter = static_cast<WORD>(GetAsyncKeyState(VK_ESCAPE));
    host::Reset();
    return run;
}

std::uint32_t EverySecond(int n) {
    return static_cast<std::uint32_t>(n) * 1000u;
}

// Where the first entry that starts with `prefix` stands in the log; the log's size when none.
size_t Find(const Log& log, const std::string& prefix) {
    const auto at = std::find_if(log.begin(), log.end(),
                                 [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
    return static_cast<size_t>(at - log.begin());
}

const char kCloseStarts[] = "ChangeDisplaySettingsA null 0";

TEST(FrameLoop, EscapePressedAndReleasedBetweenTwoPollsEndsThePieceAfterThatFrame) {
    const PieceRun run = RunPiece(EverySecond, [](int n) {
        if (n == 1) {
            PushKey(SDLK_a, true);  // any other key leaves the piece running
            PushKey(SDLK_a, false);
        }
        if (n == 3) {
            PushKey(SDLK_ESCAPE, true);
            PushKey(SDLK_ESCAPE, false);
        }
    });
    EXPECT_EQ(run.frames, 4);
    EXPECT_EQ(run.exitCode, 0);
    // The key messages of that frame were pumped to the window before the closing began.
    EXPECT_LT(Find(run.log, "DefWindowProcA 0x0101 0x1b "), Find(run.log, kCloseStarts));
    EXPECT_EQ(run.log.back(), "UnregisterClassA vokle");
}

TEST(FrameLoop, PumpDrainsTheQueuePastTheQuitMessage) {
    const PieceRun run = RunPiece(EverySecond, [](int n) {
        if (n == 2) {
            PostMessageA(nullptr, WM_QUIT, 0, 0);
            PostMessageA(DisplayState.window, WM_USER + 1, 0x11, 0x22);
        }
    });
    EXPECT_EQ(run.frames, 3);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_LT(Find(run.log, "DefWindowProcA 0x0401 0x11 0x22"), Find(run.log, kCloseStarts));
}

TEST(FrameLoop, InterruptClosesThroughTheWindowProcedureAndTheShutdown) {
    const PieceRun run = RunPiece(EverySecond, [](int n) {
        if (n == 1) {
            std::raise(SIGINT);  // Ctrl+C
        }
    });
    EXPECT_EQ(run.frames, 2);
    EXPECT_EQ(run.exitCode, 0);
    const size_t quit = Find(run.log, "PostQuitMessage 0");
    const size_t destroyed = Find(run.log, "DestroyWindow");
    EXPECT_LT(quit, Find(run.log, kCloseStarts));
    // The window outlives the close request: only the shutdown destroys it, once.
    EXPECT_LT(Find(run.log, "wglDeleteContext"), destroyed);
    EXPECT_EQ(std::count(run.log.begin(), run.log.end(), "DestroyWindow"), 1);
}

// Frames at 0, 60, 92 and 93 s: the lattice stage ends the piece in the one at 93 s, past 92.7.
std::uint32_t TowardsTheEnd(int n) {
    const std::uint32_t ms[] = {0, 60000, 92000, 93000, 94000, 95000};
    return ms[std::min(n, 5)];
}

TEST(FrameLoop, FrameInWhichThePieceEndsStillPresentsPumpsAndPolls) {
    const PieceRun ended = RunPiece(TowardsTheEnd, [](int n) {
        if (n == 3) {
            PostMessageA(DisplayState.window, WM_USER + 2, 0, 0);
        }
    });
    EXPECT_EQ(ended.frames, 4);  // presented, and the last
    EXPECT_EQ(ended.exitCode, 0);
    EXPECT_LT(Find(ended.log, "DefWindowProcA 0x0402 0x0 0x0"), Find(ended.log, kCloseStarts));

    // An Escape press in that frame is taken by its poll: none is left over afterwards.
    const PieceRun polled = RunPiece(TowardsTheEnd, [](int n) {
        if (n == 3) {
            PushKey(SDLK_ESCAPE, true);
            PushKey(SDLK_ESCAPE, false);
        }
    });
    EXPECT_EQ(polled.frames, 4);
    EXPECT_EQ(polled.escapeAfter, 0u);
}

// The piece with a context that cannot be made; reports its box and whether sound was started.
void RunWithoutAContext() {
    host::Reset();
    host::Options options;
    options.video = host::Video::Headless;
    options.audio = host::Audio::Silent;
    options.onMessageBox = [](const char* text, const char* caption) {
        const Log log = host::StopRecording();
        const bool sound = std::any_of(
            log.begin(), log.end(), [](const std::string& s) { return s.rfind("BASS_", 0) == 0; });
        std::fprintf(stderr, "box %s|%s, audio %s\n", caption, text,
                     sound ? "started" : "untouched");
    };
    host::Configure(options);
    host::FailCall("wglCreateContext");
    host::StartRecording();
    char name[] = "flimrevo";
    char* argv[] = {name, nullptr};
    char* envp[] = {nullptr};
    PieceMain(1, argv, envp);
}

TEST(FrameLoopDeathTest, DisplayThatCannotOpenExitsWithOneAfterTheBoxAndWithoutSound) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunWithoutAContext(), ::testing::ExitedWithCode(1),
                "box Error\\|could not init opengl, audio untouched");
}

}  // namespace
