// Frame rate of the piece's empty frame loop, headless at 1024 x 768, against a bare SDL loop that
// clears and swaps, both measured in one run.
//
// The empty loop is PieceMain itself, compiled into this program with the timeline stages left
// empty (they are defined below): the driver, the window, the soundtrack start-up and the platform
// layer run as they are, so each frame clears, presents, drains the message queue and polls
// Escape. The bare loop clears colour and depth, swaps and polls SDL's events on an SDL offscreen
// window of its own, with the same buffers. The two alternate for --rounds rounds of --frames
// frames each (after a few frames of warm-up), and the best round of each counts: many short
// rounds, so that on a busy machine each loop has some rounds to itself.
//
// Headless, a swap shows nothing and makes nobody wait for the frame, so without more the GL would
// never draw one (a clear only notes its colour until something needs the pixels). Both loops
// therefore finish each frame with glFinish: the bare loop after its swap, the piece's from its
// (empty) clock stage at the top of the next frame.
//
// Usage: loop_bench [--frames N] [--rounds R]   (defaults: 300 frames, 20 rounds)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>
#include <GL/gl.h>
#include <SDL.h>

#include "bare_window.h"
#include "driver/piece.h"
#include "platform/host.h"
#include "timeline/timeline.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kWarmUp = 20;
int framesPerRound = 300;

// The piece's round: frames counted at the top of each frame, where the clock stage runs.
int pieceFrame = 0;
Clock::time_point pieceStart;
double pieceSeconds = 0;

}  // namespace

// The timeline stages, empty. The clock stage finishes the previous frame, times the loop and,
// once the round has its frames, asks the window to close, as the desktop's close button would.
float ComputeTimelineSeconds(DWORD) {
    if (pieceFrame > 0) {
        glFinish();  // the frame before this one, drawn in full
    }
    if (pieceFrame == kWarmUp) {
        pieceStart = Clock::now();
    } else if (pieceFrame == kWarmUp + framesPerRound) {
        pieceSeconds = std::chrono::duration<double>(Clock::now() - pieceStart).count();
        host::RequestClose();
    }
    ++pieceFrame;
    return 0.0f;
}
void ApplyClearColourCues(float) {}
void ApplyProjectionAndCameraCues(float) {}
void ApplyFogCues(float) {}
void DrawBackdropBoxes(float) {}
void DrawCubeLattice(float, bool&) {}

namespace {

double PieceRound() {
    host::Options options;
    options.video.output = host::Video::Headless;
    options.audio = host::Audio::None;  // no mixer thread competing for the cores
    options.onMessageBox = [](const char*, const char*) {};
    host::Start(options);
    pieceFrame = 0;
    pieceSeconds = 0;
    char name[] = "flimrevo";
    char* argv[] = {name, nullptr};
    char* envp[] = {nullptr};
    PieceMain(1, argv, envp);
    host::Stop();
    return pieceSeconds > 0 ? framesPerRound / pieceSeconds : 0;
}

double BareRound() {
    SDL_GLContext context = nullptr;
    SDL_Window* window = OpenBareWindow(&context);
    double fps = 0;
    if (context != nullptr) {
        Clock::time_point start;
        for (int frame = 0; frame < kWarmUp + framesPerRound; ++frame) {
            if (frame == kWarmUp) {
                start = Clock::now();
            }
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            SDL_GL_SwapWindow(window);
            glFinish();
            SDL_Event event;
            while (SDL_PollEvent(&event)) {
            }
        }
        fps = framesPerRound / std::chrono::duration<double>(Clock::now() - start).count();
        SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    return fps;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--frames") == 0) {
            framesPerRound = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--rounds") == 0) {
            rounds = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    double bestPiece = 0, bestBare = 0;
    for (int round = 1; round <= rounds; ++round) {
        const double bare = BareRound();
        const double piece = PieceRound();
        std::printf("round %d: bare loop %8.1f fps, empty piece loop %8.1f fps\n", round, bare,
                    piece);
        bestBare = std::max(bestBare, bare);
        bestPiece = std::max(bestPiece, piece);
    }
    if (bestBare <= 0 || bestPiece <= 0) {
        std::fprintf(stderr, "a loop did not run\n");
        return 1;
    }
    const double ratio = bestPiece / bestBare;
    std::printf("best of %d rounds of %d frames at 1024 x 768, headless:\n", rounds,
                framesPerRound);
    std::printf("  bare SDL clear-and-swap loop  %8.1f fps\n", bestBare);
    std::printf("  empty piece frame loop        %8.1f fps\n", bestPiece);
    std::printf("  ratio (piece / bare)          %8.3f  (%+.1f%%)\n", ratio, (ratio - 1) * 100);
    return 0;
}
