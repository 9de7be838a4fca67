// The flash count of a run: every frame's transitions, windows as flash.h reads them, counted a
// second at a time. The flashes in the second from frame s are the transitions of the worst
// window in the frames shown from s for less than a second, halved: seven transitions make 3.5
// flashes. More than 3 fails.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/flash/flash.h"

namespace flash {

constexpr double kMostFlashes = 3;  // in any one second

// What a whole run gives.
struct FrameRow {
    double seconds = 0;  // when the frame shows
    double luminance = 0;
    double generalFlashes = 0;  // in the second from this frame
    double redFlashes = 0;
};
struct Second {
    std::int64_t frame = 0;  // where it starts, counted from the analysis' first frame
    double general = 0, red = 0;
    double worst() const { return general > red ? general : red; }
};
struct Report {
    int fps = 0;  // 0: frames at their own times
    std::vector<FrameRow> frames;
    Second worst;  // the first with the most flashes, from its first transition
    bool passes() const { return worst.worst() <= kMostFlashes; }
};

// Takes the frames one after another, all of one size, and reports once they are all in.
class Analyser {
  public:
    // Frames at a fixed rate (fps > 0), or each at its own time (fps = 0, Add with a time).
    Analyser(int width, int height, int fps);
    void Add(const std::uint8_t* rgba);
    // A frame shown from microseconds on; times rise.
    void Add(const std::uint8_t* rgba, std::int64_t microseconds);
    Report Finish();

  private:
    // The second from the oldest frame still in the span is complete: its count is kept.
    void CloseSecond();

    Steps steps_;
    int fps_;
    Span span_;
    std::int64_t closed_ = 0;  // seconds counted so far
    std::vector<FrameRow> rows_;
    std::vector<bool> changed_;  // per frame: whether a window made a transition
};

}  // namespace flash
