// The frame-time rule of every run on a virtual clock (the capture, the web page's stills, the
// tests): frame n of a run at a rate of num/den frames a second shows floor(n * 1000 * den / num)
// milliseconds, computed from n alone so that no rounding accumulates over a run.
#pragma once

#include <cstdint>

namespace platform {

struct FrameRate {
    std::int64_t num;  // frames ...
    std::int64_t den;  // ... in this many seconds
    constexpr FrameRate(std::int64_t framesPerSecond) : num(framesPerSecond), den(1) {}  // NOLINT
    constexpr FrameRate(std::int64_t frames, std::int64_t seconds) : num(frames), den(seconds) {}
};

// The elapsed milliseconds frame n shows.
constexpr std::int64_t FrameMs(std::int64_t n, FrameRate rate) {
    return n * 1000 * rate.den / rate.num;
}

// The first frame that shows ms or later: the smallest n with FrameMs(n) >= ms.
constexpr std::int64_t FirstFrameAt(std::int64_t ms, FrameRate rate) {
    return (ms * rate.num + 1000 * rate.den - 1) / (1000 * rate.den);
}

}  // namespace platform
