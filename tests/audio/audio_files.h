// What the audio tests share: MP3s made with the soundtrack tool's encoder, a reference decoder
// (libmpg123, outside SDL2_mixer) and the disk driver's recordings.
#pragma once

#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "mp3_encoder.h"
#include "support/process.h"

namespace audiotest {

constexpr int kRate = 44100;
using Pcm = std::vector<std::int16_t>;  // interleaved 16-bit stereo

// A chirp from 300 Hz up to 3300 Hz on the left, beating tones on the right, loud from the first
// sample: where playback starts shows in a recording.
inline Pcm TestSignal(double seconds) {
    const std::size_t frames = static_cast<std::size_t>(std::lround(seconds * kRate));
    Pcm pcm(frames * 2);
    const double pi = std::acos(-1.0);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double left = 0.6 * std::cos(2 * pi * (300.0 * t + 1500.0 * t * t / seconds));
        const double right = 0.35 * std::cos(2 * pi * 440.0 * t) +
                             0.3 * std::cos(2 * pi * 443.0 * t + 1.0) * std::cos(2 * pi * 1.7 * t);
        pcm[2 * i] = static_cast<std::int16_t>(std::lround(left * 32767.0));
        pcm[2 * i + 1] = static_cast<std::int16_t>(std::lround(right * 32767.0));
    }
    return pcm;
}

// At 44.1 kHz; fails the test on error.
inline void WriteMp3(const Pcm& pcm, const std::string& path) {
    std::string error;
    soundtrack::Mp3Settings settings;
    settings.sampleRate = kRate;
    ASSERT_TRUE(soundtrack::EncodeMp3(pcm, path, settings, &error)) << error;
}

// libmpg123's decoding, asked for 44.1 kHz stereo only; empty on error.
inline Pcm DecodeMp3(const std::string& path) {
    Pcm pcm;
    int error = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_format_none(handle);
    mpg123_format(handle, kRate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    std::int16_t buffer[1 << 15];
    size_t done = 0;
    int result = mpg123_open(handle, path.c_str());
    while (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
        result = mpg123_read(handle, buffer, sizeof buffer, &done);
        pcm.insert(pcm.end(), buffer, buffer + done / 2);
    }
    mpg123_delete(handle);
    return pcm;
}

// What SDL's disk driver has written so far: 16-bit samples in this host's byte order.
inline Pcm ReadRecording(const std::string& path) {
    const std::string bytes = testsupport::Read(path);
    Pcm pcm(bytes.size() / 4 * 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}

// The first frame with a nonzero sample; pcm.size() / 2 when all silent.
inline std::size_t FirstSound(const Pcm& pcm) {
    return static_cast<std::size_t>(
               std::find_if(pcm.begin(), pcm.end(), [](std::int16_t s) { return s != 0; }) -
               pcm.begin()) /
           2;
}

// Normalised cross-correlation of `recording` from frame `at` with `reference`'s first `frames`
// frames; 0 where out of range.
inline double Correlation(const Pcm& recording, std::size_t at, const Pcm& reference,
                          std::size_t frames) {
    if ((at + frames) * 2 > recording.size() || frames * 2 > reference.size())
        return 0;
    double cross = 0, recordingEnergy = 0, referenceEnergy = 0;
    for (std::size_t i = 0; i < frames * 2; ++i) {
        const double a = recording[at * 2 + i], b = reference[i];
        cross += a * b;
        recordingEnergy += a * a;
        referenceEnergy += b * b;
    }
    return cross / std::sqrt(recordingEnergy * referenceEnergy);
}

}  // namespace audiotest
