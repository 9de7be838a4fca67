// The soundtrack's start-up inside the whole piece: the calls in order, the boxes for each way
// the soundtrack or the device can be missing, the clock started only once the boxes are gone,
// and the piece running to its end in silence.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "audio/soundtrack.h"
#include "audio_files.h"
#include "platform/host.h"
#include "support/piece_run.h"

namespace {

using audiotest::Pcm;

const std::string kNoInit = "Error|No Init";
const std::string kCannotPlay = "Feil!|Kan ikke spille sang";

// A soundtrack the decoder reads, in the folder the piece runs in.
void WriteSong(const std::string& path) {
    audiotest::WriteMp3(audiotest::TestSignal(1.0), path);
}

class StartUp : public ::testing::Test {
  protected:
    void SetUp() override { host::Reset(); }
    void TearDown() override { host::Reset(); }

    std::vector<std::string> Calls(host::Audio audio) {
        host::Options options;
        options.audio = audio;
        options.diskAudioFile = dir_ / "recording.raw";
        options.onMessageBox = [](const char*, const char*) {};
        host::Configure(options);
        host::StartRecording();
        handle_ = StartSoundtrack();
        return host::StopRecording();
    }

    audiotest::TempDir dir_;
    audiotest::WorkingDir cwd_{dir_.path()};
    HSTREAM handle_ = 0;
};

TEST_F(StartUp, OpensTheDeviceThenTheSongAndPlaysItLooped) {
    WriteSong("brumlevo.mp3");
    const std::vector<std::string> calls = Calls(host::Audio::Disk);
    ASSERT_NE(handle_, 0u);
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "BASS_Init 1 44100",
                         "BASS_StreamCreateFile brumlevo.mp3",
                         "BASS_StreamPlay " + std::to_string(handle_) + " 4",
                     }));
}

TEST_F(StartUp, MissingSongGivesOneBoxAndStillCallsPlay) {
    EXPECT_EQ(Calls(host::Audio::Disk), (std::vector<std::string>{
                                            "BASS_Init 1 44100",
                                            "BASS_StreamCreateFile brumlevo.mp3",
                                            "MessageBoxA " + kCannotPlay,
                                            "BASS_StreamPlay 0 4",
                                        }));
}

TEST_F(StartUp, NoDeviceGivesBothBoxesInOrder) {
    WriteSong("brumlevo.mp3");
    EXPECT_EQ(Calls(host::Audio::None), (std::vector<std::string>{
                                            "BASS_Init 1 44100",
                                            "MessageBoxA " + kNoInit,
                                            "BASS_StreamCreateFile brumlevo.mp3",
                                            "MessageBoxA " + kCannotPlay,
                                            "BASS_StreamPlay 0 4",
                                        }));
}

// What lies at "brumlevo.mp3" in the folder the piece runs in.
struct Input {
    const char* name;
    void (*make)(const std::string& path);
    host::Audio audio;
    std::vector<std::string> boxes;
};

std::vector<std::uint8_t> Bytes(std::size_t count, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(seed >> 24);
    }
    return bytes;
}

// clang-format off
const Input kInputs[] = {
    {"Song",      WriteSong,                                                  host::Audio::Disk, {}},
    {"Missing",   [](const std::string&) {},                                  host::Audio::Disk, {kCannotPlay}},
    {"Empty",     [](const std::string& p) { audiotest::WriteFile(p, {}); },  host::Audio::Disk, {kCannotPlay}},
    {"Truncated", [](const std::string& p) {
                      WriteSong(p + ".whole");
                      auto bytes = audiotest::ReadFile(p + ".whole");
                      bytes.resize(bytes.size() * 2 / 5);
                      audiotest::WriteFile(p, bytes); },                      host::Audio::Disk, {}},
    {"Random",    [](const std::string& p) { audiotest::WriteFile(p, Bytes(1 << 18, 7)); },
                                                                              host::Audio::Disk, {kCannotPlay}},
    {"Directory", [](const std::string& p) { std::filesystem::create_directory(p); },
                                                                              host::Audio::Disk, {kCannotPlay}},
    {"Fifo",      [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); },
                                                                              host::Audio::Disk, {kCannotPlay}},
    {"Text",      [](const std::string& p) {
                      std::string text;
                      for (int i = 0; i < 2000; ++i) text += "Dette er ingen sang.\n";
                      audiotest::WriteFile(p, std::vector<std::uint8_t>(text.begin(), text.end())); },
                                                                              host::Audio::Disk, {kCannotPlay}},
    {"Zeros",     [](const std::string& p) {
                      // 64 MiB that read as zeros, made without writing them.
                      const int fd = open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
                      ASSERT_GE(fd, 0);
                      ASSERT_EQ(ftruncate(fd, 64 << 20), 0);
                      close(fd); },                                           host::Audio::Disk, {kCannotPlay}},
    {"NoDevice",  WriteSong,                                                  host::Audio::None, {kNoInit, kCannotPlay}},
};
// clang-format on

class WholePiece : public ::testing::TestWithParam<Input> {};

TEST_P(WholePiece, BoxesThenTheWholeTimeline) {
    const Input& input = GetParam();
    audiotest::TempDir dir;
    audiotest::WorkingDir cwd(dir.path());
    input.make(dir / "brumlevo.mp3");
    const std::string recordingFile = dir / "recording.raw";

    // Each box is held open for half a minute of the clock; the timeline must not count it.
    const std::uint32_t boxMs = 30000;
    const std::uint32_t frameMs = 10000;
    std::uint32_t shownMs = 0;
    bool heard = false;
    testsupport::PieceRunOptions options;
    options.audio = input.audio;
    options.diskAudioFile = recordingFile;
    options.frameMs = [&](int n) { return shownMs + static_cast<std::uint32_t>(n) * frameMs; };
    options.onMessageBox = [&](const char*, const char*) {
        shownMs += boxMs;
        host::SetTicks(host::Ticks() + boxMs);
    };
    options.onFrame = [&](int n, const host::Frame&) {
        if (n == 0 && input.boxes.empty()) {
            // A song that opened is heard within moments of the first frame.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!heard && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                const Pcm sound = audiotest::ReadRecording(recordingFile);
                heard = audiotest::FirstSound(sound) < sound.size() / 2;
            }
        }
        return true;
    };
    const testsupport::PieceRunResult result = testsupport::RunPiece(options);

    EXPECT_EQ(result.boxes, input.boxes);
    EXPECT_EQ(result.exitCode, 0);
    // Frame n shows t = n * 10 s when the clock started after the boxes; the piece ends with the
    // first frame past 92.7 s.
    const int lastFrame = static_cast<int>(std::floor(92.7 / (frameMs / 1000.0))) + 1;
    EXPECT_EQ(result.frames, lastFrame + 1);
    if (input.boxes.empty()) {
        EXPECT_TRUE(heard);
    } else if (input.audio == host::Audio::Disk) {
        const Pcm sound = audiotest::ReadRecording(recordingFile);
        EXPECT_EQ(audiotest::FirstSound(sound), sound.size() / 2) << "not silent";
    }
}

INSTANTIATE_TEST_SUITE_P(Soundtrack, WholePiece, ::testing::ValuesIn(kInputs),
                         [](const ::testing::TestParamInfo<Input>& test) {
                             return std::string(test.param.name);
                         });

}  // namespace
