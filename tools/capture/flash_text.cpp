#include "flash_text.h"

#include <cstdio>

#include "platform/frame_time.h"

namespace capture {
namespace {

std::string Format(const char* format, double a, double b = 0, double c = 0) {
    char text[96];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

double SecondsOf(const flash::Report& report, std::int64_t firstFrame, size_t i) {
    if (report.fps == 0) {
        return report.frames[i].seconds;
    }
    const std::int64_t frame = firstFrame + static_cast<std::int64_t>(i);
    return static_cast<double>(platform::FrameMs(frame, report.fps)) / 1000.0;
}

}  // namespace

std::string FlashCsv(const flash::Report& report, std::int64_t firstFrame) {
    std::string csv = "frame,seconds,luminance,general_flashes,red_flashes\n";
    for (size_t i = 0; i < report.frames.size(); ++i) {
        const flash::FrameRow& row = report.frames[i];
        const std::int64_t frame = firstFrame + static_cast<std::int64_t>(i);
        csv += std::to_string(frame) +
               Format(",%.3f,%.4f", SecondsOf(report, firstFrame, i), row.luminance) +
               Format(",%g,%g\n", row.generalFlashes, row.redFlashes);
    }
    return csv;
}

std::string FlashVerdict(const flash::Report& report, std::int64_t firstFrame) {
    const flash::Second& worst = report.worst;
    if (worst.worst() == 0) {
        return "no flashes: passes\n";
    }
    const double from = SecondsOf(report, firstFrame, static_cast<size_t>(worst.frame));
    std::string text =
        "worst second: " +
        Format("from %.3f s to %.3f s, %g general flashes and ", from, from + 1, worst.general) +
        Format("%g red flashes\n", worst.red);
    if (report.passes()) {
        return text + Format("passes: no second holds more than %g flashes of either kind\n",
                             flash::kMostFlashes);
    }
    return text +
           Format("fails: more than %g flashes of one kind in a second\n", flash::kMostFlashes);
}

}  // namespace capture
