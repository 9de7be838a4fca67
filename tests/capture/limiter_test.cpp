// The flash limiter on synthetic frames, judged by the flash count: whole-picture, red and
// scattered strobes at 30, 60 and 144 fps come out within the limit in every second; frames that
// need nothing come out byte for byte; the budget comes back a second after a transition, also
// across the tick counter's wrap. Pictures are 96 x 72 (fields 32 x 24), rows bottom row first as
// GL gives them; the count reads them turned the right way up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "flash_count.h"
#include "platform/flash/limiter.h"
#include "platform/frame_time.h"

namespace {

const int kWidth = 96, kHeight = 72;
using Picture = std::vector<std::uint8_t>;
// Frame n of a pattern, as drawn (bottom row first).
using Pattern = std::function<Picture(int n, int fps)>;

Picture Flat(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    Picture p(4 * kWidth * kHeight, 255);
    for (size_t i = 0; i < p.size(); i += 4) {
        p[i] = r;
        p[i + 1] = g;
        p[i + 2] = b;
    }
    return p;
}

// On or off every `period` seconds.
bool On(int n, int fps, double period) {
    return static_cast<int>(n / (fps * period)) % 2 == 1;
}

Picture Flipped(const Picture& p) {
    Picture out(p.size());
    const size_t row = 4 * kWidth;
    for (int y = 0; y < kHeight; ++y) {
        std::copy_n(p.begin() + static_cast<long>(y * row), row,
                    out.begin() + static_cast<long>((kHeight - 1 - y) * row));
    }
    return out;
}

struct Limited {
    std::vector<Picture> in, out;
    std::vector<bool> changed;
    flash::Report report;  // of what was shown
};

Limited Limit(const Pattern& pattern, int fps, int frames, std::uint32_t firstTick = 0) {
    Limited run;
    flash::Limiter limiter(kWidth, kHeight);
    flash::Analyser shown(kWidth, kHeight, fps);
    for (int n = 0; n < frames; ++n) {
        run.in.push_back(pattern(n, fps));
        Picture p = run.in.back();
        const auto tick = static_cast<std::uint32_t>(firstTick + platform::FrameMs(n, fps));
        run.changed.push_back(limiter.Limit(p.data(), tick));
        shown.Add(Flipped(p).data());
        run.out.push_back(p);
    }
    run.report = shown.Finish();
    return run;
}

const Pattern kWhiteStrobe = [](int n, int) { return n % 2 ? Flat(255, 255, 255) : Flat(0, 0, 0); };
// Red below the general step: its luminance changes by 0.085.
const Pattern kRedStrobe = [](int n, int) { return n / 2 % 2 ? Flat(170, 0, 0) : Flat(0, 0, 0); };
// 2 x 2 squares 4 pixels apart: a quarter of every field, in pieces.
const Pattern kScattered = [](int n, int) {
    Picture p = Flat(0, 0, 0);
    for (int y = 0; n % 2 && y < kHeight; y += 4)
        for (int x = 0; x < kWidth; x += 4)
            for (int i : {0, 1, kWidth, kWidth + 1})
                std::fill_n(p.begin() + 4 * (y * kWidth + x + i), 3, 255);
    return p;
};
// A quarter of a field at the top of the picture (the last rows as drawn).
const Pattern kTopPatch = [](int n, int) {
    Picture p = Flat(0, 0, 0);
    for (int y = kHeight - 12; n % 3 == 1 && y < kHeight; ++y)
        std::fill_n(p.begin() + 4 * (y * kWidth + 40), 4 * 16, 255);
    return p;
};

TEST(Limiter, KeepsEverySecondWithinTheLimit) {
    const struct {
        const char* what;
        Pattern pattern;
    } patterns[] = {{"white", kWhiteStrobe},
                    {"red", kRedStrobe},
                    {"scattered", kScattered},
                    {"top patch", kTopPatch}};
    for (const auto& c : patterns) {
        for (int fps : {30, 60, 144}) {
            SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(fps) + " fps");
            const Limited run = Limit(c.pattern, fps, 2 * fps);
            EXPECT_LE(run.report.worst.worst(), flash::Limiter::kMostTransitions / 2.0);
            // Held back only where a transition had no room: the first five go through.
            EXPECT_EQ(run.report.worst.worst(), flash::Limiter::kMostTransitions / 2.0);
            for (size_t n = 0; n < run.in.size(); ++n) {
                ASSERT_EQ(run.changed[n], run.in[n] != run.out[n]) << "frame " << n;
            }
        }
    }
}

