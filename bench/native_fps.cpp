// The piece as flimrevo runs it (a window on the desktop, the real clock, the soundtrack on the
// default audio device), with its swaps counted: prints the frames presented, the seconds from the
// first to the last, and their rate. Message boxes go to standard error instead of the screen.
// wine_vs_native.sh runs it beside the Windows build under Wine.
//
// Usage: native_fps   (in <build>/bin, beside brumlevo.mp3; DISPLAY names the screen)
#include <chrono>
#include <cstdio>

#include "driver/piece.h"
#include "platform/host.h"

int main() {
    using Clock = std::chrono::steady_clock;
    long frames = 0;
    Clock::time_point first, last;
    host::Options options;
    options.first.draw = host::Draw::Whole;
    options.frames = [&](const host::Finished& step) {
        host::Next next;
        next.draw = host::Draw::Whole;
        if (step.frame.index >= 0) {
            last = Clock::now();
            if (frames++ == 0) {
                first = last;
            }
        }
        return next;
    };
    options.onMessageBox = [](const char* text, const char* caption) {
        std::fprintf(stderr, "native_fps: message box \"%s\" (%s)\n", text, caption);
    };
    host::Start(options);
    char name[] = "flimrevo";
    char* argv[] = {name, nullptr};
    char* envp[] = {nullptr};
    const int code = PieceMain(1, argv, envp);
    const double seconds = std::chrono::duration<double>(last - first).count();
    std::printf("native: %ld frames in %.2f s, %.2f fps\n", frames, seconds,
                seconds > 0 ? (frames - 1) / seconds : 0.0);
    return code;
}
