// Frame rate of the whole piece, headless at 1024 x 768, against a bare SDL2 + GL loop that draws
// the same frames into its own 1024 x 768 window, without our platform layer or timeline logic.
//
// Passes over one schedule of frames on the virtual clock:
//   1. the piece, untimed, to note each frame's matrices, clear colour and fog;
//   2. the piece, timed;
//   3. the bare loop, timed: an SDL offscreen window and GL context of its own (8-bit RGB, 24-bit
//      depth, 8-bit stencil, double-buffered), each frame's GL state loaded directly, then the
//      1,000 cubes with their half sizes worked out beforehand, and the backdrop where the piece
//      has one, then a swap and SDL's events polled. What remains between 2 and 3 is the
//      timeline's own work (the cue tests, the eye paths, the half sizes) and the platform
//      layer's: the window, the present path, the message queue.
// Headless, a swap shows nothing and nobody waits for the frame, so both finish every frame with
// glFinish right after the swap (the piece's from the host's frame sink). Passes 2 and 3
// alternate for --rounds rounds, and the best round of each counts, so that a busy machine slows
// both alike.
//
// With --screen=WxH, on the X display $DISPLAY of that size (Xvfb) instead of headless: the piece
// fullscreen as flimrevo shows it, drawn at the screen's pixels (the largest 4:3 rectangle, lines
// in proportion), and the bare loop drawing the same into a fullscreen window of its own at the
// same rectangle (viewport and scissor box there, the same line width). Also timed, in the same
// rounds: the piece drawn at 1024 x 768 and stretched (--pixels 1024x768), and the piece
// multisampled
// (--antialias 4). Both loops still finish every frame with glFinish, so the frames are drawn in
// full whether or not the X server shows them at once.
//
// Usage: timeline_bench [--step-ms=N] [--to-ms=N] [--rounds=N] [--screen=WxH] [--callgrind]
//   --step-ms: the virtual clock's step between frames (default 100)
//   --to-ms: the last frame's time; default: the piece's end
// With --callgrind, only pass 2 runs, and under valgrind's callgrind the costs of everything
// before the first presented frame are zeroed, so the profile covers the frame loop alone.
#include <sys/resource.h>
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(name)
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <windows.h>
#include <GL/gl.h>
#include <SDL.h>

#include "bare_window.h"
#include "platform/letterbox.h"
#include "driver/piece.h"
#include "geometry/cubes.h"
#include "platform/host.h"
#include "timeline/timeline.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the minimal loop needs of each of the piece's frames.
struct FrameState {
    GLfloat projection[16];
    GLfloat modelview[16];
    GLfloat clear[4];
    GLboolean fog;
    GLfloat fogDensity;
    GLfloat fogColour[4];
};

struct Timing {
    int frames = 0;
    double seconds = 0;     // from the first presented frame to the last
    double cpuSeconds = 0;  // of the whole process, all threads, over the same span
};

double ProcessCpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Notes the span from the first presented frame to the latest.
void OnPresented(Timing& timing, Clock::time_point& first, double& firstCpu) {
    if (timing.frames == 0) {
        first = Clock::now();
        firstCpu = ProcessCpuSeconds();
    }
    timing.seconds = std::chrono::duration<double>(Clock::now() - first).count();
    timing.cpuSeconds = ProcessCpuSeconds() - firstCpu;
    ++timing.frames;
}

const std::uint32_t StartTicks = 5000;

// t as the piece's clock forms it.
float SecondsAt(std::uint32_t ms) {
    return TimelineSecondsAfter(ms);
}

// Frames every stepMs from 0 to toMs, or to the first frame past the piece's end.
std::vector<std::uint32_t> Schedule(std::uint32_t stepMs, std::uint32_t toMs) {
    std::vector<std::uint32_t> ms;
    for (std::uint32_t at = 0;; at += stepMs) {
        ms.push_back(at);
        if (static_cast<double>(SecondsAt(at)) > PieceEndTime || at + stepMs > toMs) {
            return ms;
        }
    }
}

