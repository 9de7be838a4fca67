// Averages sub-frames in linear light, the way light adds up on film or a sensor while a shutter
// is open: a white line that moves across half the shutter leaves a trail of half its light, not
// of half its sRGB value (which would look too dark). Exact integer arithmetic through tables, so
// the same input always gives the same output, and a pixel that stays the same in every
// sub-frame comes out unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace capture {

class LinearBlend {
  public:
    // For RGBA frames of `pixels` pixels.
    explicit LinearBlend(size_t pixels);

    void Add(const std::uint8_t* rgba);
    // The average of the frames added since the last Finish, into out (RGBA); starts afresh.
    // Alpha, not light, is averaged as it is, rounded to the nearest.
    void Finish(std::uint8_t* out);

    int added() const { return added_; }

  private:
    std::vector<std::uint32_t> sums_;
    int added_ = 0;
};

// The tables, for the tests: an 8-bit sRGB value's linear light in units of 1/65535, and back
// from a linear value in those units to the sRGB value that is nearest once encoded.
std::uint32_t ToLinear(std::uint8_t value);
std::uint8_t FromLinear(std::uint32_t linear);

}  // namespace capture
