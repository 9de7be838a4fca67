// The progress line on standard error: frames rendered of all to render, the render rate and the
// time left. On a terminal it is one line rewritten in place a few times a second; into a file or
// a pipe it is a line every ten seconds, so a log stays short.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace capture {

class ProgressLine {
  public:
    ProgressLine(std::int64_t total, std::FILE* out);

    void Update(std::int64_t done);
    // The last line, with the newline that leaves the terminal's line to whatever follows.
    void Finish(std::int64_t done);
    // Ends a line standing on the terminal, so that another message can follow on its own.
    void Break();

  private:
    using Clock = std::chrono::steady_clock;
    void Show(std::int64_t done, bool last);

    std::int64_t total_;
    std::FILE* out_;
    bool terminal_;
    Clock::time_point start_;
    Clock::time_point shown_;
    int shownLength_ = 0;
    bool open_ = false;  // a line stands on the terminal without its newline
};

// "1:05" for 65 seconds, "1:02:03" from an hour on.
void FormatDuration(double seconds, char* text, size_t size);

}  // namespace capture
