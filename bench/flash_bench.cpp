// flash_bench: what the flash count and the flash limiter cost a frame at 1024 x 768 (or the size
// given: flash_bench 1920 1080), on pictures with noise in them, calm (a few pixels change) and
// strobing (every pixel changes every frame; the limiter holds back most frames). Milliseconds of
// processor time a frame (on a shared machine, apart from what others run), the median of 5
// rounds of 60 frames.
#include <algorithm>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "flash_count.h"
#include "platform/flash/limiter.h"

namespace {

using Picture = std::vector<std::uint8_t>;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double MsPerFrame(const std::function<void(int)>& frame) {
    std::vector<double> rounds;
    for (int round = 0; round < 5; ++round) {
        const std::clock_t start = std::clock();
        for (int n = 0; n < 60; ++n) {
            frame(round * 60 + n);
        }
        rounds.push_back(1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC / 60);
    }
    return Median(rounds);
}

}  // namespace

int main(int argc, char** argv) {
    const int width = argc > 2 ? std::atoi(argv[1]) : 1024;
    const int height = argc > 2 ? std::atoi(argv[2]) : 768;
    Picture pictures[2];
    std::uint32_t seed = 1;
    for (Picture& p : pictures) {
        p.resize(static_cast<size_t>(width) * height * 4);
        for (std::uint8_t& v : p) {
            seed = seed * 1664525u + 1013904223u;
            v = static_cast<std::uint8_t>(seed >> 24);
        }
    }
    // Calm: the second picture is the first with a small square changed.
    Picture calm = pictures[0];
    for (int y = 0; y < 16; ++y) {
        std::fill_n(calm.begin() + 4 * (static_cast<long>(y) * width), 64, 255);
    }
    // Strobe: every pixel between black and white.
    Picture black(pictures[0].size(), 0), white(pictures[0].size(), 255);
    const auto of = [&](int n, bool strobe) -> const Picture& {
        return strobe ? (n % 2 ? white : black) : (n % 2 ? calm : pictures[0]);
    };
    std::printf("%d x %d, ms a frame\n", width, height);
    for (bool strobe : {false, true}) {
        flash::Analyser analyser(width, height, 60);
        const double count = MsPerFrame([&](int n) { analyser.Add(of(n, strobe).data()); });
        flash::Limiter limiter(width, height);
        Picture p;
        const double limit = MsPerFrame([&](int n) {
            p = of(n, strobe);
            limiter.Limit(p.data(), static_cast<std::uint32_t>(n * 1000 / 60));
        });
        std::printf("%-7s count %6.2f  limiter %6.2f\n", strobe ? "strobe" : "calm", count, limit);
    }
    return 0;
}
