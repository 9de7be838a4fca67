#include "blend.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace capture {
namespace {

const double kLinearMost = 65535;

// The sRGB transfer function's inverse: encoded value in [0, 1] to linear light in [0, 1].
double Decode(double encoded) {
    return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

struct Tables {
    std::array<std::uint32_t, 256> toLinear;
    std::array<std::uint8_t, 65536> fromLinear;
};

// toLinear[v] is v's light, rounded. An average is encoded by rounding: it becomes v + 1 once it
// reaches the light of (v + 0.5) / 255, the threshold between v and v + 1. Every threshold lies
// strictly between its two neighbours' light (they are at least 10 units apart), so the light of
// v itself always comes back as v.
const Tables& GetTables() {
    static const Tables tables = [] {
        Tables t{};
        for (int v = 0; v < 256; ++v) {
            t.toLinear[v] =
                static_cast<std::uint32_t>(std::lround(Decode(v / 255.0) * kLinearMost));
        }
        int value = 0;
        for (std::uint32_t linear = 0; linear < t.fromLinear.size(); ++linear) {
            while (value < 255 && static_cast<long>(linear) >=
                                      std::lround(Decode((value + 0.5) / 255.0) * kLinearMost)) {
                ++value;
            }
            t.fromLinear[linear] = static_cast<std::uint8_t>(value);
        }
        return t;
    }();
    return tables;
}

}  // namespace

std::uint32_t ToLinear(std::uint8_t value) {
    return GetTables().toLinear[value];
}

std::uint8_t FromLinear(std::uint32_t linear) {
    return GetTables().fromLinear[std::min<std::uint32_t>(linear, 65535)];
}

LinearBlend::LinearBlend(size_t pixels) : sums_(pixels * 4, 0) {}

void LinearBlend::Add(const std::uint8_t* rgba) {
    const auto& toLinear = GetTables().toLinear;
    for (size_t i = 0; i < sums_.size(); i += 4) {
        sums_[i] += toLinear[rgba[i]];
        sums_[i + 1] += toLinear[rgba[i + 1]];
        sums_[i + 2] += toLinear[rgba[i + 2]];
        sums_[i + 3] += rgba[i + 3];
    }
    ++added_;
}

// An average reaches a threshold t (a whole number) exactly when floor(sum / count) does, so the
// floor of the mean looked up in fromLinear is exact.
void LinearBlend::Finish(std::uint8_t* out) {
    const auto& fromLinear = GetTables().fromLinear;
    const std::uint32_t count = static_cast<std::uint32_t>(std::max(added_, 1));
    for (size_t i = 0; i < sums_.size(); i += 4) {
        out[i] = fromLinear[sums_[i] / count];
        out[i + 1] = fromLinear[sums_[i + 1] / count];
        out[i + 2] = fromLinear[sums_[i + 2] / count];
        out[i + 3] = static_cast<std::uint8_t>((sums_[i + 3] + count / 2) / count);
    }
    std::fill(sums_.begin(), sums_.end(), 0);
    added_ = 0;
}

}  // namespace capture
