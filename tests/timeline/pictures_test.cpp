// The whole piece in one headless run on the virtual clock, its frames at chosen milliseconds
// judged by their pixels: what a person watching would see at each cue.
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

// Within one step of the 8-bit value of a colour given as decimals.
bool Is(const Pixel& p, double r, double g, double b) {
    return std::abs(p.r - std::lround(r * 255)) <= 1 && std::abs(p.g - std::lround(g * 255)) <= 1 &&
           std::abs(p.b - std::lround(b * 255)) <= 1;
}

bool WireBlue(const Pixel& p) {
    return Is(p, 0.31, 0.31, 0.75) || Is(p, 0.19, 0.19, 0.5) || Is(p, 0.06, 0.06, 0.19);
}
bool Dark(const Pixel& p) {
    return p.r < 80 && p.g < 40 && p.b < 10;
}

double Share(const Picture& picture, const std::function<bool(const Pixel&)>& test) {
    int n = 0;
    for (const Pixel& p : picture)
        n += test(p) ? 1 : 0;
    return static_cast<double>(n) / static_cast<double>(picture.size());
}

TEST(Pictures, EachCueShowsAndThePieceEndsInTheFirstFramePast92Point7) {
    // One frame in each stretch the GL state needs (the fog's densities at 58.1 and 62.9 s), then
    // the frames judged below; 92 699 ms gives a t just under 92.7, 92 700 one just over it.
    const std::vector<std::uint32_t> ms = {0,     20000, 31150, 50000, 58100, 60000,
                                           62900, 75000, 90000, 92699, 92700, 93000};
    std::map<std::uint32_t, Picture> at;
    testsupport::PieceRunOptions options;
    options.frameMs = [&](int n) {
        return ms[std::min<size_t>(static_cast<size_t>(n), ms.size() - 1)];
    };
    options.onFrame = [&](int n, const host::Frame& frame) {
        Picture& picture = at[ms[static_cast<size_t>(n)]];
        for (size_t i = 0; i < static_cast<size_t>(frame.width) * frame.height; ++i) {
            const std::uint8_t* px = frame.rgba + 4 * i;
            picture.push_back(Pixel{px[0], px[1], px[2]});
        }
        return true;
    };
    const testsupport::PieceRunResult result = testsupport::RunPiece(options);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.frames, 11);

    // 20 s: the camera is inside the cyan box; every pixel is box or black shadow cube.
    const double cyan = Share(at[20000], [](const Pixel& x) { return Is(x, 0, 0.8, 0.9); });
    const double black = Share(at[20000], [](const Pixel& x) { return Is(x, 0, 0, 0); });
    EXPECT_GT(cyan, 0.05);
    EXPECT_GT(black, 0.05);
    EXPECT_GT(cyan + black, 0.99);
    // 31.15 s: the red strobe behind the wire.
    EXPECT_GT(Share(at[31150], [](const Pixel& x) { return Is(x, 1, 0, 0); }), 0.5);
    EXPECT_GT(Share(at[31150], WireBlue), 0.01);
    // 50 s: the green box, unfogged, nowhere redder than green; at 60 s the fog's orange
    // (0.9, 0.4, 0) is blended into everything.
    const auto green = [](const Pixel& x) { return x.g > x.r + 100 && x.g > x.b; };
    EXPECT_GT(Share(at[50000], green), 0.5);
    EXPECT_EQ(Share(at[50000], [](const Pixel& x) { return x.r > x.g; }), 0.0);
    EXPECT_GT(Share(at[60000], [](const Pixel& x) { return x.r > x.g && x.g > x.b; }), 0.9);
    EXPECT_LT(Share(at[60000], green), 0.01);
    // 75 s: density 0.54 and a camera 13 units out: box and shadow cubes alike reach the screen as
    // the fog colour, on the dark orange clear colour, which fog does not touch.
    const double fog = Share(at[75000], [](const Pixel& x) { return Is(x, 0.9, 0.4, 0); });
    const double clear = Share(at[75000], [](const Pixel& x) { return Is(x, 0.4, 0.2, 0); });
    EXPECT_GT(fog, 0.1);
    EXPECT_GT(clear, 0.1);
    EXPECT_GT(fog + clear, 0.9);
    // 90 s, and the last frame: the fog has thinned (0.24) and the shadow cubes show dark.
    EXPECT_GT(Share(at[90000], Dark), 0.05);
    EXPECT_GT(Share(at[92700], Dark), 0.01);
}

}  // namespace
