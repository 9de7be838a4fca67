// The stand-in soundtrack the build makes: its format and length, its sections meeting the
// picture's cue times, and the same bytes from every run of the tool.
#include <gtest/gtest.h>

#include <cstdlib>

#include "audio_files.h"

namespace {

using audiotest::kRate;

// Root-mean-square level of both channels over [from, to) seconds.
double Level(const audiotest::Pcm& pcm, double from, double to) {
    const auto first = static_cast<std::size_t>(std::lround(from * kRate));
    const auto last = static_cast<std::size_t>(std::lround(to * kRate));
    double sum = 0;
    for (std::size_t i = 2 * first; i < 2 * last && i < pcm.size(); ++i)
        sum += static_cast<double>(pcm[i]) * pcm[i];
    return std::sqrt(sum / (2.0 * static_cast<double>(last - first)));
}

TEST(Soundtrack, NinetyFiveSecondsThatBreakOnTheCuesAndFadeOutTheSameEveryRun) {
    // The decoder is asked for 44.1 kHz stereo only: a file in another format does not decode.
    const audiotest::Pcm pcm = audiotest::DecodeMp3(FLIMREVO_SOUNDTRACK);
    const double seconds = static_cast<double>(pcm.size()) / 2 / kRate;
    EXPECT_NEAR(seconds, 95.0, 0.05);
    // Heard all the way through the piece's 92.7 s, then gone by the loop point.
    for (double t = 0; t < 92.5; t += 0.5)
        EXPECT_GT(Level(pcm, t, t + 0.5), 300.0) << "quiet at " << t << " s";
    EXPECT_LT(Level(pcm, seconds - 0.05, seconds), 100.0);
    // Each cue comes out of a hush: the 50 ms after it is several times louder than the 50 ms
    // before. The strobe from 31.1 to 31.8 s is a stab each tenth, loud for its first 30 ms and
    // nearly gone by its last 40 ms.
    for (double cue : {10.8, 16.5, 26.5, 31.1, 31.8, 47.3, 58.0, 68.0, 72.0, 80.2, 89.0})
        EXPECT_GT(Level(pcm, cue, cue + 0.05), 4 * Level(pcm, cue - 0.05, cue)) << cue;
    for (double at = 31.1; at < 31.75; at += 0.1)
        EXPECT_GT(Level(pcm, at, at + 0.03), 5 * Level(pcm, at + 0.06, at + 0.1)) << at;

    testsupport::Folder dir(false);
    const std::string command =
        std::string("'") + FLIMREVO_SOUNDTRACK_TOOL + "' '" + (dir / "again.mp3") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(testsupport::Read(dir / "again.mp3") == testsupport::Read(FLIMREVO_SOUNDTRACK))
        << "the build's copy differs";
}

}  // namespace
