// The whole piece headless on the virtual clock: each way out of its frame loop, a display that
// cannot open, no allocation in the loop; and the timeline clock.
#include <gtest/gtest.h>

#include <SDL.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/probe.h"
#include "support/piece_run.h"
#include "timeline/timeline.h"
#include "window/window.h"

#ifndef __SANITIZE_ADDRESS__
#define COUNTING_ALLOCATIONS 1

extern "C" void* __libc_malloc(size_t size);

namespace {

std::atomic<bool> counting{false};
std::atomic<long> ours{0}, theirs{0};
thread_local bool noting = false;

// Puts each malloc down to the first caller on its stack outside the C and C++ runtimes: this
// executable or a shared library (Mesa, SDL). Frames 0 and 1 are this function and malloc.
__attribute__((noinline)) void Note() {
    if (!counting || noting)
        return;
    noting = true;
    void* frames[32];
    const int depth = backtrace(frames, 32);
    Dl_info self, info;
    dladdr(reinterpret_cast<void*>(&Note), &self);
    for (int i = 2; i < depth; ++i) {
        if (dladdr(frames[i], &info) == 0 || !info.dli_fname)
            continue;
        const char* file = info.dli_fname;
        if (!std::strstr(file, "libstdc++") && !std::strstr(file, "/libc.so") &&
            !std::strstr(file, "libgcc_s") && !std::strstr(file, "/libm.so")) {
            (info.dli_fbase == self.dli_fbase ? ours : theirs)++;
            break;
        }
    }
    noting = false;
}

}  // namespace

// Every allocation comes here: the runtime's operator new calls malloc too.
extern "C" __attribute__((noinline)) void* malloc(size_t size) noexcept {
    Note();
    return __libc_malloc(size);
}
#endif

namespace {

using Log = std::vector<std::string>;

// Where the first entry that starts with `prefix` stands in the log; the log's size when none.
size_t Find(const Log& log, const std::string& prefix) {
    return static_cast<size_t>(
        std::find_if(log.begin(), log.end(),
                     [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }) -
        log.begin());
}

// A press and a release of the key, as the keyboard delivers them.
void Tap(SDL_Keycode key) {
    for (const bool down : {true, false}) {
        SDL_Event event{};
        event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.sym = key;
        event.key.keysym.scancode = SDL_GetScancodeFromKey(key);
        SDL_PushEvent(&event);
    }
}

TEST(FrameLoop, EachWayOutEndsThePieceAfterItsFrameWithTheQueueDrained) {
    const struct {
        const char* what;
        std::function<void(int)> at;
        int frames;
        const char* pumpedBeforeClose;  // a message the window saw in the last frame
        std::function<std::uint32_t(int)> msOf;
    } ways[] = {
        // Any other key leaves the piece running; Escape pressed and released between two polls
        // ends it.
        {"Escape",
         [](int n) {
             if (n == 1 || n == 3)
                 Tap(n == 1 ? SDLK_a : SDLK_ESCAPE);
         },
         4, "DefWindowProcA 0x0101 0x1b ", nullptr},
        {"quit message",
         [](int n) {
             if (n == 2) {
                 PostMessageA(nullptr, WM_QUIT, 0, 0);
                 PostMessageA(DisplayState.window, WM_USER + 1, 0x11, 0x22);
             }
         },
         3, "DefWindowProcA 0x0401 0x11 0x22", nullptr},
        {"Ctrl+C",
         [](int n) {
             if (n == 1)
                 std::raise(SIGINT);
         },
         2, "PostQuitMessage 0", nullptr},
        // Frames at 0, 60, 92 and 93 s: the lattice ends the piece in the one at 93 s, which still
        // pumps a message posted and polls an Escape press.
        {"end of the timeline",
         [](int n) {
             if (n == 3) {
                 PostMessageA(DisplayState.window, WM_USER + 2, 0, 0);
                 Tap(SDLK_ESCAPE);
             }
         },
         4, "DefWindowProcA 0x0402 0x0 0x0",
         [](int n) { return static_cast<std::uint32_t>(n < 2 ? 60000 * n : 90000 + 1000 * n); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.what);
        // Frame n is drawn at msOf(n) (default: n s); what at(n) posts or presses as it is
        // presented reaches the pump and the poll of frame n.
        testsupport::PieceRunOptions options;
        options.frameMs = way.msOf;
        options.onFrame = [&](int n, const host::Frame&) {
            way.at(n);
            return true;
        };
        options.maxFrames = 20;  // a stop for a loop that would not end
        options.record = true;
        const auto run = testsupport::RunPiece(options);
        EXPECT_EQ(run.frames, way.frames);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.escapeAfter, 0u);  // any press was taken by the last poll
        // Find gives the log's length for what is not there: the restore must be there.
        const size_t restored = Find(run.log, "ChangeDisplaySettingsA null");
        EXPECT_LT(restored, run.log.size()) << "the display mode is never restored";
        EXPECT_LT(Find(run.log, way.pumpedBeforeClose), restored);
        // The window outlives the close request: only the shutdown destroys it, once, last.
        EXPECT_EQ(std::count(run.log.begin(), run.log.end(), "DestroyWindow"), 1);
        EXPECT_EQ(run.log.back(), "UnregisterClassA vokle");
    }
}

// The piece with a context that cannot be made: its box, whether sound was started, and the exit.
void RunWithoutAContext() {
    std::atexit([] { std::fputs("exit handlers ran\n", stderr); });
    testsupport::PieceRunOptions options;
    options.failCall = "wglCreateContext";
    options.record = true;
    options.onMessageBox = [](const char* text, const char* caption) {
        const Log log = probe::StopRecording();
        const bool sound = std::any_of(
            log.begin(), log.end(), [](const std::string& s) { return s.rfind("BASS_", 0) == 0; });
        std::fprintf(stderr, "box %s|%s, audio %s\n", caption, text,
                     sound ? "started" : "untouched");
    };
    testsupport::RunPiece(options);
}

TEST(FrameLoopDeathTest, DisplayThatCannotOpenExitsWithOneAfterTheBoxAndWithoutSound) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunWithoutAContext(), ::testing::ExitedWithCode(1),
                "box Error\\|could not init opengl, audio untouched\nexit handlers ran");
}