TEST(Limiter, LeavesCalmPicturesAsTheyCame) {
    const struct {
        const char* what;
        Pattern pattern;
    } patterns[] = {
        // Black to white over two seconds: one transition, however many steps it passes.
        {"fade",
         [](int n, int fps) {
             const auto v = static_cast<std::uint8_t>(std::min(255, 255 * n / (2 * fps)));
             return Flat(v, v, v);
         }},
        // A line a pixel wide every 8 pixels, moving a pixel a frame.
        {"lines",
         [](int n, int) {
             Picture p = Flat(0, 0, 0);
             for (int y = 0; y < kHeight; ++y)
                 for (int x = n % 8; x < kWidth; x += 8)
                     std::fill_n(p.begin() + 4 * (y * kWidth + x), 3, 255);
             return p;
         }},
        // Two and a half flashes a second, as many as the limiter lets through.
        {"slow strobe",
         [](int n, int fps) { return On(n, fps, 0.2) ? Flat(255, 255, 255) : Flat(0, 0, 0); }},
    };
    for (const auto& c : patterns) {
        SCOPED_TRACE(c.what);
        const Limited run = Limit(c.pattern, 60, 180);
        EXPECT_EQ(std::count(run.changed.begin(), run.changed.end(), true), 0);
        EXPECT_EQ(run.in, run.out);
    }
}

// The left third strobes every frame; the right quarter, more than a field's width away, turns
// white and black every 0.2 s at the same frames as the strobe, within the budget: only the left
// is held back.
TEST(Limiter, HoldsBackOnlyWhereAWindowIsOutOfRoom) {
    const Pattern pattern = [](int n, int fps) {
        Picture p = Flat(0, 0, 0);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                if ((x < 32 && n % 2) || (x >= 72 && On(n, fps, 0.2)))
                    std::fill_n(p.begin() + 4 * (y * kWidth + x), 3, 255);
            }
        }
        return p;
    };
    const Limited run = Limit(pattern, 60, 120);
    int held = 0;
    for (size_t n = 0; n < run.in.size(); ++n) {
        held += run.changed[n];
        for (int y = 0; y < kHeight; ++y) {
            const long right = 4 * (y * kWidth + 72);
            ASSERT_TRUE(std::equal(run.in[n].begin() + right, run.in[n].begin() + right + 4 * 24,
                                   run.out[n].begin() + right))
                << "frame " << n << " row " << y;
        }
    }
    EXPECT_GT(held, 40);  // about every other frame: a held one looks like the next
    EXPECT_EQ(run.report.worst.worst(), 2.5);
}

// Toggles every 0.1 s: five transitions in the second from 0.1 s, none more until the first of
// them is a second old, then five again in the next second; the same with the tick counter
// wrapping in the middle.
TEST(Limiter, RenewsTheBudgetASecondOn) {
    const Pattern tenth = [](int n, int fps) {
        return On(n, fps, 0.1) ? Flat(255, 255, 255) : Flat(0, 0, 0);
    };
    const Limited run = Limit(tenth, 60, 150);
    EXPECT_EQ(run.report.frames[6].generalFlashes, 2.5);
    EXPECT_EQ(run.report.frames[66].generalFlashes, 2.5);
    EXPECT_EQ(run.report.worst.worst(), 2.5);
    for (int n = 0; n < 36; ++n) {
        ASSERT_FALSE(run.changed[n]) << "frame " << n;
    }
    EXPECT_TRUE(run.changed[36]);
    const Limited wrapped = Limit(tenth, 60, 150, 0xffffffffu - 1050);
    EXPECT_EQ(wrapped.out, run.out);
}

}  // namespace
