#include "timeline/timeline.h"

#include <cstdint>

namespace {

// The single-precision float nearest 0.001, bit pattern 0x3A83126F.
const float SecondsPerTick = 0x1.0624dep-10f;

}  // namespace

// The tick count is read once a frame. The subtraction wraps modulo 2^32, so a counter that rolls
// over during the piece still gives the small elapsed time; the product is formed in double and
// rounded once to single precision when it becomes t.
float ComputeTimelineSeconds(DWORD startTick) {
    return TimelineSecondsAfter(GetTickCount() - startTick);
}

float TimelineSecondsAfter(DWORD elapsed) {
    const std::uint64_t widened = elapsed;
    return static_cast<float>(static_cast<double>(widened) * static_cast<double>(SecondsPerTick));
}
