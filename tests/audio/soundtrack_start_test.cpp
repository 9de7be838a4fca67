// The soundtrack's start-up inside the whole piece, for each thing that may lie at brumlevo.mp3:
// the audio calls and boxes in order, the clock started only once the boxes are gone, and the
// piece running its whole timeline, with sound or in silence.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "audio_files.h"
#include "platform/host.h"
#include "support/piece_run.h"

namespace {

using audiotest::Pcm;

const char kInit[] = "BASS_Init 1 44100";
const char kOpen[] = "BASS_StreamCreateFile brumlevo.mp3";
const char kNoInit[] = "MessageBoxA Error|No Init";
const char kCannotPlay[] = "MessageBoxA Feil!|Kan ikke spille sang";
const char kPlayNothing[] = "BASS_StreamPlay 0 4";
const char kPlaySong[] = "BASS_StreamPlay stream 4";  // the stream opened, looped

// Two seconds of 44.1 kHz stereo samples: twice the test song.
const std::size_t kSilence = 2 * 44100 * 2;

void WriteSong(const std::string& path) {
    audiotest::WriteMp3(audiotest::TestSignal(1.0), path);
}

using Stream = host::AudioRecord::Stream;

struct Input {
    const char* name;
    void (*make)(const std::string& path);
    host::Audio audio;
    std::vector<std::string> calls;  // the audio calls and message boxes, in order
    Stream stream;                   // what the audio back end records of the stream
};

// clang-format off
const Input kInputs[] = {
    {"Song",      WriteSong,                                    host::Audio::Disk, {kInit, kOpen, kPlaySong}, Stream::Opened},
    {"Missing",   [](const std::string&) {},                    host::Audio::Disk, {kInit, kOpen, kCannotPlay, kPlayNothing}, Stream::Unreadable},
    {"Truncated", [](const std::string& p) {
                      WriteSong(p);
                      std::filesystem::resize_file(p, std::filesystem::file_size(p) * 2 / 5); },
                                                                host::Audio::Disk, {kInit, kOpen, kPlaySong}, Stream::Opened},
    {"Fifo",      [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); },
                                                                host::Audio::Disk, {kInit, kOpen, kCannotPlay, kPlayNothing}, Stream::Unreadable},
    {"Text",      [](const std::string& p) { std::ofstream(p) << std::string(5000, 'a'); },
                                                                host::Audio::Disk, {kInit, kOpen, kCannotPlay, kPlayNothing}, Stream::NotSound},
    {"NoDevice",  WriteSong,                                    host::Audio::None, {kInit, kNoInit, kOpen, kCannotPlay, kPlayNothing}, Stream::NoOutput},
};
// clang-format on

class WholePiece : public ::testing::TestWithParam<Input> {};

TEST_P(WholePiece, CallsAndBoxesThenTheWholeTimeline) {
    const Input& input = GetParam();
    testsupport::Folder dir(false);
    std::filesystem::current_path(dir.path);  // the piece runs in it
    input.make(dir / "brumlevo.mp3");
    const bool song = input.calls.back() == kPlaySong;
    const Pcm reference = song ? audiotest::DecodeMp3(dir / "brumlevo.mp3") : Pcm{};
    const std::string recordingFile = dir / "recording.raw";
    setenv("SDL_DISKAUDIODELAY", "1", 1);  // the disk driver runs faster than real time

    // Each box is held open for half a minute of the clock; the timeline must not count it.
    const std::uint32_t boxMs = 30000, frameMs = 10000;
    std::uint32_t shownMs = 0;
    bool heard = false;
    testsupport::PieceRunOptions options;
    options.audio = input.audio;
    options.diskAudioFile = recordingFile;
    options.record = true;
    options.frameMs = [&](int n) { return shownMs + static_cast<std::uint32_t>(n) * frameMs; };
    options.onMessageBox = [&](const char*, const char*) {
        shownMs += boxMs;
        host::SetTicks(host::Ticks() + boxMs);
    };
    // In the first frame, the recording is waited for until it shows what it must: a song that
    // opened heard from its first sample, and from its first again once it ends (it loops); in
    // silence, two seconds of it. The disk driver runs faster than real time; the wait says what
    // it took and gives up after a minute, for a machine under any load.
    bool silent = false;
    options.onFrame = [&](int n, const host::Frame&) {
        const bool recorded = input.audio == host::Audio::Disk;
        const auto start = std::chrono::steady_clock::now();
        const auto deadline = start + std::chrono::seconds(60);
        while (n == 0 && recorded && !heard && !silent &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const Pcm sound = audiotest::ReadRecording(recordingFile);
            const std::size_t at = audiotest::FirstSound(sound), length = reference.size() / 2;
            if (song) {
                heard = audiotest::Correlation(sound, at, reference, length) > 0.999 &&
                        audiotest::Correlation(sound, at + length, reference, length) > 0.999;
            } else {
                silent = sound.size() >= kSilence && at == sound.size() / 2;
                if (at != sound.size() / 2)
                    break;  // not silent: no use waiting
            }
        }
        if (n == 0 && recorded) {
            const char* what = heard ? "heard twice" : silent ? "silent" : "neither";
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            std::printf("%s after %.2f s\n", what, took.count());
            std::fflush(stdout);
        }
        return true;
    };
    const testsupport::PieceRunResult result = testsupport::RunPiece(options);

    std::vector<std::string> calls;
    for (const std::string& entry : result.log) {
        if (entry.rfind("BASS_StreamPlay ", 0) == 0 && entry.rfind("BASS_StreamPlay 0 ", 0) != 0) {
            calls.push_back("BASS_StreamPlay stream" + entry.substr(entry.rfind(' ')));
        } else if (entry.rfind("BASS_", 0) == 0 || entry.rfind("MessageBoxA", 0) == 0) {
            calls.push_back(entry);
        }
    }
    EXPECT_EQ(calls, input.calls);
    // What a tool learns of it: the output, the file named and what came of it, and the sound.
    EXPECT_EQ(result.audio.outputOpen, input.audio != host::Audio::None);
    EXPECT_EQ(result.audio.file, "brumlevo.mp3");
    EXPECT_EQ(result.audio.stream, input.stream);
    EXPECT_EQ(result.audio.playing, song);
    EXPECT_EQ(result.exitCode, 0);
    // Frame n shows t = n * 10 s when the clock started after the boxes; the piece ends with the
    // first frame past 92.7 s.
    EXPECT_EQ(result.frames, static_cast<int>(std::floor(92.7 / (frameMs / 1000.0))) + 2);
    if (song) {
        EXPECT_TRUE(heard);
    } else if (input.audio == host::Audio::Disk) {
        const Pcm sound = audiotest::ReadRecording(recordingFile);
        EXPECT_TRUE(silent) << "want two seconds of silence, recorded "
                            << sound.size() / 2 / 44100.0 << " s, the first sound at frame "
                            << audiotest::FirstSound(sound);
    }
}

INSTANTIATE_TEST_SUITE_P(Soundtrack, WholePiece, ::testing::ValuesIn(kInputs),
                         [](const ::testing::TestParamInfo<Input>& test) {
                             return std::string(test.param.name);
                         });

}  // namespace
