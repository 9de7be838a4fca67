// Fits a picture into an output size with its aspect kept, black borders around it, by area
// averaging: every output pixel is the mean of the source area it covers, weighted by coverage.
// Exact integer arithmetic, so the same input always gives the same output.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/letterbox.h"

namespace capture {

// Where a sourceWidth x sourceHeight picture lands inside an outputWidth x outputHeight frame:
// the letterbox fit, as the platform shows a fullscreen picture.
using platform::FitInside;
using platform::FitRect;

class AreaScaler {
  public:
    AreaScaler(int sourceWidth, int sourceHeight, int outputWidth, int outputHeight);

    // source: RGBA, top row first, sourceWidth * 4 bytes a row. output: the same layout at the
    // output size. Alpha is averaged as the colours are; the borders are opaque black.
    void Scale(const std::uint8_t* source, std::uint8_t* output);

    int sourceWidth() const { return sourceWidth_; }
    int sourceHeight() const { return sourceHeight_; }

  private:
    // One output pixel's share of the source along one axis: source pixels first..first+count-1
    // with integer weights that add up to the source's length on that axis.
    struct Span {
        int first = 0;
        std::vector<std::uint32_t> weights;
    };
    static std::vector<Span> Spans(int sourceLength, int outputLength);
    bool ScaleDown(const std::uint8_t* source, std::uint8_t* output, int factor);

    int sourceWidth_, sourceHeight_, outputWidth_, outputHeight_;
    FitRect fit_;
    std::vector<Span> columns_, rows_;
    std::vector<std::uint64_t> sums_;
};

}  // namespace capture
