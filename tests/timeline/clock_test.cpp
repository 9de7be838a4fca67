// The timeline clock, driven by the platform's virtual tick count.
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/host.h"
#include "timeline/timeline.h"

namespace {

// t for ms elapsed milliseconds: ms times the float whose bits are 0x3A83126F, formed in double
// and rounded once to float.
float Expected(std::uint32_t ms) {
    const std::uint32_t bits = 0x3A83126Fu;
    float perTick;
    std::memcpy(&perTick, &bits, sizeof perTick);
    return static_cast<float>(static_cast<double>(ms) * static_cast<double>(perTick));
}

float ClockAt(std::uint32_t startTick, std::uint32_t ms) {
    host::SetTicks(startTick + ms);
    return ComputeTimelineSeconds(startTick);
}

TEST(Clock, HitsOnlyTheBoundsItShouldAndSurvivesTheTickCounterWrapping) {
    host::Options options;
    options.clock.on = true;
    host::Start(options);
    EXPECT_EQ(ClockAt(1000, 16500), 16.5f);
    EXPECT_EQ(ClockAt(1000, 68000), 68.0f);
    EXPECT_EQ(ClockAt(1000, 72000), 72.0f);
    for (std::uint32_t ms = 0; ms <= 100000; ++ms) {
        const float t = ClockAt(1000, ms);
        ASSERT_EQ(t, Expected(ms)) << ms;
        for (float never : {26.5f, 31.0f, 48.0f, 58.0f, 89.0f}) {
            ASSERT_NE(t, never) << ms;
        }
    }
    // The counter passes 0 between the start tick and the frame.
    const std::uint32_t start = 0xFFFFFFFFu - 2000u;
    for (std::uint32_t ms : {1999u, 2001u, 31150u}) {
        EXPECT_EQ(ClockAt(start, ms), Expected(ms)) << ms;
    }
    host::Stop();
}

}  // namespace
