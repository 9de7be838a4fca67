// What the audio tests share: a temporary folder, MP3s made with the soundtrack tool's encoder,
// a reference decoder (libmpg123, outside SDL2_mixer) and the disk driver's recordings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace audiotest {

constexpr int kRate = 44100;

// Interleaved 16-bit stereo.
using Pcm = std::vector<std::int16_t>;

// A fresh folder under the system's temporary folder, removed with everything in it; while it
// lives it is the working directory when `enter` is set.
class TempDir {
  public:
    explicit TempDir(bool enter = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_, previous_;
};

// A non-repeating test signal: a chirp on the left, beating tones on the right, both loud from
// their very first sample, so that where playback starts shows in the recording.
Pcm TestSignal(double seconds);

// Encodes `pcm` at 44.1 kHz to `path`; fails the calling test on error.
void WriteMp3(const Pcm& pcm, const std::string& path);

// The whole file decoded by libmpg123 to 44.1 kHz 16-bit stereo; empty when it will not decode.
Pcm DecodeMp3(const std::string& path);

std::vector<std::uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The raw 16-bit stereo frames SDL's disk driver wrote, once it holds at least `frames` of them
// (waiting up to 20 s), or as it is.
Pcm ReadRecording(const std::string& path, std::size_t frames = 0);

// The first frame with a nonzero sample, or pcm.size() / 2 when it is all silence.
std::size_t FirstSound(const Pcm& pcm);

// Normalised cross-correlation of `recording`, from frame `at`, with the first `frames` frames
// of `reference` (both channels together); 0 where out of range, not a number where silent.
double Correlation(const Pcm& recording, std::size_t at, const Pcm& reference, std::size_t frames);

}  // namespace audiotest
