// The flash analysis on synthetic 96 x 72 frames at 24 fps. A field is 32 x 24 pixels (a third of
// the height, 341 : 256 wide), a quarter of it 192 pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "flash_count.h"

namespace {

const int kWidth = 96, kHeight = 72, kFps = 24, kFrames = 48;

struct Rgb {
    std::uint8_t r, g, b;
};
const Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255}, kBlue{0, 0, 255};
// Light grey: relative luminance 0.87, a step of 0.13 below white but no darker than 0.8.
const Rgb kLightGrey{240, 240, 240};
// Dull pink: red measure 32, but R / (R + G + B) only 0.6, not saturated; luminance 0.145.
const Rgb kPink{150, 90, 90};
// Linear red 0.4 (sRGB 170): relative luminance 0.085, below the general step; red measure 128.
const Rgb kDarkRed{170, 0, 0};

using Picture = std::vector<std::uint8_t>;
using Draw = std::function<void(int frame, Picture&)>;

void Fill(Picture& p, int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            for (int i = 0; i < 4; ++i)
                p[4 * (y * kWidth + x) + i] = i == 0 ? c.r : i == 1 ? c.g : i == 2 ? c.b : 255;
}

// Toggled at every `step`th frame up to `last`, a multiple of it.
bool On(int frame, int step, int last) {
    return std::min(frame, last) / step % 2 == 1;
}

// Black and `on` by turns over the rectangle given.
Draw Toggles(int step, int last, Rgb on, int x0 = 0, int y0 = 0, int x1 = kWidth,
             int y1 = kHeight) {
    return [=](int f, Picture& p) { Fill(p, x0, y0, x1, y1, On(f, step, last) ? on : kBlack); };
}

// 2 x 2 white squares, `pitchX` and `pitchY` pixels apart, toggled every 3 frames.
Draw Squares(int pitchX, int pitchY) {
    return [=](int f, Picture& p) {
        Fill(p, 0, 0, kWidth, kHeight, kBlack);
        for (int y = 0; On(f, 3, 45) && y < kHeight; y += pitchY)
            for (int x = 0; x < kWidth; x += pitchX)
                Fill(p, x, y, std::min(x + 2, kWidth), std::min(y + 2, kHeight), kWhite);
    };
}

TEST(Flash, CountsFlashesAsTheLimitDefinesThem) {
    const struct {
        const char* what;
        Draw draw;
        double general, red;
        std::int64_t worstFrame;
    } cases[] = {
        // Every 4 frames: any 24 frames hold 6 transitions, 3 flashes. Every 3: 8, 4 flashes.
        {"3 a second", Toggles(4, 44, kWhite), 3, 0, 4},
        {"7 transitions", Toggles(3, 21, kWhite), 3.5, 0, 3},
        {"8 transitions", Toggles(3, 45, kWhite), 4, 0, 3},
        // 10 x 10 pixels is a sixth of a field; 16 x 12 a quarter, 16 x 11 just under.
        {"a sixth of a field", Toggles(3, 45, kWhite, 31, 31, 41, 41), 0, 0, 0},
        {"a quarter of a field", Toggles(3, 45, kWhite, 30, 30, 46, 42), 4, 0, 3},
        {"a pixel row short of a quarter", Toggles(3, 45, kWhite, 30, 30, 46, 41), 0, 0, 0},
        // 4 apart: any field holds 16 columns by 12 rows of them, 192 pixels, a quarter. 5 apart
        // across: 12 or 13 columns, 144 to 156 pixels.
        {"scattered, a quarter", Squares(4, 4), 4, 0, 3},
        {"scattered, a fifth", Squares(5, 4), 0, 0, 0},
        {"dark red", Toggles(3, 45, kDarkRed), 0, 4, 3},
        {"blue", Toggles(3, 45, kBlue), 0, 0, 0},
        {"pink", Toggles(3, 45, kPink), 4, 0, 3},
        {"white and light grey",
         [](int f, Picture& p) {
             Fill(p, 0, 0, kWidth, kHeight, On(f, 3, 45) ? kWhite : kLightGrey);
         },
         0, 0, 0},
        // Lines a pixel wide, 8 apart, moving a pixel a frame: an eighth rises, an eighth falls.
        {"thin lines",
         [](int f, Picture& p) {
             Fill(p, 0, 0, kWidth, kHeight, kBlack);
             for (int x = f % 8; x < kWidth; x += 8)
                 Fill(p, x, 0, x + 1, kHeight, kWhite);
         },
         0, 0, 0},
        // A 12 x 12 square crossing, 6 pixels a frame: 72 pixels rise and 72 fall.
        {"small object crossing",
         [](int f, Picture& p) {
             Fill(p, 0, 0, kWidth, kHeight, kBlack);
             const int x = 6 * f % (kWidth - 12);
             Fill(p, x, 30, x + 12, 42, kWhite);
         },
         0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        flash::Analyser analyser(kWidth, kHeight, kFps);
        Picture picture(4 * kWidth * kHeight);
        for (int f = 0; f < kFrames; ++f) {
            c.draw(f, picture);
            analyser.Add(picture.data());
        }
        const flash::Report report = analyser.Finish();
        EXPECT_EQ(report.worst.general, c.general);
        EXPECT_EQ(report.worst.red, c.red);
        EXPECT_EQ(report.worst.frame, c.worstFrame);
        EXPECT_EQ(report.passes(), c.general <= 3 && c.red <= 3);
    }
}

TEST(Flash, FieldsFollowThePictureHeight) {
    const struct {
        int width, height, fieldWidth, fieldHeight;
    } cases[] = {{1024, 768, 341, 256}, {1920, 1080, 480, 360}, {256, 192, 85, 64},
                 {96, 72, 32, 24},      {16, 12, 5, 4},         {60, 300, 60, 100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const flash::Fields f = flash::MakeFields(c.width, c.height);
        EXPECT_EQ(f.fieldWidth, c.fieldWidth);
        EXPECT_EQ(f.fieldHeight, c.fieldHeight);
        EXPECT_EQ(f.quarter, (c.fieldWidth * c.fieldHeight + 3) / 4);
        // Windows from edge to edge, at most a 64th of a field (or a pixel) apart.
        for (const auto& [at, window, length] : {std::tuple(f.lefts, f.fieldWidth, c.width),
                                                 std::tuple(f.tops, f.fieldHeight, c.height)}) {
            EXPECT_EQ(at.front(), 0);
            EXPECT_EQ(at.back(), length - window);
            for (size_t i = 1; i < at.size(); ++i) {
                EXPECT_GT(at[i], at[i - 1]);
                EXPECT_LE(at[i] - at[i - 1], std::max(1, window / 64));
            }
        }
        // Bottom row first: the same windows, counted from the other edge.
        const flash::Fields up = flash::MakeFields(c.width, c.height, true);
        for (size_t i = 0; i < f.tops.size(); ++i)
            EXPECT_EQ(up.tops[i], c.height - c.fieldHeight - f.tops[i]);
    }
}

}  // namespace
