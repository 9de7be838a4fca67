#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace capture {
namespace {

const double kTerminalEvery = 0.2;  // seconds between rewrites on a terminal
const double kLogEvery = 10.0;      // seconds between lines elsewhere

}  // namespace

void FormatDuration(double seconds, char* text, size_t size) {
    const long long whole = seconds > 0 ? std::llround(seconds) : 0;
    if (whole >= 3600) {
        std::snprintf(text, size, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    } else {
        std::snprintf(text, size, "%lld:%02lld", whole / 60, whole % 60);
    }
}

ProgressLine::ProgressLine(std::int64_t first, std::int64_t end, std::FILE* out)
    : first_(first),
      end_(end),
      out_(out),
      terminal_(isatty(fileno(out)) != 0),
      start_(Clock::now()),
      clipStart_(start_),
      inClip_(first == 0),
      shown_(start_) {}

void ProgressLine::Update(std::int64_t done) {
    if (!inClip_ && done >= first_) {
        clipStart_ = Clock::now();
        inClip_ = true;
    }
    const double since = std::chrono::duration<double>(Clock::now() - shown_).count();
    if (since >= (terminal_ ? kTerminalEvery : kLogEvery)) {
        Show(done, false);
    }
}

void ProgressLine::Finish(std::int64_t done) {
    Show(done, true);
}

void ProgressLine::Break() {
    if (open_) {
        std::fputc('\n', out_);
        open_ = false;
        shownLength_ = 0;
    }
}

void ProgressLine::Show(std::int64_t done, bool last) {
    const Clock::time_point now = Clock::now();
    shown_ = now;
    const std::int64_t total = end_ - first_;
    const long long clipDone = static_cast<long long>(std::max<std::int64_t>(done - first_, 0));
    const double elapsed = std::chrono::duration<double>(now - clipStart_).count();
    const double rate = inClip_ && elapsed > 0 ? static_cast<double>(clipDone) / elapsed : 0;
    char line[160];
    int length;
    if (last) {
        char took[32];
        FormatDuration(std::chrono::duration<double>(now - start_).count(), took, sizeof took);
        length = std::snprintf(line, sizeof line,
                               "flimrevo-capture: %lld of %lld frames in %s, %.1f fps", clipDone,
                               static_cast<long long>(total), took, rate);
    } else if (!inClip_) {
        length = std::snprintf(line, sizeof line,
                               "flimrevo-capture: going through the frames before the clip's "
                               "first, %lld of %lld",
                               static_cast<long long>(done), static_cast<long long>(first_));
    } else {
        char left[32] = "?";
        if (rate > 0) {
            FormatDuration(static_cast<double>(total - clipDone) / rate, left, sizeof left);
        }
        length = std::snprintf(line, sizeof line,
                               "flimrevo-capture: frame %lld of %lld, %.1f fps, %s left", clipDone,
                               static_cast<long long>(total), rate, left);
    }
    if (terminal_) {
        // Rewrite the line in place; spaces cover what a longer line before left behind.
        const int pad = shownLength_ > length ? shownLength_ - length : 0;
        std::fprintf(out_, "\r%s%*s", line, pad, "");
        shownLength_ = length;
        open_ = !last;
        if (last) {
            std::fputc('\n', out_);
        }
    } else {
        std::fprintf(out_, "%s\n", line);
    }
    std::fflush(out_);
}

}  // namespace capture
