// Reduced flashing: the finished picture may change its brightness and its red only so often.
// The limiter reads each picture as the flash count does (flash.h, the same code): pixels that
// step, and windows a field large whose stepping pixels cover a quarter of them. A window may
// make kMostTransitions of either kind in any second. A pixel whose step would give a window one
// more is held back: it shows the previous picture blended towards the new one, in linear light,
// only so far that it stays short of its step, until that second has passed. A picture that
// nothing holds back leaves exactly as it came.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/flash/flash.h"

namespace flash {

class Limiter {
  public:
    // Five transitions a second, two and a half flashes: under the limit of three, with room for
    // seconds counted in frames.
    static constexpr int kMostTransitions = 5;

    // Pictures of width x height, their rows bottom row first as GL reads them (bottomUp), or
    // top row first.
    Limiter(int width, int height, bool bottomUp = true);
    // Limits the picture (RGBA, 4 bytes a pixel) shown at tick (ms, a counter that may wrap).
    // Returns whether it changed it.
    bool Limit(std::uint8_t* rgba, std::uint32_t tick);

  private:
    bool MarkHeld();
    void HoldBack(std::uint8_t* rgba, bool still);

    Steps steps_;
    Span span_;
    std::int64_t now_ = 0;  // ms since the first picture
    std::uint32_t lastTick_ = 0;
    std::vector<std::uint8_t> previous_;  // the last picture shown
    std::vector<std::int32_t> held_[2];   // per pixel and kind: windows out of room over it
};

}  // namespace flash