// The screen of --screen (0 x 0: headless), and how the piece is drawn on it.
int screenWidth = 0, screenHeight = 0;
host::VideoMode pieceVideo;

// The piece on the virtual clock, no picture read: onSwap answers each presented frame.
void ConfigureHost(const std::function<host::Next()>& onSwap, std::uint32_t firstTicks) {
    host::Options options;
    options.video = pieceVideo;
    options.video.output = screenWidth > 0 ? host::Video::Desktop : host::Video::Headless;
    // No sound in either loop: the comparison is of drawing.
    options.audio = host::Audio::None;
    options.virtualClock = true;
    options.first = host::Next{firstTicks, host::Draw::Whole, false};
    options.frames = [onSwap](const host::Finished& step) {
        return step.frame.index < 0 ? host::Next() : onSwap();
    };
    options.onMessageBox = [](const char*, const char*) {};
    host::Start(options);
}

Timing RunPiece(const std::vector<std::uint32_t>& schedule, std::vector<FrameState>* capture,
                bool profile) {
    Timing timing;
    Clock::time_point first;
    double firstCpu = 0;
    ConfigureHost(
        [&]() {
            glFinish();  // the frame just swapped, drawn in full
            if (capture != nullptr) {
                FrameState s;
                glGetFloatv(GL_PROJECTION_MATRIX, s.projection);
                glGetFloatv(GL_MODELVIEW_MATRIX, s.modelview);
                glGetFloatv(GL_COLOR_CLEAR_VALUE, s.clear);
                s.fog = glIsEnabled(GL_FOG);
                glGetFloatv(GL_FOG_DENSITY, &s.fogDensity);
                glGetFloatv(GL_FOG_COLOR, s.fogColour);
                capture->push_back(s);
            }
            if (profile && timing.frames == 0) {
                CALLGRIND_ZERO_STATS;
            }
            OnPresented(timing, first, firstCpu);
            const size_t n = static_cast<size_t>(timing.frames);
            // A schedule that stops before the piece's end closes it.
            return host::Next{StartTicks + schedule[std::min(n, schedule.size() - 1)],
                              host::Draw::Whole, n >= schedule.size()};
        },
        StartTicks + schedule[0]);
    char name[] = "flimrevo";
    char* argv[] = {name, nullptr};
    char* envp[] = {nullptr};
    PieceMain(1, argv, envp);
    if (profile) {
        CALLGRIND_DUMP_STATS_AT("frame loop");
    }
    host::Stop();
    return timing;
}

