// Encodes 16-bit interleaved stereo PCM to an MP3 file with LAME: constant bit rate, with the
// LAME tag that lets decoders drop the encoder's delay and padding, so the decoded file has
// exactly the samples given, and loops without a gap.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soundtrack {

struct Mp3Settings {
    int sampleRate = 44100;
    int kbps = 192;
    int quality = 5;  // LAME's 0 (best, slowest) to 9 (fastest)
};

// Writes `path` (through a temporary file beside it, renamed into place, so that a failure leaves
// no half-written file). False with a reason in `error` on failure.
bool EncodeMp3(const std::vector<std::int16_t>& interleavedStereo, const std::string& path,
               const Mp3Settings& settings, std::string* error);

}  // namespace soundtrack
