// The audio calls over SDL2_mixer, heard through SDL's disk driver: what it records is what would
// have reached the speakers.
#include <bass.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "audio_files.h"
#include "platform/host.h"

namespace {

using audiotest::kRate;
using audiotest::Pcm;

class BassSdl : public ::testing::Test {
  protected:
    void SetUp() override {
        host::Reset();
        clip_ = dir_ / "clip.mp3";
        audiotest::WriteMp3(audiotest::TestSignal(0.8), clip_);
        reference_ = audiotest::DecodeMp3(clip_);
        ASSERT_GT(reference_.size(), 8192u * 2);
    }
    void TearDown() override {
        host::Reset();
        unsetenv("SDL_DISKAUDIODELAY");
    }

    // Plays the clip on the disk driver (running faster than real time) and returns at least
    // `frames` frames of what it wrote.
    Pcm Record(DWORD flags, std::size_t frames) {
        const std::string file = dir_ / "recording.raw";
        setenv("SDL_DISKAUDIODELAY", "1", 1);
        host::Options options;
        options.audio = host::Audio::Disk;
        options.diskAudioFile = file;
        host::Configure(options);
        EXPECT_TRUE(BASS_Init(1, kRate, 0, nullptr, nullptr));
        const HSTREAM stream = BASS_StreamCreateFile(FALSE, clip_.c_str(), 0, 0, 0);
        EXPECT_NE(stream, 0u);
        EXPECT_TRUE(BASS_StreamPlay(stream, FALSE, flags));
        const Pcm recording = audiotest::ReadRecording(file, frames);
        host::Reset();  // closes the device
        return recording;
    }

    audiotest::TempDir dir_;
    std::string clip_;
    Pcm reference_;
};

// Silence until the play call, then the clip from its first sample, sample for sample; with the
// loop flag it starts over right after its last sample, without it silence follows.
TEST_F(BassSdl, StreamPlaysFromItsFirstSampleAndLoopsOnlyWhenAsked) {
    const std::size_t length = reference_.size() / 2;
    for (DWORD flags : {DWORD{BASS_SAMPLE_LOOP}, DWORD{0}}) {
        SCOPED_TRACE(flags);
        const Pcm recording = Record(flags, 3 * length + kRate / 5);
        const std::size_t onset = audiotest::FirstSound(recording);
        ASSERT_LT(onset + 3 * length, recording.size() / 2);
        EXPECT_GT(audiotest::Correlation(recording, onset, reference_, length), 0.999);
        if (flags) {
            for (std::size_t pass = 1; pass < 3; ++pass) {
                EXPECT_GT(
                    audiotest::Correlation(recording, onset + pass * length, reference_, 8192),
                    0.999)
                    << "pass " << pass;
            }
        } else {
            EXPECT_TRUE(
                std::all_of(recording.begin() + static_cast<std::ptrdiff_t>(2 * (onset + length)),
                            recording.end(), [](std::int16_t s) { return s == 0; }));
        }
    }
}

}  // namespace
