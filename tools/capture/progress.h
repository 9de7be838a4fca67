// The progress line on standard error: frames of the clip rendered of all it holds, the render
// rate and the time left. The frames before a clip (or a part) are gone through cheaply first;
// they are shown as such, and the rate and the time left count from the clip's first frame, so
// that their speed does not make the estimate too short. On a terminal it is one line rewritten
// in place a few times a second; into a file or a pipe it is a line every ten seconds, so a log
// stays short.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace capture {

class ProgressLine {
  public:
    // The clip is frames [first, end) of the piece.
    ProgressLine(std::int64_t first, std::int64_t end, std::FILE* out);

    // `done` counts the piece's frames finished, those before the clip included.
    void Update(std::int64_t done);
    // The last line, with the newline that leaves the terminal's line to whatever follows.
    void Finish(std::int64_t done);
    // Ends a line standing on the terminal, so that another message can follow on its own.
    void Break();

  private:
    using Clock = std::chrono::steady_clock;
    void Show(std::int64_t done, bool last);

    std::int64_t first_, end_;
    std::FILE* out_;
    bool terminal_;
    Clock::time_point start_;
    Clock::time_point clipStart_;  // when the clip's first frame began
    bool inClip_ = false;
    Clock::time_point shown_;
    int shownLength_ = 0;
    bool open_ = false;  // a line stands on the terminal without its newline
};

// "1:05" for 65 seconds, "1:02:03" from an hour on.
void FormatDuration(double seconds, char* text, size_t size);

}  // namespace capture