// A box of half extent H in one colour: the same fill as the piece's backdrop.
void DrawBox(GLfloat H) {
    static const GLfloat s[24][3] = {
        {1, 1, -1},   {-1, 1, -1},  {-1, 1, 1},  {1, 1, 1},  {1, -1, 1},  {-1, -1, 1},
        {-1, -1, -1}, {1, -1, -1},  {1, 1, 1},   {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1},
        {1, -1, -1},  {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {-1, 1, 1},  {-1, 1, -1},
        {-1, -1, -1}, {-1, -1, 1},  {1, 1, -1},  {1, 1, 1},  {1, -1, 1},  {1, -1, -1},
    };
    glBegin(GL_QUADS);
    glColor3f(0.0f, 0.8f, 0.9f);
    for (const auto& v : s) {
        glVertex3f(v[0] * H, v[1] * H, v[2] * H);
    }
    glEnd();
}

Timing RunBare(const std::vector<std::uint32_t>& schedule, const std::vector<FrameState>& states) {
    // Everything that depends on time is worked out here, before the clock starts.
    const size_t frames = states.size();
    std::vector<float> halfSize(frames * 1000);
    std::vector<int> band(frames), box(frames);
    for (size_t f = 0; f < frames; ++f) {
        const double t = SecondsAt(schedule[f]);
        band[f] = (t > 0 && t < 16.5) || (t > 26.5 && t < 68)      ? 1
                  : (t > 16.5 && t < 26.5) || (t > 68 && t < 95.7) ? 2
                                                                   : 0;
        box[f] = t > 16.5 && t < 31 ? 1 : t > 47.3 && t < 95.7 ? 2 : 0;
        for (int i = 0; i < 10; ++i) {
            for (int j = 0; j < 10; ++j) {
                for (int k = 0; k < 10; ++k) {
                    halfSize[f * 1000 + static_cast<size_t>(100 * i + 10 * j + k)] =
                        static_cast<float>(
                            0.1 * (2 + std::sin(((t - i) - j * std::sin((t - i) + k)) - i)));
                }
            }
        }
    }

    Timing timing;
    Clock::time_point first;
    double firstCpu = 0;
    SDL_GLContext context = nullptr;
    SDL_Window* window = OpenBareWindow(&context, screenWidth, screenHeight);
    if (window == nullptr) {
        std::exit(1);
    }
    if (screenWidth > 0) {
        const platform::FitRect fit = platform::FitInside(1024, 768, screenWidth, screenHeight);
        glViewport(fit.x, fit.y, fit.width, fit.height);
        glScissor(fit.x, fit.y, fit.width, fit.height);
        glEnable(GL_SCISSOR_TEST);
        glLineWidth(static_cast<GLfloat>(fit.height) / 768.0f);
    }
    for (size_t f = 0; f < frames; ++f) {
        const FrameState& s = states[f];
        glClearColor(s.clear[0], s.clear[1], s.clear[2], s.clear[3]);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(s.projection);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(s.modelview);
        if (s.fog) {
            glFogfv(GL_FOG_COLOR, s.fogColour);
            glFogf(GL_FOG_DENSITY, s.fogDensity);
            glEnable(GL_FOG);
        }
        if (box[f] != 0) {
            DrawBox(box[f] == 1 ? 4.5f : 6.0f);
        }
        const float* h = &halfSize[f * 1000];
        for (int i = 0; i < 10; ++i) {
            for (int j = 0; j < 10; ++j) {
                for (int k = 0; k < 10; ++k, ++h) {
                    glPushMatrix();
                    glTranslatef(static_cast<float>(k - 5), static_cast<float>(j - 5),
                                 static_cast<float>(i - 5));
                    if (band[f] == 1) {
                        DrawWireCube(*h, 1.0f);
                    } else if (band[f] == 2) {
                        DrawShadowCube(*h, 3.0f);
                    }
                    glPopMatrix();
                }
            }
        }
        SDL_GL_SwapWindow(window);
        glFinish();
        OnPresented(timing, first, firstCpu);
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
        }
    }
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return timing;
}

double Fps(const Timing& t) {
    return t.seconds > 0 ? (t.frames - 1) / t.seconds : 0;
}

double CpuMsPerFrame(const Timing& t) {
    return t.frames > 1 ? 1000.0 * t.cpuSeconds / (t.frames - 1) : 0;
}

