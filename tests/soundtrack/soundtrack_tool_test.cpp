// The stand-in soundtrack the build makes: its format and length, its sections meeting the
// picture's cue times, and the same bytes from every run of the tool.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "audio_files.h"

namespace {

using audiotest::kRate;
using audiotest::Pcm;

const std::string kBuilt = FLIMREVO_SOUNDTRACK;
const std::string kTool = FLIMREVO_SOUNDTRACK_TOOL;

// Root-mean-square level of both channels over [from, to) seconds.
double Level(const Pcm& pcm, double from, double to) {
    const auto first = static_cast<std::size_t>(std::lround(from * kRate));
    const auto last = static_cast<std::size_t>(std::lround(to * kRate));
    double sum = 0;
    for (std::size_t i = 2 * first; i < 2 * last && i < pcm.size(); ++i) {
        sum += static_cast<double>(pcm[i]) * pcm[i];
    }
    return std::sqrt(sum / (2.0 * static_cast<double>(last - first)));
}

class BuiltSoundtrack : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { pcm_ = new Pcm(audiotest::DecodeMp3(kBuilt)); }
    static void TearDownTestSuite() {
        delete pcm_;
        pcm_ = nullptr;
    }
    static Pcm* pcm_;
};
Pcm* BuiltSoundtrack::pcm_ = nullptr;

TEST_F(BuiltSoundtrack, IsAbout95SecondsOfStereoThatFadesOut) {
    // The decoder was asked for 44.1 kHz stereo only: a file in another format does not decode.
    const double seconds = static_cast<double>(pcm_->size()) / 2 / kRate;
    EXPECT_NEAR(seconds, 95.0, 0.05);
    // Heard all the way through the piece's 92.7 s, then gone by the loop point.
    for (double t = 0; t < 92.5; t += 0.5) {
        EXPECT_GT(Level(*pcm_, t, t + 0.5), 300.0) << "quiet at " << t << " s";
    }
    EXPECT_LT(Level(*pcm_, seconds - 0.05, seconds), 100.0);
}

TEST_F(BuiltSoundtrack, SectionsBreakOnTheCueTimes) {
    // Each cue comes out of a hush: the level in the 50 ms after it is several times the level
    // in the 50 ms before.
    const double cues[] = {10.8, 16.5, 26.5, 31.1, 31.8, 47.3, 58, 68, 72, 80.2, 89};
    for (double cue : cues) {
        EXPECT_GT(Level(*pcm_, cue, cue + 0.05), 4 * Level(*pcm_, cue - 0.05, cue)) << cue;
    }
}

TEST_F(BuiltSoundtrack, StrobeIsAStabEveryTenthOfASecond) {
    // From 31.1 s to 31.8 s: seven stabs, each loud for its first 30 ms and nearly gone by the
    // last 40 ms of its tenth.
    for (int k = 0; k < 7; ++k) {
        const double at = 31.1 + 0.1 * k;
        EXPECT_GT(Level(*pcm_, at, at + 0.03), 5 * Level(*pcm_, at + 0.06, at + 0.1)) << at;
    }
}

TEST(SoundtrackTool, WritesTheSameFileEveryRun) {
    audiotest::TempDir dir;
    const std::string command = "'" + kTool + "' '" + (dir / "again.mp3") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto again = audiotest::ReadFile(dir / "again.mp3");
    EXPECT_FALSE(again.empty());
    EXPECT_TRUE(again == audiotest::ReadFile(kBuilt)) << "the build's copy differs";
}

TEST(SoundtrackTool, FailsWithoutLeavingAFileWhereItCannotWrite) {
    audiotest::TempDir dir;
    const std::string target = dir / "missing-folder/brumlevo.mp3";
    const std::string command = "'" + kTool + "' '" + target + "' 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_TRUE(audiotest::ReadFile(target).empty());
}

}  // namespace
