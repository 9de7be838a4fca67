#include "scaler.h"

#include <algorithm>
#include <cstring>

namespace capture {

// Measured in units of 1 / outputLength of a source pixel, output pixel o covers
// [o * sourceLength, (o + 1) * sourceLength) and source pixel s covers
// [s * outputLength, (s + 1) * outputLength); the overlaps are the weights.
std::vector<AreaScaler::Span> AreaScaler::Spans(int sourceLength, int outputLength) {
    std::vector<Span> spans(static_cast<size_t>(outputLength));
    for (int o = 0; o < outputLength; ++o) {
        const std::int64_t begin = static_cast<std::int64_t>(o) * sourceLength;
        const std::int64_t end = begin + sourceLength;
        Span& span = spans[static_cast<size_t>(o)];
        span.first = static_cast<int>(begin / outputLength);
        for (std::int64_t s = span.first; s * outputLength < end; ++s) {
            const std::int64_t from = std::max(begin, s * outputLength);
            const std::int64_t to = std::min(end, (s + 1) * outputLength);
            span.weights.push_back(static_cast<std::uint32_t>(to - from));
        }
    }
    return spans;
}

AreaScaler::AreaScaler(int sourceWidth, int sourceHeight, int outputWidth, int outputHeight)
    : sourceWidth_(sourceWidth),
      sourceHeight_(sourceHeight),
      outputWidth_(outputWidth),
      outputHeight_(outputHeight),
      fit_(FitInside(sourceWidth, sourceHeight, outputWidth, outputHeight)),
      columns_(Spans(sourceWidth, fit_.width)),
      rows_(Spans(sourceHeight, fit_.height)),
      sums_(static_cast<size_t>(fit_.width) * 4) {}

namespace {

// One output row from the factor x factor blocks of the factor source rows from `top`: each
// channel the rounded mean of its block (the division by a constant the compiler knows).
template <int factor>
void ScaleRow(const std::uint8_t* top, size_t sourceRow, int width, std::uint8_t* out) {
    constexpr std::uint32_t count = factor * factor;
    for (int ox = 0; ox < width; ++ox, out += 4, top += 4 * factor) {
        for (int c = 0; c < 4; ++c) {
            std::uint32_t sum = 0;
            for (int dy = 0; dy < factor; ++dy) {
                for (int dx = 0; dx < factor; ++dx) {
                    sum += top[dy * sourceRow + 4 * dx + c];
                }
            }
            out[c] = static_cast<std::uint8_t>((sum + count / 2) / count);
        }
    }
}

}  // namespace

// A whole factor smaller: each output pixel the mean of its factor x factor block, rounded to the
// nearest, as the weights in general give it, in a fraction of their time.
bool AreaScaler::ScaleDown(const std::uint8_t* source, std::uint8_t* output, int factor) {
    const auto row = factor == 1   ? &ScaleRow<1>
                     : factor == 2 ? &ScaleRow<2>
                     : factor == 3 ? &ScaleRow<3>
                     : factor == 4 ? &ScaleRow<4>
                                   : nullptr;
    if (row == nullptr) {
        return false;
    }
    const size_t sourceRow = static_cast<size_t>(sourceWidth_) * 4;
    for (int oy = 0; oy < fit_.height; ++oy) {
        row(source + static_cast<size_t>(oy * factor) * sourceRow, sourceRow, fit_.width,
            output + (static_cast<size_t>(fit_.y + oy) * outputWidth_ + fit_.x) * 4);
    }
    return true;
}

void AreaScaler::Scale(const std::uint8_t* source, std::uint8_t* output) {
    const size_t outputRow = static_cast<size_t>(outputWidth_) * 4;
    // The borders, opaque black: the rows above and below the picture, and either side of it.
    const auto black = [&](int y, int from, int to) {
        for (std::uint8_t* pixel = output + static_cast<size_t>(y) * outputRow + from * 4;
             from < to; ++from, pixel += 4) {
            pixel[0] = pixel[1] = pixel[2] = 0;
            pixel[3] = 255;
        }
    };
    for (int y = 0; y < outputHeight_; ++y) {
        if (y < fit_.y || y >= fit_.y + fit_.height) {
            black(y, 0, outputWidth_);
        } else {
            black(y, 0, fit_.x);
            black(y, fit_.x + fit_.width, outputWidth_);
        }
    }
    const int factor = sourceWidth_ / fit_.width;
    if (sourceWidth_ == factor * fit_.width && sourceHeight_ == factor * fit_.height &&
        ScaleDown(source, output, factor)) {
        return;
    }
    // Every output pixel's weights add up to sourceWidth * sourceHeight; at most 255 times that
    // is summed, which fits 64 bits for any picture.
    const std::uint64_t total = static_cast<std::uint64_t>(sourceWidth_) * sourceHeight_;
    for (int oy = 0; oy < fit_.height; ++oy) {
        std::fill(sums_.begin(), sums_.end(), 0);
        const Span& row = rows_[static_cast<size_t>(oy)];
        for (size_t r = 0; r < row.weights.size(); ++r) {
            const std::uint8_t* line =
                source + static_cast<size_t>(row.first + static_cast<int>(r)) * sourceWidth_ * 4;
            // The source row, summed across each output column.
            for (int ox = 0; ox < fit_.width; ++ox) {
                const Span& column = columns_[static_cast<size_t>(ox)];
                std::uint32_t acc[4] = {0, 0, 0, 0};
                const std::uint8_t* pixel = line + static_cast<size_t>(column.first) * 4;
                for (std::uint32_t weight : column.weights) {
                    for (int c = 0; c < 4; ++c) {
                        acc[c] += weight * pixel[c];
                    }
                    pixel += 4;
                }
                for (int c = 0; c < 4; ++c) {
                    sums_[static_cast<size_t>(ox) * 4 + c] +=
                        static_cast<std::uint64_t>(acc[c]) * row.weights[r];
                }
            }
        }
        std::uint8_t* out =
            output + static_cast<size_t>(fit_.y + oy) * outputRow + static_cast<size_t>(fit_.x) * 4;
        for (size_t i = 0; i < sums_.size(); ++i) {
            out[i] = static_cast<std::uint8_t>((sums_[i] + total / 2) / total);
        }
    }
}

}  // namespace capture
