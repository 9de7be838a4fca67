// What the audio tests share: a temporary folder, MP3s made with the soundtrack tool's encoder,
// a reference decoder (libmpg123, outside SDL2_mixer) and the disk driver's recordings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace audiotest {

constexpr int kRate = 44100;
using Pcm = std::vector<std::int16_t>;  // interleaved 16-bit stereo

// A fresh temporary folder, removed with its contents; the working directory while it lives when
// `enter` is set.
struct TempDir {
    explicit TempDir(bool enter = false);
    ~TempDir();
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path, previous;
};

// A chirp on the left, beating tones on the right, loud from the first sample: where playback
// starts shows in a recording.
Pcm TestSignal(double seconds);
void WriteMp3(const Pcm& pcm, const std::string& path);  // 44.1 kHz; fails the test on error
Pcm DecodeMp3(const std::string& path);                  // libmpg123's decoding; empty on error
std::vector<std::uint8_t> ReadFile(const std::string& path);
// What SDL's disk driver has written so far.
Pcm ReadRecording(const std::string& path);
// The first frame with a nonzero sample; pcm.size() / 2 when all silent.
std::size_t FirstSound(const Pcm& pcm);
// Normalised cross-correlation of `recording` from frame `at` with `reference`'s first `frames`
// frames; 0 where out of range.
double Correlation(const Pcm& recording, std::size_t at, const Pcm& reference, std::size_t frames);

}  // namespace audiotest
