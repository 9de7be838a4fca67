// The flash limiter on synthetic 96 x 72 frames (fields 32 x 24), judged by the flash count.
// Rows come bottom row first as GL gives them; the count reads them turned the right way up.
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
using Pattern = std::function<Picture(int n, int fps)>;  // frame n, as drawn

Picture Flat(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    Picture p(4 * kWidth * kHeight, 255);
    for (size_t i = 0; i < p.size(); i += 4) {
        p[i] = r;
        p[i + 1] = g;
        p[i + 2] = b;
    }
    return p;
}

Picture BlackOrWhite(bool white) {
    return white ? Flat(255, 255, 255) : Flat(0, 0, 0);
}

// On or off every `period` seconds.
bool On(int n, int fps, double period) {
    return static_cast<int>(n / (fps * period)) % 2 == 1;
}

void White(Picture& p, int x, int y, int pixels) {
    std::fill_n(p.begin() + 4 * (y * kWidth + x), 4 * pixels - 1, 255);
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
        run.changed.push_back(limiter.Limit(
            p.data(), static_cast<std::uint32_t>(firstTick + platform::FrameMs(n, fps))));
        Picture flipped(p.size());
        const size_t row = 4 * kWidth;
        for (int y = 0; y < kHeight; ++y)
            std::copy_n(p.begin() + static_cast<long>(y * row), row,
                        flipped.begin() + static_cast<long>((kHeight - 1 - y) * row));
        shown.Add(flipped.data());
        run.out.push_back(p);
    }
    run.report = shown.Finish();
    return run;
}

// Strobes, whole-picture, red, scattered and at the top of the picture, at 30, 60 and 144 fps: the
// first five transitions go through, then only as many as keep every second within the limit.
// Calm pictures, at 60 fps, come out as they came.
TEST(Limiter, KeepsEverySecondWithinTheLimitAndCalmPicturesAsTheyCame) {
    const struct {
        const char* what;
        bool calm;
        Pattern pattern;
    } patterns[] = {
        {"white", false, [](int n, int) { return BlackOrWhite(n % 2); }},
        // Red below the general step: its luminance changes by 0.085.
        {"red", false, [](int n, int) { return n / 2 % 2 ? Flat(170, 0, 0) : Flat(0, 0, 0); }},
        // 2 x 2 squares 4 pixels apart: a quarter of every field, in pieces.
        {"scattered", false,
         [](int n, int) {
             Picture p = Flat(0, 0, 0);
             for (int y = 0; n % 2 && y < kHeight; y += 4)
                 for (int x = 0; x < kWidth; x += 4)
                     for (int dy : {0, 1})
                         White(p, x, y + dy, 2);
             return p;
         }},
        // A quarter of a field at the top of the picture (the last rows as drawn).
        {"top patch", false,
         [](int n, int) {
             Picture p = Flat(0, 0, 0);
             for (int y = kHeight - 12; n % 3 == 1 && y < kHeight; ++y)
                 White(p, 40, y, 16);
             return p;
         }},
        // Black to white over two seconds: one transition, however many steps it passes.
        {"fade", true,
         [](int n, int fps) {
             const auto v = static_cast<std::uint8_t>(std::min(255, 255 * n / (2 * fps)));
             return Flat(v, v, v);
         }},
        // A line a pixel wide every 8 pixels, moving a pixel a frame.
        {"lines", true,
         [](int n, int) {
             Picture p = Flat(0, 0, 0);
             for (int y = 0; y < kHeight; ++y)
                 for (int x = n % 8; x < kWidth; x += 8)
                     White(p, x, y, 1);
             return p;
         }},
        // Two and a half flashes a second, as many as the limiter lets through.
        {"slow strobe", true, [](int n, int fps) { return BlackOrWhite(On(n, fps, 0.2)); }},
    };
    for (const auto& c : patterns) {
        for (int fps : c.calm ? std::vector<int>{60} : std::vector<int>{30, 60, 144}) {
            SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(fps) + " fps");
            const Limited run = Limit(c.pattern, fps, c.calm ? 180 : 2 * fps);
            if (c.calm)
                EXPECT_EQ(std::count(run.changed.begin(), run.changed.end(), true), 0);
            else
                EXPECT_EQ(run.report.worst.worst(), flash::Limiter::kMostTransitions / 2.0);
            for (size_t n = 0; n < run.in.size(); ++n)
                ASSERT_EQ(run.changed[n], run.in[n] != run.out[n]) << "frame " << n;
        }
    }
}

// The left third strobes every frame; the right quarter, more than a field's width away, turns
// every 0.2 s at the same frames, within the budget: only the left is held back.
TEST(Limiter, HoldsBackOnlyWhereAWindowIsOutOfRoom) {
    const Limited run = Limit(
        [](int n, int fps) {
            Picture p = Flat(0, 0, 0);
            for (int y = 0; y < kHeight; ++y) {
                if (n % 2)
                    White(p, 0, y, 32);
                if (On(n, fps, 0.2))
                    White(p, 72, y, 24);
            }
            return p;
        },
        60, 120);
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

// Every pixel its own colour, from black: the held-back pixels show the new picture dimmed to
// three quarters of the general step (a luminance of 0.075), give or take the rounding to bytes.
// Stopped right at the step, about every other one would round over it and stay black.
TEST(Limiter, HeldBackPixelsGoPartOfTheWay) {
    const Limited run = Limit(
        [](int n, int) {
            Picture p = Flat(0, 0, 0);
            for (size_t i = 0; n % 2 == 0 && i < p.size(); i += 4) {
                p[i] = static_cast<std::uint8_t>(96 + i % 160);
                p[i + 1] = static_cast<std::uint8_t>(255 - i / 4 % 97);
                p[i + 2] = static_cast<std::uint8_t>(i / 8 % 256);
            }
            return p;
        },
        60, 7);
    const size_t first =
        std::find(run.changed.begin(), run.changed.end(), true) - run.changed.begin();
    ASSERT_EQ(first, 6u);  // five transitions through, then the sixth held
    const Picture& out = run.out[first];
    for (size_t i = 0; i < out.size(); i += 4) {
        const double level = flash::RelativeLuminance(out[i], out[i + 1], out[i + 2]);
        ASSERT_GT(level, 0.07) << "pixel " << i / 4;
        ASSERT_LT(level, flash::kGeneralStep) << "pixel " << i / 4;
    }
}

// Toggles every 0.1 s: five transitions from 0.1 s, none more until the first is a second old
// (frame 36 is the first held), five again in the next second; the same across the tick wrap.
TEST(Limiter, RenewsTheBudgetASecondOn) {
    const Pattern tenth = [](int n, int fps) { return BlackOrWhite(On(n, fps, 0.1)); };
    const Limited run = Limit(tenth, 60, 150);
    EXPECT_EQ(run.report.frames[6].generalFlashes, 2.5);
    EXPECT_EQ(run.report.frames[66].generalFlashes, 2.5);
    EXPECT_EQ(std::find(run.changed.begin(), run.changed.end(), true) - run.changed.begin(), 36);
    EXPECT_EQ(Limit(tenth, 60, 150, 0xffffffffu - 1050).out, run.out);
}

}  // namespace
