// The flash count's report as text, for the capture's --flash-report and flimrevo-flashes.
#pragma once

#include <cstdint>
#include <string>

#include "flash_count.h"

namespace capture {

// One line a frame: frame (the capture's number), seconds (what it shows), luminance (the mean
// relative luminance), general_flashes and red_flashes (in the second from the frame). Frames at
// a fixed rate are numbered from firstFrame and show the platform's frame times; others show
// their own.
std::string FlashCsv(const flash::Report& report, std::int64_t firstFrame);

// The worst second, where it starts, its flashes of either kind, and whether it passes.
std::string FlashVerdict(const flash::Report& report, std::int64_t firstFrame);

}  // namespace capture
