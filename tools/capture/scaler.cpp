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

// A whole factor smaller: each output pixel the mean of its factor x factor block, rounded to the
// nearest, as the weights in general give it, in a fraction of their time.
void AreaScaler::ScaleDown(const std::uint8_t* source, std::uint8_t* output, int factor) {
    const size_t sourceRow = static_cast<size_t>(sourceWidth_) * 4;
    const std::uint32_t count = static_cast<std::uint32_t>(factor * factor);
    std::vector<std::uint32_t>& sums = blockSums_;
    sums.assign(static_cast<size_t>(fit_.width) * 4, 0);
    for (int oy = 0; oy < fit_.height; ++oy) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int dy = 0; dy < factor; ++dy) {
            const std::uint8_t* line = source + static_cast<size_t>(oy * factor + dy) * sourceRow;
            for (size_t ox = 0; ox < static_cast<size_t>(fit_.width); ++ox) {
                for (int dx = 0; dx < factor; ++dx, line += 4) {
                    sums[ox * 4] += line[0];
                    sums[ox * 4 + 1] += line[1];
                    sums[ox * 4 + 2] += line[2];
                    sums[ox * 4 + 3] += line[3];
                }
            }
        }
        std::uint8_t* out = output + (static_cast<size_t>(fit_.y + oy) * outputWidth_ + fit_.x) * 4;
        for (size_t i = 0; i < sums.size(); ++i) {
            out[i] = static_cast<std::uint8_t>((sums[i] + count / 2) / count);
        }
    }
}

void AreaScaler::Scale(const std::uint8_t* source, std::uint8_t* output) {
    const size_t outputRow = static_cast<size_t>(outputWidth_) * 4;
    // The borders: opaque black.
    for (size_t i = 0; i < outputRow * static_cast<size_t>(outputHeight_); i += 4) {
        output[i] = output[i + 1] = output[i + 2] = 0;
        output[i + 3] = 255;
    }
    const int factor = sourceWidth_ / fit_.width;
    if (sourceWidth_ == factor * fit_.width && sourceHeight_ == factor * fit_.height) {
        ScaleDown(source, output, factor);
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
