#include "platform/flash/flash.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace flash {
namespace {

// Window positions along a length: a step apart from 0, the last flush with the end.
std::vector<int> Positions(int length, int window) {
    const int step = std::max(1, window / kWindowSteps);
    std::vector<int> at;
    for (int p = 0; p + window < length; p += step) {
        at.push_back(p);
    }
    at.push_back(length - window);
    return at;
}

}  // namespace

double Linear(std::uint8_t value) {
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

const float* LinearTable() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> values{};
        for (int i = 0; i < 256; ++i) {
            values[i] = static_cast<float>(Linear(static_cast<std::uint8_t>(i)));
        }
        return values;
    }();
    return table.data();
}

double RelativeLuminance(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return 0.2126 * Linear(r) + 0.7152 * Linear(g) + 0.0722 * Linear(b);
}

Fields MakeFields(int width, int height, bool bottomUp) {
    Fields f;
    f.width = width;
    f.height = height;
    f.fieldHeight = std::max(1, static_cast<int>(std::lround(height / 3.0)));
    f.fieldWidth =
        std::clamp(static_cast<int>(std::lround(f.fieldHeight * 341.0 / 256.0)), 1, width);
    f.quarter = (static_cast<long>(f.fieldWidth) * f.fieldHeight + 3) / 4;
    f.lefts = Positions(width, f.fieldWidth);
    f.tops = Positions(height, f.fieldHeight);
    if (bottomUp) {
        for (int& top : f.tops) {
            top = height - f.fieldHeight - top;
        }
    }
    return f;
}

bool IsTransition(Kind kind, float from, bool fromSaturated, float to, bool toSaturated) {
    if (kind == kGeneral) {
        return std::fabs(to - from) >= kGeneralStep && std::min(from, to) < kGeneralDarker;
    }
    return std::fabs(to - from) > kRedStep && (fromSaturated || toSaturated);
}

int Track(Kind kind, Tracker* tracker, float level, bool saturated) {
    Tracker& t = *tracker;
    if (!t.started) {
        t.floor = t.ceiling = level;
        t.floorSaturated = t.ceilingSaturated = saturated;
        t.direction = 0;
        t.started = true;
        return 0;
    }
    // A rise ends the run of falls: falls are measured from here on, and the other way round.
    if (t.direction != 1 && level > t.floor &&
        IsTransition(kind, t.floor, t.floorSaturated, level, saturated)) {
        t.direction = 1;
        t.ceiling = level;
        t.ceilingSaturated = saturated;
        return 1;
    }
    if (t.direction != -1 && level < t.ceiling &&
        IsTransition(kind, t.ceiling, t.ceilingSaturated, level, saturated)) {
        t.direction = -1;
        t.floor = level;
        t.floorSaturated = saturated;
        return -1;
    }
    if (level < t.floor) {
        t.floor = level;
        t.floorSaturated = saturated;
    }
    if (level > t.ceiling) {
        t.ceiling = level;
        t.ceilingSaturated = saturated;
    }
    return 0;
}

Levels Measure(const std::uint8_t* rgba) {
    const float* linear = LinearTable();
    const float r = linear[rgba[0]], g = linear[rgba[1]], b = linear[rgba[2]];
    return Levels{{0.2126f * r + 0.7152f * g + 0.0722f * b, std::max(0.0f, (r - g - b) * 320.0f)},
                  r > 0 && r >= static_cast<float>(kRedSaturation) * (r + g + b)};
}

Steps::Steps(int width, int height, bool bottomUp) : fields_(MakeFields(width, height, bottomUp)) {
    const size_t pixels = static_cast<size_t>(width) * height;
    kept_.resize(pixels);
    lum_.resize(pixels);
    triedLum_.resize(pixels);
    tried_pixels_.resize(pixels);
    for (int k = 0; k < 2; ++k) {
        trackers_[k].resize(pixels);
        tried_[k].resize(pixels);
        pixel_[k].resize(pixels);
        window_[k].resize(fields_.windows());
    }
    table_.resize(static_cast<size_t>(width + 1) * (height + 1));
}

