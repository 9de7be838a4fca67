// The stand-in soundtrack: about 95 s of 44.1 kHz stereo whose sections change on the piece's cue
// times, so that picture and music meet. Pure arithmetic on a fixed seed: every run gives the same
// samples.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/soundtrack_file.h"

namespace soundtrack {

// The rate the piece opens its output at.
constexpr int kSampleRate = kSoundtrackRate;
constexpr double kSoundtrackSeconds = 95.0;

// Interleaved stereo, left first.
std::vector<std::int16_t> SynthesiseSoundtrack();

}  // namespace soundtrack
