// The audio calls over SDL2_mixer, heard through SDL's disk driver: what it records is what would
// have reached the speakers.
#include <bass.h>

#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio_files.h"
#include "platform/host.h"

namespace {

using audiotest::kRate;
using audiotest::Pcm;

constexpr double kClipSeconds = 0.8;
// Frames compared at each place the clip should begin, and how far either side to search.
constexpr std::size_t kWindow = 8192;
constexpr std::size_t kSearch = 2048;

class BassSdl : public ::testing::Test {
  protected:
    void SetUp() override {
        host::Reset();
        clip_ = dir_ / "clip.mp3";
        audiotest::WriteMp3(audiotest::TestSignal(kClipSeconds), clip_);
        reference_ = audiotest::DecodeMp3(clip_);
    }
    void TearDown() override {
        host::Reset();
        unsetenv("SDL_DISKAUDIODELAY");
    }

    void UseDisk(const std::string& file) {
        host::Options options;
        options.audio = host::Audio::Disk;
        options.diskAudioFile = file;
        host::Configure(options);
    }

    // Plays the clip on the disk driver (running faster than real time) and returns at least
    // `frames` frames of what it wrote.
    Pcm Record(DWORD flags, std::size_t frames) {
        const std::string file = dir_ / "recording.raw";
        setenv("SDL_DISKAUDIODELAY", "1", 1);
        UseDisk(file);
        EXPECT_TRUE(BASS_Init(1, kRate, 0, nullptr, nullptr));
        const HSTREAM stream = BASS_StreamCreateFile(FALSE, clip_.c_str(), 0, 0, 0);
        EXPECT_NE(stream, 0u);
        EXPECT_TRUE(BASS_StreamPlay(stream, FALSE, flags));
        EXPECT_TRUE(audiotest::WaitForFrames(file, frames, 20000));
        host::Reset();  // closes the device, and with it the recording
        return audiotest::ReadRecording(file);
    }