TEST(FrameLoopAllocations, NoneFromThePieceOverTheWholeTimeline) {
#ifndef COUNTING_ALLOCATIONS
    GTEST_SKIP() << "allocation counting needs the C library's allocator, not the sanitizer's";
#else
    // Frames every second from 0 to 93 s, where the piece ends by itself, and every 100 ms through
    // the strobe; counted from the fourth, after Mesa has built its shaders and buffers.
    std::vector<std::uint32_t> schedule;
    for (std::uint32_t ms = 0; ms <= 93000; ms += (ms >= 31000 && ms < 32000) ? 100 : 1000)
        schedule.push_back(ms);
    const int last = static_cast<int>(schedule.size()) - 1;
    testsupport::PieceRunOptions options;
    options.frameMs = [&](int n) { return schedule[static_cast<size_t>(std::min(n, last))]; };
    options.onFrame = [&](int n, const host::Frame&) {
        counting = n >= 2 && n < last;
        return true;
    };
    const testsupport::PieceRunResult result = testsupport::RunPiece(options);
    counting = false;
    ASSERT_EQ(result.frames, last + 1);  // it ended by itself, in the frame at 93 s
    std::printf("the piece %ld allocations, the libraries %ld\n", ours.load(), theirs.load());
    EXPECT_EQ(ours.load(), 0);
#endif
}

// t after ms milliseconds: ms times the float whose bits are 0x3A83126F, in double, then to float.
float Expected(std::uint32_t ms) {
    const std::uint32_t bits = 0x3A83126Fu;
    float perTick;
    std::memcpy(&perTick, &bits, sizeof perTick);
    return static_cast<float>(static_cast<double>(ms) * static_cast<double>(perTick));
}

float ClockAt(std::uint32_t startTick, std::uint32_t ms) {
    host::SetTicks(startTick + ms);
    return ComputeTimelineSeconds(startTick);
}

TEST(Clock, HitsOnlyTheBoundsItShouldAndSurvivesTheTickCounterWrapping) {
    host::Options options;
    options.virtualClock = true;
    host::Start(options);
    EXPECT_EQ(ClockAt(1000, 16500), 16.5f);
    EXPECT_EQ(ClockAt(1000, 68000), 68.0f);
    EXPECT_EQ(ClockAt(1000, 72000), 72.0f);
    for (std::uint32_t ms = 0; ms <= 100000; ++ms) {
        const float t = ClockAt(1000, ms);
        ASSERT_EQ(t, Expected(ms)) << ms;
        for (float never : {26.5f, 31.0f, 48.0f, 58.0f, 89.0f})
            ASSERT_NE(t, never) << ms;
    }
    // The counter passes 0 between the start tick and the frame.
    const std::uint32_t start = 0xFFFFFFFFu - 2000u;
    for (std::uint32_t ms : {1999u, 2001u, 31150u})
        EXPECT_EQ(ClockAt(start, ms), Expected(ms)) << ms;
    host::Stop();
}

}  // namespace
