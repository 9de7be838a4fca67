// The platform's tables (cases.h) against the SDL back end, headless.
#include <gtest/gtest.h>

#include <fstream>

#include "audio_files.h"
#include "cases.h"
#include <bass.h>
#include "platform/host.h"

namespace {

void ExpectAll(const std::vector<platform_cases::Outcome>& outcomes) {
    EXPECT_FALSE(outcomes.empty());
    for (const auto& outcome : outcomes) {
        EXPECT_EQ(outcome.got, outcome.expected) << outcome.name;
    }
}

TEST(PlatformCore, EveryRowOfTheMessageTableHolds) {
    host::Options options;
    options.video.output = host::Video::Headless;
    host::Start(options);
    ExpectAll(platform_cases::RunCoreCases());
    host::Stop();
}

TEST(AudioContract, EveryRowOfTheContractHolds) {
    audiotest::TempDir dir;
    const std::string sound = dir.path + "/tone.mp3", text = dir.path + "/text.mp3";
    audiotest::WriteMp3(audiotest::TestSignal(0.5), sound);
    std::ofstream(text) << "not a sound file\n";
    host::Options options;
    options.audio = host::Audio::Silent;  // whatever sound card this machine has, or none
    host::Start(options);
    ExpectAll(platform_cases::RunAudioCases({sound, text, dir.path + "/missing.mp3", dir.path}));
    host::Stop();
}

// The default output's other number, and the silent device 0 (the table opens device -1, and a
// browser's page only once).
TEST(AudioContract, DeviceOneAndDeviceZeroOpen) {
    for (int device : {0, 1}) {
        host::Options options;
        options.audio = host::Audio::Silent;
        host::Start(options);
        EXPECT_TRUE(BASS_Init(device, 44100, 0, nullptr, nullptr)) << device;
        host::Stop();
    }
}

}  // namespace