    audiotest::TempDir dir_;
    std::string clip_;
    Pcm reference_;
};

TEST_F(BassSdl, ReferenceDecodeIsTheWholeClipAndStartsLoud) {
    // The encoder's delay and padding are dropped: the decoded clip is exactly as long as the
    // signal encoded, so a loop restarts right after its last sample.
    EXPECT_EQ(reference_.size() / 2, static_cast<std::size_t>(kClipSeconds * kRate + 0.5));
    ASSERT_GE(reference_.size(), kWindow * 2);
    EXPECT_GT(std::abs(reference_[0]), 8000);
}

TEST_F(BassSdl, LoopedStreamPlaysFromItsFirstSampleAndStartsOverAtItsEnd) {
    const std::size_t length = reference_.size() / 2;
    const Pcm recording = Record(BASS_SAMPLE_LOOP, 3 * length + 2 * kRate / 10);
    // Silence until the play call, then the clip from its first sample: the best match of the
    // clip's opening sits exactly where the sound begins.
    const std::size_t onset = audiotest::FirstSound(recording);
    ASSERT_LT(onset + 2 * length, recording.size() / 2);
    for (std::size_t pass = 0; pass < 3; ++pass) {
        const std::size_t expected = onset + pass * length;
        double correlation = 0;
        const std::size_t found =
            audiotest::BestMatch(recording, expected > kSearch ? expected - kSearch : 0,
                                 expected + kSearch, reference_, kWindow, &correlation);
        EXPECT_EQ(found, expected) << "pass " << pass;
        EXPECT_GT(correlation, 0.999) << "pass " << pass;
    }
    // The whole of the first pass is the decoded clip, sample for sample.
    EXPECT_GT(audiotest::Correlation(recording, onset, reference_, length), 0.999);
}

TEST_F(BassSdl, StreamWithoutTheLoopFlagPlaysOnceThenFallsSilent) {
    const std::size_t length = reference_.size() / 2;
    const Pcm recording = Record(0, 2 * length + kRate / 2);
    const std::size_t onset = audiotest::FirstSound(recording);
    EXPECT_GT(audiotest::Correlation(recording, onset, reference_, length), 0.999);
    const auto after = recording.begin() + static_cast<std::ptrdiff_t>(2 * (onset + length));
    ASSERT_LT(after, recording.end());
    EXPECT_TRUE(std::all_of(after, recording.end(), [](std::int16_t s) { return s == 0; }));
}

// The picture's clock starts as the play call returns, so the music must follow at once: it is
// mixed into the next buffer SDL asks for, and a device holds about one more buffer.
std::atomic<long long> firstMusicNs{0};
std::atomic<int> mixBytes{0};

void OnMix(void*, Uint8* stream, int length) {
    mixBytes = length;
    if (firstMusicNs == 0 && std::any_of(stream, stream + length, [](Uint8 b) { return b != 0; })) {
        firstMusicNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    }
}

TEST_F(BassSdl, MusicIsHeardWithin30MsOfThePlayCall) {
    const double limitMs = 30.0;
    std::vector<double> latencies;
    for (int run = 0; run < 7; ++run) {
        UseDisk(dir_ / "latency.raw");  // at the real rate
        ASSERT_TRUE(BASS_Init(1, kRate, 0, nullptr, nullptr));
        const HSTREAM stream = BASS_StreamCreateFile(FALSE, clip_.c_str(), 0, 0, 0);
        firstMusicNs = 0;
        Mix_SetPostMix(OnMix, nullptr);
        // Play at a different point of SDL's buffer cycle each time.
        std::this_thread::sleep_for(std::chrono::microseconds(1300 * run));
        BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);
        const auto returned = std::chrono::steady_clock::now();
        for (int wait = 0; wait < 1000 && firstMusicNs == 0; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        Mix_SetPostMix(nullptr, nullptr);
        ASSERT_NE(firstMusicNs.load(), 0);
        const double toMixMs = (firstMusicNs - std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                   returned.time_since_epoch())
                                                   .count()) /
                               1e6;
        // The disk driver writes a buffer as soon as it is mixed; a device plays it one buffer on.
        const double bufferMs = mixBytes / 4 * 1000.0 / kRate;
        latencies.push_back(std::max(0.0, toMixMs) + bufferMs);
        // However late SDL's thread comes round, two buffers must fit in the allowance.
        EXPECT_LE(2 * bufferMs, limitMs);
        host::Reset();
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = latencies[latencies.size() / 2];
    RecordProperty("median_latency_us", static_cast<int>(median * 1000));
    std::printf("latency ms: min %.2f, median %.2f, max %.2f\n", latencies.front(), median,
                latencies.back());
    EXPECT_LT(median, limitMs);
}

TEST_F(BassSdl, FailuresGiveTheFailureValue) {
    const std::string recording = dir_ / "unused.raw";
    // Nothing opens before the output does.
    UseDisk(recording);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, clip_.c_str(), 0, 0, 0), 0u);
    EXPECT_FALSE(BASS_StreamPlay(0, FALSE, BASS_SAMPLE_LOOP));
    // Only devices 0 (no sound) and 1 (the default output) exist.
    EXPECT_FALSE(BASS_Init(2, kRate, 0, nullptr, nullptr));
    EXPECT_FALSE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    EXPECT_FALSE(BASS_Init(1, 0, 0, nullptr, nullptr));
    ASSERT_TRUE(BASS_Init(1, kRate, 0, nullptr, nullptr));
    EXPECT_FALSE(BASS_Init(1, kRate, 0, nullptr, nullptr)) << "already open";
    // Only whole files by name.
    EXPECT_EQ(BASS_StreamCreateFile(TRUE, clip_.c_str(), 0, 100, 0), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, clip_.c_str(), 100, 0, 0), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, nullptr, 0, 0, 0), 0u);
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, clip_.c_str(), 0, 0, 0);
    ASSERT_NE(stream, 0u);
    EXPECT_FALSE(BASS_StreamPlay(stream + 1, FALSE, 0));
    EXPECT_TRUE(BASS_StreamPlay(stream, FALSE, 0));

    // Reset closes everything; the output opens again afterwards, and handles do not survive.
    host::Reset();
    UseDisk(recording);
    EXPECT_FALSE(BASS_StreamPlay(stream, FALSE, 0));
    host::FailCall("BASS_StreamCreateFile");
    host::StartRecording();
    EXPECT_TRUE(BASS_Init(1, kRate, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, clip_.c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(host::StopRecording(),
              (std::vector<std::string>{"BASS_Init 1 44100", "BASS_StreamCreateFile " + clip_}));

    // No device at all, or a refused one.
    host::Reset();
    host::Options none;
    none.audio = host::Audio::None;
    host::Configure(none);
    EXPECT_FALSE(BASS_Init(1, kRate, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, clip_.c_str(), 0, 0, 0), 0u);
    host::Reset();
    UseDisk(recording);
    host::FailCall("BASS_Init");
    EXPECT_FALSE(BASS_Init(1, kRate, 0, nullptr, nullptr));

    // Device 0 makes no sound but takes and plays streams, even where no default output opens.
    host::Reset();
    ASSERT_TRUE(BASS_Init(0, kRate, 0, nullptr, nullptr));
    EXPECT_TRUE(BASS_StreamPlay(BASS_StreamCreateFile(FALSE, clip_.c_str(), 0, 0, 0), FALSE,
                                BASS_SAMPLE_LOOP));
}

}  // namespace
