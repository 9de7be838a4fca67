// MP3 frames turned into 16-bit PCM by the system's MPEG Layer-3 ACM codec (msacm32 with
// l3codeca.acm, in Windows since XP and in Wine).
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <vector>

#include "mp3_frames.h"

namespace bass_windows {

// 16-bit PCM of `channels` channels at `rate` Hz: what the codec makes and the device plays.
WAVEFORMATEX PcmFormat(WORD channels, DWORD rate);

// Whether the system has a codec that turns this stream into 16-bit PCM.
bool CanDecode(const FrameHeader& format);

// Turns frames into PCM through an ACM stream. Buffers are allocated once, when it opens.
class Decoder {
  public:
    explicit Decoder(const FrameHeader& format) : format_(format) {}
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    ~Decoder() { Close(); }

    bool Open();

    // The next conversion starts the stream afresh (after a rewind).
    void Restart();

    // Converts the frames `reader` yields next. Returns the PCM bytes made (in `*pcm`), and sets
    // `*ended` once the reader is exhausted and the codec flushed.
    DWORD Decode(FrameReader& reader, const uint8_t** pcm, bool* ended);

  private:
    void Close();

    FrameHeader format_;
    HACMSTREAM acm_ = nullptr;
    ACMSTREAMHEADER header_ = {};
    bool prepared_ = false;
    std::vector<uint8_t> src_;
    std::vector<uint8_t> dst_;
    size_t pending_ = 0;  // source bytes the codec has not taken yet
    bool start_ = true;
    int stalls_ = 0;
};

}  // namespace bass_windows
