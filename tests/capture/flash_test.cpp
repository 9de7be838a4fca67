// The flash analysis on synthetic frames: whole-picture flashes at and past the limit, areas below
// and at a quarter of a field, red below the general step, thin lines moving. At 96 x 72 pixels a
// field is 24 x 24 pixels (a third of the height), a cell 3 x 3, an area 12 x 12.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "flash_count.h"

namespace {

const int kWidth = 96, kHeight = 72, kFps = 30, kFrames = 60;

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

TEST(Flash, CountsFlashesAsTheLimitDefinesThem) {
    const struct {
        const char* what;
        std::function<void(int, Picture&)> draw;
        double general, red;
        std::int64_t worstFrame;
    } cases[] = {
        // A toggle every 5 frames: any 30 frames hold 6 transitions, 3 flashes.
        {"3 a second", Toggles(Every(5, 5, 55), kWhite), 3, 0, 5},
        {"7 transitions", Toggles(Every(4, 4, 28), kWhite), 3.5, 0, 4},
        {"8 transitions", Toggles(Every(3, 3, 24), kWhite), 4, 0, 3},
        // 10 x 10 pixels is a sixth of a field; 12 x 12 on whole cells is a quarter.
        {"a sixth of a field", Toggles(Every(3, 3, 24), kWhite, 31, 31, 41, 41), 0, 0, 0},
        {"a quarter of a field", Toggles(Every(3, 3, 24), kWhite, 30, 30, 42, 42), 4, 0, 3},
        {"dark red", Toggles(Every(3, 3, 24), kDarkRed), 0, 4, 3},
        {"blue", Toggles(Every(3, 3, 24), kBlue), 0, 0, 0},
        {"pink", Toggles(Every(3, 3, 24), kPink), 4, 0, 3},
        {"white and light grey",
         [](int frame, Picture& p) {
             Fill(p, 0, 0, kWidth, kHeight, frame / 3 % 2 ? kWhite : kLightGrey);
         },
         0, 0, 0},
        // White lines a pixel wide, every 4 pixels, moving 2 pixels a frame: each pixel flips
        // between black and white, but no cell does.
        {"thin lines",
         [](int frame, Picture& p) {
             Fill(p, 0, 0, kWidth, kHeight, kBlack);
             for (int x = (2 * frame) % 4; x < kWidth; x += 4)
                 Fill(p, x, 0, x + 1, kHeight, kWhite);
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
        int width, height, columns, rows;
    } cases[] = {{1024, 768, 24, 24}, {1920, 1080, 32, 24}, {256, 192, 24, 24}, {16, 12, 12, 12}};
    for (const auto& c : cases) {
        const flash::Grid grid = flash::MakeGrid(c.width, c.height);
        EXPECT_EQ(grid.columns, c.columns) << c.width << "x" << c.height;
        EXPECT_EQ(grid.rows, c.rows) << c.width << "x" << c.height;
        EXPECT_EQ(grid.areaRows, c.rows / 6) << c.width << "x" << c.height;
    }
}

}  // namespace
