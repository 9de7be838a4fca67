// The flash analysis on synthetic frames: whole-picture flashes at and past the limit, areas below
// and at a quarter of a field, whole or in scattered pieces, red below the general step, thin
// lines and a small object moving. At 96 x 72 pixels a field is 32 x 24 pixels (a third of the
// height, 341 : 256 wide), a quarter of it 192 pixels.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
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

void Fill(Picture& p, int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            for (int i = 0; i < 4; ++i)
                p[4 * (y * kWidth + x) + i] = i == 0 ? c.r : i == 1 ? c.g : i == 2 ? c.b : 255;
}

// Toggles between black and `on` at each listed frame, over the rectangle given.
std::function<void(int, Picture&)> Toggles(std::vector<int> at, Rgb on, int x0 = 0, int y0 = 0,
                                           int x1 = kWidth, int y1 = kHeight) {
    return [=](int frame, Picture& p) {
        int count = 0;
        for (int t : at)
            count += t <= frame;
        Fill(p, x0, y0, x1, y1, count % 2 ? on : kBlack);
    };
}

std::vector<int> Every(int step, int first, int last) {
    std::vector<int> frames;
    for (int f = first; f <= last; f += step)
        frames.push_back(f);
    return frames;
}

// 2 x 2 squares, `pitch` pixels apart both ways, toggling at each listed frame.
std::function<void(int, Picture&)> Squares(std::vector<int> at, int pitchX, int pitchY) {
    return [=](int frame, Picture& p) {
        int count = 0;
        for (int t : at)
            count += t <= frame;
        Fill(p, 0, 0, kWidth, kHeight, kBlack);
        for (int y = 0; count % 2 && y < kHeight; y += pitchY)
            for (int x = 0; x < kWidth; x += pitchX)
                Fill(p, x, y, std::min(x + 2, kWidth), std::min(y + 2, kHeight), kWhite);
    };
}

// White lines a pixel wide, `pitch` apart, moving a pixel a frame.
void Lines(int frame, Picture& p, int pitch) {
    Fill(p, 0, 0, kWidth, kHeight, kBlack);
    for (int x = frame % pitch; x < kWidth; x += pitch)
        Fill(p, x, 0, x + 1, kHeight, kWhite);
}

TEST(Flash, CountsFlashesAsTheLimitDefinesThem) {
    // A toggle every 3 frames at 24 fps: 8 transitions a second, 4 flashes (4 Hz).
    const std::vector<int> k4Hz = Every(3, 3, 45);
    const struct {
        const char* what;
        std::function<void(int, Picture&)> draw;
        double general, red;
        std::int64_t worstFrame;
    } cases[] = {
        // A toggle every 4 frames: any 24 frames hold 6 transitions, 3 flashes.
        {"3 a second", Toggles(Every(4, 4, 44), kWhite), 3, 0, 4},
        {"7 transitions", Toggles(Every(3, 3, 21), kWhite), 3.5, 0, 3},
        {"8 transitions", Toggles(k4Hz, kWhite), 4, 0, 3},
        // 10 x 10 pixels is a sixth of a field; 16 x 12 a quarter, 16 x 11 just under.
        {"a sixth of a field", Toggles(k4Hz, kWhite, 31, 31, 41, 41), 0, 0, 0},
        {"a quarter of a field", Toggles(k4Hz, kWhite, 30, 30, 46, 42), 4, 0, 3},
        {"a pixel row short of a quarter", Toggles(k4Hz, kWhite, 30, 30, 46, 41), 0, 0, 0},
        // Squares 4 apart both ways: any 32 x 24 window holds 16 of their columns by 12 of
        // their rows, 192 pixels, a quarter, though no square is more than 4 pixels. 5 apart
        // across: 12 or 13 columns, 144 to 156 pixels.
        {"scattered, a quarter", Squares(k4Hz, 4, 4), 4, 0, 3},
        {"scattered, a fifth", Squares(k4Hz, 5, 4), 0, 0, 0},
        {"dark red", Toggles(k4Hz, kDarkRed), 0, 4, 3},
        {"blue", Toggles(k4Hz, kBlue), 0, 0, 0},
        {"pink", Toggles(k4Hz, kPink), 4, 0, 3},
        {"white and light grey",
         [](int frame, Picture& p) {
             Fill(p, 0, 0, kWidth, kHeight, frame / 3 % 2 ? kWhite : kLightGrey);
         },
         0, 0, 0},
        // Every frame an eighth of the pixels turn white and another eighth black.
        {"thin lines", [](int frame, Picture& p) { Lines(frame, p, 8); }, 0, 0, 0},
        // A 12 x 12 square crossing, 6 pixels a frame: 72 pixels rise and 72 fall.
        {"small object crossing",
         [](int frame, Picture& p) {
             Fill(p, 0, 0, kWidth, kHeight, kBlack);
             const int x = 6 * frame % (kWidth - 12);
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
        // Windows from one edge to the other, none further apart than a 64th of a field (or a
        // pixel), so that any field lies within half that of one.
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
        for (size_t i = 0; i < f.tops.size(); ++i) {
            EXPECT_EQ(up.tops[i], c.height - c.fieldHeight - f.tops[i]);
        }
    }
}

}  // namespace
