#include "platform/flash/limiter.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace flash {
namespace {

const std::uint32_t kSecond = 1000;
const float kStep[2] = {static_cast<float>(kGeneralStep), static_cast<float>(kRedStep)};
// A held-back change stops this far towards the step.
const float kShortOf = 0.9f;

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

// How far a cell may go from `shown` towards `next` so that it stays on the near side of target,
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

}  // namespace

Limiter::Limiter(int width, int height) : grid_(MakeGrid(width, height)) {
    const size_t areas = static_cast<size_t>(grid_.columns - grid_.areaColumns + 1) *
                         (grid_.rows - grid_.areaRows + 1);
    for (int k = 0; k < 2; ++k) {
        trackers_[k].resize(areas);
        recent_[k].resize(areas);
    }
}

// Each area that would make a transition it has no room for this second holds its cells back
// short of the step.
void Limiter::HoldBack(const std::vector<Cell>& next, std::uint32_t tick,
                       std::vector<float>* alpha) {
    const std::vector<Area> areas = MeasureAreas(next, grid_);
    const int across = grid_.columns - grid_.areaColumns + 1;
    for (int k = 0; k < 2; ++k) {
        for (size_t a = 0; a < areas.size(); ++a) {
            std::deque<std::uint32_t>& recent = recent_[k][a];
            while (!recent.empty() && tick - recent.front() >= kSecond) {
                recent.pop_front();
            }
            Tracker trial = trackers_[k][a];
            const int direction = Track(static_cast<Kind>(k), &trial, areas[a]);
            if (direction == 0 || static_cast<int>(recent.size()) < kMostTransitions) {
                continue;
            }
            const Tracker& t = trackers_[k][a];
            const float target =
                direction > 0 ? t.floor + kShortOf * kStep[k] : t.ceiling - kShortOf * kStep[k];
            const int left = static_cast<int>(a % across), top = static_cast<int>(a / across);
            for (int y = top; y < top + grid_.areaRows; ++y) {
                for (int x = left; x < left + grid_.areaColumns; ++x) {
                    const size_t c = static_cast<size_t>(y) * grid_.columns + x;
                    (*alpha)[c] =
                        std::min((*alpha)[c],
                                 Towards(shown_[c].level[k], next[c].level[k], target, direction));
                }
            }
        }
    }
}

// Each pixel from the previous picture towards the new one, in linear light, as far as its
// cells allow: the cells' allowances, each the least of it and its neighbours', interpolated
// between the cells' centres, so that no pixel goes further than its own cell allows and no
// edge shows between cells.
void Limiter::Blend(std::uint8_t* rgba, const std::vector<float>& alpha) const {
    std::vector<float> least(alpha.size());
    for (int r = 0; r < grid_.rows; ++r) {
        for (int c = 0; c < grid_.columns; ++c) {
            float a = 1;
            for (int y = std::max(0, r - 1); y <= std::min(grid_.rows - 1, r + 1); ++y) {
                for (int x = std::max(0, c - 1); x <= std::min(grid_.columns - 1, c + 1); ++x) {
                    a = std::min(a, alpha[static_cast<size_t>(y) * grid_.columns + x]);
                }
            }
            least[static_cast<size_t>(r) * grid_.columns + c] = a;
        }
    }

    const std::array<std::uint8_t, 4097>& srgb = ToSrgb();
    const auto at = [&](int c, int r) {
        return least[static_cast<size_t>(std::clamp(r, 0, grid_.rows - 1)) * grid_.columns +
                     std::clamp(c, 0, grid_.columns - 1)];
    };
    for (int y = 0; y < grid_.height; ++y) {
        // Where the pixel lies between cell centres, in cells.
        const double fy = (y + 0.5) * grid_.rows / grid_.height - 0.5;
        const int r0 = static_cast<int>(std::floor(fy));
        const float wy = static_cast<float>(fy - r0);
        std::uint8_t* p = rgba + static_cast<size_t>(y) * grid_.width * 4;
        const std::uint8_t* q = previous_.data() + static_cast<size_t>(y) * grid_.width * 4;
        for (int x = 0; x < grid_.width; ++x, p += 4, q += 4) {
            const double fx = (x + 0.5) * grid_.columns / grid_.width - 0.5;
            const int c0 = static_cast<int>(std::floor(fx));
            const float wx = static_cast<float>(fx - c0);
            const float a = (1 - wy) * ((1 - wx) * at(c0, r0) + wx * at(c0 + 1, r0)) +
                            wy * ((1 - wx) * at(c0, r0 + 1) + wx * at(c0 + 1, r0 + 1));
            if (a >= 1) {
                continue;
            }
            for (int i = 0; i < 3; ++i) {
                const float l =
                    static_cast<float>(Linear(q[i]) + a * (Linear(p[i]) - Linear(q[i])));
                p[i] = srgb[static_cast<int>(std::lround(std::clamp(l, 0.0f, 1.0f) * 4096))];
            }
        }
    }
}

bool Limiter::Limit(std::uint8_t* rgba, std::uint32_t tick) {
    double luminance = 0;
    std::vector<Cell> next = MeasureCells(rgba, grid_, &luminance);
    std::vector<float> alpha(next.size(), 1.0f);
    if (!previous_.empty()) {
        HoldBack(next, tick, &alpha);
    }
    const bool held = std::any_of(alpha.begin(), alpha.end(), [](float a) { return a < 1; });
    if (held) {
        Blend(rgba, alpha);
        next = MeasureCells(rgba, grid_, &luminance);
    }
    // What is shown goes on record.
    const std::vector<Area> areas = MeasureAreas(next, grid_);
    for (int k = 0; k < 2; ++k) {
        for (size_t a = 0; a < areas.size(); ++a) {
            if (Track(static_cast<Kind>(k), &trackers_[k][a], areas[a]) != 0) {
                recent_[k][a].push_back(tick);
            }
        }
    }
    shown_ = std::move(next);
    previous_.assign(rgba, rgba + static_cast<size_t>(grid_.width) * grid_.height * 4);
    return held;
}

}  // namespace flash