void Steps::Try(const std::uint8_t* rgba) {
    const size_t pixels = kept_.size();
    changed_.clear();
    for (int k = 0; k < 2; ++k) {
        std::fill(pixel_[k].begin(), pixel_[k].end(), 0);
    }
    std::copy_n(rgba, 4 * pixels, reinterpret_cast<std::uint8_t*>(tried_pixels_.data()));
    const std::uint32_t* now = tried_pixels_.data();
    long rises[2] = {0, 0}, falls[2] = {0, 0};
    double total = keptTotal_;
    for (size_t i = 0; i < pixels; ++i) {
        // Alpha is not looked at.
        if (started_ && ((now[i] ^ kept_[i]) & 0x00ffffffu) == 0) {
            continue;
        }
        // The byte order of RGBA in memory, whatever the machine's.
        const Levels levels = Measure(rgba + 4 * i);
        changed_.push_back(static_cast<std::uint32_t>(i));
        total += static_cast<double>(levels.level[kGeneral]) - (started_ ? lum_[i] : 0.0f);
        triedLum_[i] = levels.level[kGeneral];
        for (int k = 0; k < 2; ++k) {
            Tracker t = trackers_[k][i];
            const int step = Track(static_cast<Kind>(k), &t, levels.level[k], levels.saturated);
            tried_[k][i] = t;
            pixel_[k][i] = static_cast<std::int8_t>(step);
            rises[k] += step > 0;
            falls[k] += step < 0;
        }
    }
    triedTotal_ = total;
    anyWindow_ = false;
    for (int k = 0; k < 2; ++k) {
        std::fill(window_[k].begin(), window_[k].end(), 0);
        if (rises[k] >= fields_.quarter) {
            CountWindows(static_cast<Kind>(k), 1);
        }
        if (falls[k] >= fields_.quarter) {
            CountWindows(static_cast<Kind>(k), -1);
        }
    }
}

void Steps::Keep() {
    for (std::uint32_t i : changed_) {
        trackers_[kGeneral][i] = tried_[kGeneral][i];
        trackers_[kRed][i] = tried_[kRed][i];
        lum_[i] = triedLum_[i];
    }
    kept_.swap(tried_pixels_);
    keptTotal_ = triedTotal_;
    started_ = true;
}

// Each window whose pixels stepping in direction cover a quarter field makes a transition.
void Steps::CountWindows(Kind kind, int direction) {
    const int width = fields_.width, height = fields_.height;
    const size_t stride = static_cast<size_t>(width) + 1;
    const std::int8_t* step = pixel_[kind].data();
    std::fill(table_.begin(), table_.begin() + static_cast<long>(stride), 0);
    for (int y = 0; y < height; ++y) {
        std::uint32_t* above = &table_[static_cast<size_t>(y) * stride];
        std::uint32_t* row = above + stride;
        std::uint32_t sum = 0;
        row[0] = 0;
        for (int x = 0; x < width; ++x) {
            sum += *step++ == direction;
            row[x + 1] = above[x + 1] + sum;
        }
    }
    const int w = fields_.fieldWidth, h = fields_.fieldHeight;
    std::uint8_t* window = window_[kind].data();
    for (int top : fields_.tops) {
        const std::uint32_t* upper = &table_[static_cast<size_t>(top) * stride];
        const std::uint32_t* lower = upper + static_cast<size_t>(h) * stride;
        for (int left : fields_.lefts) {
            const long count = static_cast<long>(lower[left + w] - lower[left]) -
                               static_cast<long>(upper[left + w] - upper[left]);
            if (count >= fields_.quarter) {
                ++*window;
                anyWindow_ = true;
            }
            ++window;
        }
    }
}

Span::Span(size_t windows) {
    for (int k = 0; k < 2; ++k) {
        counts_[k].assign(windows, 0);
    }
}

void Span::PushBack(std::int64_t time, const Steps& steps) {
    frames_.push_back(Frame{time, {}});
    if (!steps.anyWindowSteps()) {
        return;
    }
    for (int k = 0; k < 2; ++k) {
        const std::vector<std::uint8_t>& windows = steps.windowSteps(static_cast<Kind>(k));
        std::vector<std::uint32_t>& list = frames_.back().windows[k];
        for (size_t w = 0; w < windows.size(); ++w) {
            for (int n = 0; n < windows[w]; ++n) {
                list.push_back(static_cast<std::uint32_t>(w));
                ++counts_[k][w];
            }
        }
        total_[k] += static_cast<long>(list.size());
    }
}

void Span::PopFront() {
    for (int k = 0; k < 2; ++k) {
        for (std::uint32_t w : frames_.front().windows[k]) {
            --counts_[k][w];
        }
        total_[k] -= static_cast<long>(frames_.front().windows[k].size());
    }
    frames_.pop_front();
}

int Span::Most(Kind kind) const {
    if (total_[kind] == 0) {
        return 0;
    }
    return *std::max_element(counts_[kind].begin(), counts_[kind].end());
}

}  // namespace flash
