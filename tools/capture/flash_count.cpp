#include "flash_count.h"

#include <algorithm>

namespace flash {
namespace {

const std::int64_t kSecondUs = 1000000;
// Frame times from a container's time base are rounded to microseconds: frames a second apart
// may be a microsecond short of it.
const std::int64_t kRounding = 2;

}  // namespace

Analyser::Analyser(int width, int height, int fps)
    : steps_(width, height), fps_(fps), span_(steps_.fields().windows()) {}

void Analyser::Add(const std::uint8_t* rgba) {
    const std::int64_t n = static_cast<std::int64_t>(rows_.size());
    Add(rgba, fps_ > 0 ? n * kSecondUs / fps_ : n * kSecondUs);
}

void Analyser::Add(const std::uint8_t* rgba, std::int64_t microseconds) {
    while (!span_.empty() && microseconds - span_.frontTime() >= kSecondUs - kRounding) {
        CloseSecond();
    }
    steps_.Try(rgba);
    steps_.Keep();
    span_.PushBack(microseconds, steps_);
    rows_.push_back(
        FrameRow{static_cast<double>(microseconds) / kSecondUs, steps_.luminance(), 0, 0});
    changed_.push_back(steps_.anyWindowSteps());
}

void Analyser::CloseSecond() {
    FrameRow& row = rows_[static_cast<size_t>(closed_++)];
    row.generalFlashes = span_.Most(kGeneral) / 2.0;
    row.redFlashes = span_.Most(kRed) / 2.0;
    span_.PopFront();
}

Report Analyser::Finish() {
    while (!span_.empty()) {
        CloseSecond();
    }
    Report report;
    report.fps = fps_;
    report.frames = rows_;
    const size_t frames = rows_.size();
    // The first second with the most flashes, moved on to its first transition.
    const auto worst = [&](size_t i) {
        return std::max(rows_[i].generalFlashes, rows_[i].redFlashes);
    };
    size_t best = 0;
    for (size_t i = 1; i < frames; ++i) {
        if (worst(i) > worst(best)) {
            best = i;
        }
    }
    while (worst(best) > 0 && !changed_[best] && best + 1 < frames &&
           worst(best + 1) == worst(best)) {
        ++best;
    }
    if (frames > 0) {
        report.worst = Second{static_cast<std::int64_t>(best), rows_[best].generalFlashes,
                              rows_[best].redFlashes};
    }
    return report;
}

}  // namespace flash
