#include "platform/flash/limiter.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace flash {
namespace {

const std::int64_t kSecond = 1000;
const float kStep[2] = {static_cast<float>(kGeneralStep), static_cast<float>(kRedStep)};
// A held-back pixel stops this far towards its step: the rest leaves room for the rounding to
// sRGB bytes, up to half a byte a channel.
const float kShortOf = 0.75f;

// Linear light in 4096 steps back to sRGB bytes.
const std::array<std::uint8_t, 4097>& ToSrgb() {
    static const std::array<std::uint8_t, 4097> table = [] {
        std::array<std::uint8_t, 4097> t{};
        for (int i = 0; i <= 4096; ++i) {
            const double l = i / 4096.0;
            const double c = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
            t[i] = static_cast<std::uint8_t>(std::lround(std::clamp(c, 0.0, 1.0) * 255));
        }
        return t;
    }();
    return table;
}

// How far a pixel may go from `shown` towards `next` so that it stays on the near side of target,
// for a change that would rise (direction +1) or fall (-1) past it.
float Towards(float shown, float next, float target, int direction) {
    if ((next - target) * direction <= 0) {
        return 1;
    }
    if ((shown - target) * direction >= 0) {
        return 0;
    }
    return (target - shown) / (next - shown);
}

// A kind's level of linear RGB, before negative red is taken as 0: it is linear in the colour,
// so a blend's level lies as far along as the blend.
float RawLevel(Kind kind, const float* c) {
    return kind == kGeneral ? 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2]
                            : (c[0] - c[1] - c[2]) * 320.0f;
}

}  // namespace

Limiter::Limiter(int width, int height, bool bottomUp)
    : steps_(width, height, bottomUp), span_(steps_.fields().windows()) {
    for (int k = 0; k < 2; ++k) {
        held_[k].resize(static_cast<size_t>(width + 1) * (height + 1));
    }
}

// Marks, per kind, the pixels under windows that would make a transition they have no room
// for this second. Returns whether there are any.
bool Limiter::MarkHeld() {
    const Fields& f = steps_.fields();
    const size_t stride = static_cast<size_t>(f.width) + 1;
    bool any = false;
    for (int k = 0; k < 2; ++k) {
        const std::vector<std::uint8_t>& steps = steps_.windowSteps(static_cast<Kind>(k));
        const std::vector<int>& counts = span_.counts(static_cast<Kind>(k));
        std::vector<std::int32_t>& held = held_[k];
        std::fill(held.begin(), held.end(), 0);
        bool marked = false;
        size_t w = 0;
        for (int top : f.tops) {
            for (int left : f.lefts) {
                if (steps[w] > 0 && counts[w] + steps[w] > kMostTransitions) {
                    // The window's corners in a table of differences.
                    const size_t upper = static_cast<size_t>(top) * stride + left;
                    const size_t lower = upper + static_cast<size_t>(f.fieldHeight) * stride;
                    ++held[upper];
                    --held[upper + f.fieldWidth];
                    --held[lower];
                    ++held[lower + f.fieldWidth];
                    marked = true;
                }
                ++w;
            }
        }
        if (!marked) {
            continue;
        }
        // Summed, each entry counts the windows over its pixel.
        for (int y = 0; y <= f.height; ++y) {
            std::int32_t* row = &held[static_cast<size_t>(y) * stride];
            for (int x = 1; x <= f.width; ++x) {
                row[x] += row[x - 1];
            }
            if (y > 0) {
                const std::int32_t* above = row - stride;
                for (int x = 0; x <= f.width; ++x) {
                    row[x] += above[x];
                }
            }
        }
        any = true;
    }
    return any;
}

// Each marked pixel that would step goes from the previous picture towards the new one only as
// far as stays short of its step (not at all if still).
void Limiter::HoldBack(std::uint8_t* rgba, bool still) {
    const Fields& f = steps_.fields();
    const size_t stride = static_cast<size_t>(f.width) + 1;
    const float* linear = LinearTable();
    const std::array<std::uint8_t, 4097>& srgb = ToSrgb();
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            const size_t i = static_cast<size_t>(y) * f.width + x;
            const size_t h = static_cast<size_t>(y) * stride + x;
            float alpha = 1;
            std::uint8_t* p = rgba + 4 * i;
            const std::uint8_t* q = previous_.data() + 4 * i;
            const float next[3] = {linear[p[0]], linear[p[1]], linear[p[2]]};
            const float shown[3] = {linear[q[0]], linear[q[1]], linear[q[2]]};
            for (int k = 0; k < 2; ++k) {
                const Kind kind = static_cast<Kind>(k);
                const int direction = steps_.pixelSteps(kind)[i];
                if (direction == 0 || held_[k][h] == 0) {
                    continue;
                }
                const Tracker& t = steps_.trackers(kind)[i];
                const float target =
                    direction > 0 ? t.floor + kShortOf * kStep[k] : t.ceiling - kShortOf * kStep[k];
                alpha = std::min(alpha, still ? 0.0f
                                              : Towards(RawLevel(kind, shown), RawLevel(kind, next),
                                                        target, direction));
            }
            if (alpha >= 1) {
                continue;
            }
            for (int c = 0; c < 3; ++c) {
                const float l = shown[c] + alpha * (next[c] - shown[c]);
                p[c] = srgb[static_cast<size_t>(std::lround(std::clamp(l, 0.0f, 1.0f) * 4096))];
            }
        }
    }
}

bool Limiter::Limit(std::uint8_t* rgba, std::uint32_t tick) {
    if (!previous_.empty()) {
        now_ += static_cast<std::uint32_t>(tick - lastTick_);
    }
    lastTick_ = tick;
    while (!span_.empty() && now_ - span_.frontTime() >= kSecond) {
        span_.PopFront();
    }
    steps_.Try(rgba);
    bool held = false;
    // Rounding to bytes may leave a blended pixel on its step: then it is held where it was.
    for (int pass = 0; pass < 2 && !previous_.empty() && steps_.anyWindowSteps() && MarkHeld();
         ++pass) {
        HoldBack(rgba, pass > 0);
        steps_.Try(rgba);
        held = true;
    }
    steps_.Keep();
    span_.PushBack(now_, steps_);
    previous_.assign(
        rgba, rgba + 4 * static_cast<size_t>(steps_.fields().width) * steps_.fields().height);
    return held;
}

}  // namespace flash