// On the X screen: the piece at the screen's pixels against the bare loop at the same size, and
// against itself stretched from 1024 x 768 and multisampled.
int AtScreenSize(const std::vector<std::uint32_t>& schedule, const std::vector<FrameState>& states,
                 std::uint32_t stepMs, int rounds) {
    std::printf("%zu frames, every %u ms of the timeline, on a %d x %d X screen\n", schedule.size(),
                stepMs, screenWidth, screenHeight);
    std::printf(
        "round  at size  bare loop  ratio | stretched 1024x768  ratio | antialiased 4  ratio\n");
    double best[4] = {};
    for (int r = 1; r <= rounds; ++r) {
        double fps[4];
        pieceVideo = host::VideoMode();
        fps[0] = Fps(RunPiece(schedule, nullptr, false));
        fps[1] = Fps(RunBare(schedule, states));
        pieceVideo.drawnWidth = 1024;
        pieceVideo.drawnHeight = 768;
        fps[2] = Fps(RunPiece(schedule, nullptr, false));
        pieceVideo = host::VideoMode();
        pieceVideo.antialias = 4;
        fps[3] = Fps(RunPiece(schedule, nullptr, false));
        std::printf("%5d  %7.2f  %9.2f  %5.3f | %18.2f  %5.3f | %13.2f  %5.3f\n", r, fps[0], fps[1],
                    fps[0] / fps[1], fps[2], fps[0] / fps[2], fps[3], fps[3] / fps[0]);
        for (int i = 0; i < 4; ++i) {
            best[i] = std::max(best[i], fps[i]);
        }
    }
    std::printf(
        "best frames/s: at size %.2f, bare loop %.2f (at size / bare %.3f); stretched %.2f (at "
        "size / stretched %.3f); antialiased %.2f (antialiased / at size %.3f)\n",
        best[0], best[1], best[0] / best[1], best[2], best[0] / best[2], best[3],
        best[3] / best[0]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool profile = false;
    std::uint32_t stepMs = 100;
    std::uint32_t toMs = 0xFFFFFFFFu;
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--callgrind") == 0) {
            profile = true;
        } else if (std::strncmp(argv[i], "--step-ms=", 10) == 0) {
            stepMs = static_cast<std::uint32_t>(std::atoi(argv[i] + 10));
        } else if (std::strncmp(argv[i], "--to-ms=", 8) == 0) {
            toMs = static_cast<std::uint32_t>(std::atoi(argv[i] + 8));
        } else if (std::strncmp(argv[i], "--rounds=", 9) == 0) {
            rounds = std::atoi(argv[i] + 9);
        } else if (std::sscanf(argv[i], "--screen=%dx%d", &screenWidth, &screenHeight) == 2 &&
                   screenWidth > 0 && screenHeight > 0) {
        } else {
            std::fprintf(stderr,
                         "usage: %s [--step-ms=N] [--to-ms=N] [--rounds=N] [--screen=WxH] "
                         "[--callgrind]\n",
                         argv[0]);
            return 2;
        }
    }
    stepMs = stepMs == 0 ? 100 : stepMs;
    rounds = std::max(rounds, 1);
    const auto schedule = Schedule(stepMs, toMs);

    if (profile) {
        const Timing piece = RunPiece(schedule, nullptr, true);
        std::printf("piece under callgrind: %d frames\n", piece.frames);
        return 0;
    }

    std::vector<FrameState> states;
    states.reserve(schedule.size());
    RunPiece(schedule, &states, false);
    if (screenWidth > 0) {
        return AtScreenSize(schedule, states, stepMs, rounds);
    }
    std::printf("%zu frames, every %u ms of the timeline, 1024 x 768, headless\n", schedule.size(),
                stepMs);
    std::printf("round  piece frames/s (cpu ms/frame)  bare loop frames/s (cpu ms/frame)  ratio\n");
    // The two loops alternate, so that a busy machine slows both alike.
    Timing bestPiece, bestBare;
    std::vector<double> ratios;
    for (int r = 1; r <= rounds; ++r) {
        const Timing piece = RunPiece(schedule, nullptr, false);
        const Timing bare = RunBare(schedule, states);
        ratios.push_back(Fps(piece) / Fps(bare));
        std::printf("%5d  %8.2f (%6.2f)                 %8.2f (%6.2f)                  %.3f\n", r,
                    Fps(piece), CpuMsPerFrame(piece), Fps(bare), CpuMsPerFrame(bare),
                    ratios.back());
        bestPiece = Fps(piece) > Fps(bestPiece) ? piece : bestPiece;
        bestBare = Fps(bare) > Fps(bestBare) ? bare : bestBare;
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf(
        "best: piece %.2f frames/s, bare loop %.2f frames/s, piece / bare %.3f; median "
        "round ratio %.3f\n",
        Fps(bestPiece), Fps(bestBare), Fps(bestPiece) / Fps(bestBare), ratios[ratios.size() / 2]);
    return 0;
}
