#include "timing.h"

#include <algorithm>
#include <cstdio>

#include "timeline/timeline.h"

namespace capture {
namespace {

// The whole milliseconds frame n's shutter is open for, from FrameMs(n) on: ceil of its length.
std::int64_t ShutterMs(std::int64_t n, Rate rate, int angle) {
    const std::int64_t span = FrameMs(n + 1, rate) - FrameMs(n, rate);
    return (span * angle + 359) / 360;
}

// The same, without the milliseconds at and past the piece's end; 1 for the frame that ends it.
std::int64_t OpenMs(std::int64_t n, Rate rate, int angle) {
    const std::int64_t left = PieceEndMs() - FrameMs(n, rate);
    return left <= 0 ? 1 : std::min(ShutterMs(n, rate, angle), left);
}

}  // namespace

std::int64_t PieceEndMs() {
    static const std::int64_t endMs = [] {
        std::int64_t ms = static_cast<std::int64_t>(PieceEndTime * 1000) - 2;
        while (
            !(static_cast<double>(TimelineSecondsAfter(static_cast<DWORD>(ms))) > PieceEndTime)) {
            ++ms;
        }
        return ms;
    }();
    return endMs;
}

std::int64_t PieceFrames(Rate rate) {
    return FirstFrameAt(PieceEndMs(), rate) + 1;
}

std::string PieceEndText() {
    char text[32];
    std::snprintf(text, sizeof text, "%g", PieceEndTime);
    return text;
}

std::string RateText(Rate rate) {
    return rate.den == 1 ? std::to_string(rate.num)
                         : std::to_string(rate.num) + "/" + std::to_string(rate.den);
}

int SubFrames(std::int64_t n, Rate rate, Shutter shutter) {
    if (shutter.samples <= 1) {
        return 1;
    }
    return static_cast<int>(
        std::min<std::int64_t>(shutter.samples, OpenMs(n, rate, shutter.angle)));
}

std::int64_t SubFrameMs(std::int64_t n, int k, Rate rate, Shutter shutter) {
    if (k == 0) {
        return FrameMs(n, rate);
    }
    const std::int64_t open = OpenMs(n, rate, shutter.angle);
    return FrameMs(n, rate) + k * open / SubFrames(n, rate, shutter);
}

int MostSamples(Rate rate, int angle) {
    std::int64_t most = ShutterMs(0, rate, angle);
    for (std::int64_t n = 1; FrameMs(n, rate) < PieceEndMs(); ++n) {
        most = std::min(most, ShutterMs(n, rate, angle));
    }
    return static_cast<int>(most);
}

}  // namespace capture
