#include "flash_count.h"

#include <algorithm>

namespace flash {

Analyser::Analyser(int width, int height, int fps) : grid_(MakeGrid(width, height)), fps_(fps) {
    const size_t areas = static_cast<size_t>(grid_.columns - grid_.areaColumns + 1) *
                         (grid_.rows - grid_.areaRows + 1);
    for (int k = 0; k < 2; ++k) {
        trackers_[k].resize(areas);
        changes_[k].resize(areas);
    }
}

void Analyser::Add(const std::uint8_t* rgba) {
    double luminance = 0;
    const std::vector<Area> areas = MeasureAreas(MeasureCells(rgba, grid_, &luminance), grid_);
    luminance_.push_back(luminance);
    bool changed = false;
    for (int k = 0; k < 2; ++k) {
        for (size_t i = 0; i < areas.size(); ++i) {
            if (Track(static_cast<Kind>(k), &trackers_[k][i], areas[i]) != 0) {
                changes_[k][i].push_back(frame_);
                changed = true;
            }
        }
    }
    changed_.push_back(changed);
    ++frame_;
}

void CountSeconds(const std::vector<std::int64_t>& changes, int fps, std::vector<double>* flashes) {
    if (changes.empty()) {
        return;
    }
    const std::int64_t frames = static_cast<std::int64_t>(flashes->size());
    size_t first = 0, end = 0;  // the changes in [s, s + fps)
    for (std::int64_t s = std::max<std::int64_t>(0, changes.front() - fps + 1);
         s <= changes.back() && s < frames; ++s) {
        while (first < changes.size() && changes[first] < s) {
            ++first;
        }
        while (end < changes.size() && changes[end] < s + fps) {
            ++end;
        }
        double& count = (*flashes)[s];
        count = std::max(count, (end - first) / 2.0);
    }
}

Report Analyser::Finish() const {
    Report report;
    report.fps = fps_;
    const size_t frames = luminance_.size();
    std::vector<double> flashes[2] = {std::vector<double>(frames), std::vector<double>(frames)};
    for (int k = 0; k < 2; ++k) {
        for (const std::vector<std::int64_t>& changes : changes_[k]) {
            CountSeconds(changes, fps_, &flashes[k]);
        }
    }
    report.frames.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        report.frames[i] = FrameRow{luminance_[i], flashes[0][i], flashes[1][i]};
    }
    // The first second with the most flashes, moved on to its first transition.
    const auto worst = [&](size_t i) { return std::max(flashes[0][i], flashes[1][i]); };
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
        report.worst = Second{static_cast<std::int64_t>(best), flashes[0][best], flashes[1][best]};
    }
    return report;
}

}  // namespace flash
