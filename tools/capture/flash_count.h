// The flash count of a run: every frame's transitions, areas as flash.h reads them, counted a
// second at a time. The flashes in the second from frame s are the transitions of the worst area
// in frames s to s + fps - 1, halved: seven transitions make 3.5 flashes. More than 3 fails.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/flash/flash.h"

namespace flash {

constexpr double kMostFlashes = 3;  // in any one second

// What a whole run gives.
struct FrameRow {
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
    int fps = 0;
    std::vector<FrameRow> frames;
    Second worst;  // the first with the most flashes, from its first transition
    bool passes() const { return worst.worst() <= kMostFlashes; }
};

// Takes the frames one after another, all of one size, and reports once they are all in.
class Analyser {
  public:
    Analyser(int width, int height, int fps);
    void Add(const std::uint8_t* rgba);
    Report Finish() const;

  private:
    Grid grid_;
    int fps_;
    std::int64_t frame_ = 0;
    std::vector<double> luminance_;
    std::vector<bool> changed_;  // per frame: whether an area made a transition
    std::vector<Tracker> trackers_[2];
    std::vector<std::vector<std::int64_t>> changes_[2];  // per area: frames of its transitions
};

// Flashes in the second from each frame, from one area's transition frames, into *flashes
// (the larger of what it held and this area's count).
void CountSeconds(const std::vector<std::int64_t>& changes, int fps, std::vector<double>* flashes);

}  // namespace flash
