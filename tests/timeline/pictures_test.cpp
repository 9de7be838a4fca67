// Whole-piece pictures, rendered headless on the virtual clock and judged by their pixels: what a
// person watching would see at each cue.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "support/piece_run.h"

namespace {

struct Pixel {
    int r, g, b;
};

using Picture = std::vector<Pixel>;

// 8-bit value of a colour component given as a decimal.
int Byte(double c) {
    return static_cast<int>(std::lround(c * 255.0));
}

bool Is(const Pixel& p, double r, double g, double b) {
    return std::abs(p.r - Byte(r)) <= 1 && std::abs(p.g - Byte(g)) <= 1 &&
           std::abs(p.b - Byte(b)) <= 1;
}

bool IsWireBlue(const Pixel& p) {
    return Is(p, 0.31, 0.31, 0.75) || Is(p, 0.19, 0.19, 0.5) || Is(p, 0.06, 0.06, 0.19);
}

double Share(const Picture& picture, const std::function<bool(const Pixel&)>& test) {
    int n = 0;
    for (const Pixel& p : picture)
        n += test(p) ? 1 : 0;
    return static_cast<double>(n) / static_cast<double>(picture.size());
}

// Frames every 250 ms and at each named time, from 0 until the piece ends by itself; the named
// frames are kept.
class PicturesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::uint32_t named[] = {5000, 20000, 31150, 50000, 60000, 75000, 90000};
        for (std::uint32_t ms = 0; ms <= 100000; ms += 250) {
            schedule.push_back(ms);
            for (std::uint32_t n : named) {
                if (n > ms && n < ms + 250)
                    schedule.push_back(n);
            }
        }
        testsupport::PieceRunOptions options;
        options.frameMs = [](int n) { return schedule[static_cast<size_t>(n)]; };
        options.onFrame = [&](int n, const host::Frame& frame) {
            Picture picture(static_cast<size_t>(frame.width) * frame.height);
            for (size_t i = 0; i < picture.size(); ++i) {
                const std::uint8_t* px = frame.rgba + 4 * i;
                picture[i] = Pixel{px[0], px[1], px[2]};
            }
            const std::uint32_t ms = schedule[static_cast<size_t>(n)];
            for (std::uint32_t want : named) {
                if (ms == want)
                    pictures[ms] = picture;
            }
            last = picture;
            return true;
        };
        result = testsupport::RunPiece(options);
    }
    static void TearDownTestSuite() {
        pictures.clear();
        last.clear();
    }

    static std::vector<std::uint32_t> schedule;
    static std::map<std::uint32_t, Picture> pictures;
    static Picture last;
    static testsupport::PieceRunResult result;
};

std::vector<std::uint32_t> PicturesTest::schedule;
std::map<std::uint32_t, Picture> PicturesTest::pictures;
Picture PicturesTest::last;
testsupport::PieceRunResult PicturesTest::result;

TEST_F(PicturesTest, PieceEndsByItselfAfterTheFirstFramePast92Point7) {
    EXPECT_EQ(result.exitCode, 0);
    ASSERT_GT(result.frames, 0);
    EXPECT_EQ(schedule[static_cast<size_t>(result.frames - 1)], 92750u);
    // That last frame was drawn whole: its shadow cubes show dark through the thin late fog.
    EXPECT_GT(Share(last, [](const Pixel& p) { return p.r < 80 && p.g < 40 && p.b < 10; }), 0.01);
}

TEST_F(PicturesTest, BlueWireLatticeOnBlackAt5Seconds) {
    const Picture& p = pictures.at(5000);
    EXPECT_GT(Share(p, IsWireBlue), 0.05);
    EXPECT_GT(Share(p, [](const Pixel& x) { return Is(x, 0, 0, 0); }), 0.5);
    EXPECT_EQ(Share(p, [](const Pixel& x) { return !Is(x, 0, 0, 0) && !IsWireBlue(x); }), 0.0)
        << "only black and the wire's three blues";
}

TEST_F(PicturesTest, CyanBoxBehindBlackShadowCubesAt20Seconds) {
    // The camera is inside the box, so every pixel is box or shadow cube.
    const Picture& p = pictures.at(20000);
    const double cyan = Share(p, [](const Pixel& x) { return Is(x, 0, 0.8, 0.9); });
    const double black = Share(p, [](const Pixel& x) { return Is(x, 0, 0, 0); });
    EXPECT_GT(cyan, 0.05);
    EXPECT_GT(black, 0.05);
    EXPECT_GT(cyan + black, 0.99);
}

TEST_F(PicturesTest, RedStrobeFrameAt31Point15Seconds) {
    const Picture& p = pictures.at(31150);
    EXPECT_GT(Share(p, [](const Pixel& x) { return Is(x, 1, 0, 0); }), 0.5);
    EXPECT_GT(Share(p, IsWireBlue), 0.01);
}

TEST_F(PicturesTest, GreenBoxAt50SecondsTurnsOrangeInTheFogAt60) {
    // Unfogged, neither the box nor the wire has more red than green anywhere.
    const auto green = [](const Pixel& x) { return x.g > x.r + 100 && x.g > x.b; };
    const auto redderThanGreen = [](const Pixel& x) { return x.r > x.g; };
    EXPECT_GT(Share(pictures.at(50000), green), 0.5);
    EXPECT_EQ(Share(pictures.at(50000), redderThanGreen), 0.0);
    // The fog's orange (0.9, 0.4, 0) blends into everything.
    const Picture& fogged = pictures.at(60000);
    EXPECT_GT(Share(fogged, [](const Pixel& x) { return x.r > x.g && x.g > x.b; }), 0.9);
    EXPECT_LT(Share(fogged, green), 0.01);
}

TEST_F(PicturesTest, ShadowCubesAt75SecondsAreLostInTheHeldFog) {
    // Density 0.54 since 62.8 s and a camera 13 units out: box and shadow cubes alike reach the
    // screen as the fog colour, on the dark orange clear colour, which fog does not touch.
    const Picture& p = pictures.at(75000);
    const double fog = Share(p, [](const Pixel& x) { return Is(x, 0.9, 0.4, 0); });
    const double clear = Share(p, [](const Pixel& x) { return Is(x, 0.4, 0.2, 0); });
    EXPECT_GT(fog, 0.1);
    EXPECT_GT(clear, 0.1);
    EXPECT_GT(fog + clear, 0.9);
    // At 90 s the fog has thinned (0.24) and the camera is among the cubes: they show dark.
    EXPECT_GT(
        Share(pictures.at(90000), [](const Pixel& x) { return x.r < 80 && x.g < 40 && x.b < 10; }),
        0.05);
}

}  // namespace
