// Reduced flashing: the large parts of the finished picture may change their brightness and their
// red only so often. The limiter reads each picture as the flash count does (flash.h): cells,
// and areas a quarter of a field large that make transitions as wholes. An area may make
// kMostTransitions of either kind in any second. A change that would make one more is held back:
// the area's cells show the previous picture blended towards the new one, in linear light, only
// so far that the area stays short of the step, until that second has passed. A picture that
// nothing holds back leaves exactly as it came.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "platform/flash/flash.h"

namespace flash {

class Limiter {
  public:
    // Five transitions a second, two and a half flashes: under the limit of three, with room for
    // a blend's medians landing a little off their aim, and for seconds counted in frames.
    static constexpr int kMostTransitions = 5;

    Limiter(int width, int height);
    // Limits the picture (RGBA, 4 bytes a pixel, its rows in either order, the same each time)
    // shown at tick (ms). Returns whether it changed it.
    bool Limit(std::uint8_t* rgba, std::uint32_t tick);

  private:
    void HoldBack(const std::vector<Cell>& next, std::uint32_t tick, std::vector<float>* alpha);
    void Blend(std::uint8_t* rgba, const std::vector<float>& alpha) const;

    Grid grid_;
    std::vector<Tracker> trackers_[2];                  // per area
    std::vector<std::deque<std::uint32_t>> recent_[2];  // per area: its transitions' ticks
    std::vector<Cell> shown_;                           // the cells of the last picture shown
    std::vector<std::uint8_t> previous_;                // the last picture shown
};

}  // namespace flash
