#include "mp3_decoder.h"

#include <algorithm>
#include <cstring>

namespace bass_windows {
namespace {

// Frames handed to the codec per conversion.
constexpr size_t kFramesPerConvert = 4;

MPEGLAYER3WAVEFORMAT Mp3Format(const FrameHeader& format) {
    MPEGLAYER3WAVEFORMAT mp3 = {};
    mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3.wfx.nChannels = format.channels;
    mp3.wfx.nSamplesPerSec = format.sampleRate;
    mp3.wfx.nAvgBytesPerSec = format.bitrate / 8;
    mp3.wfx.nBlockAlign = 1;
    mp3.wfx.wBitsPerSample = 0;
    mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3.wID = MPEGLAYER3_ID_MPEG;
    mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
    mp3.nBlockSize = static_cast<WORD>(format.unpaddedSize);
    mp3.nFramesPerBlock = 1;
    mp3.nCodecDelay = 0;
    return mp3;
}

}  // namespace

WAVEFORMATEX PcmFormat(WORD channels, DWORD rate) {
    WAVEFORMATEX pcm = {};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = channels;
    pcm.nSamplesPerSec = rate;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = static_cast<WORD>(channels * 2);
    pcm.nAvgBytesPerSec = rate * pcm.nBlockAlign;
    pcm.cbSize = 0;
    return pcm;
}

// Whether the system has a codec that turns this stream into 16-bit PCM.
bool CanDecode(const FrameHeader& format) {
    MPEGLAYER3WAVEFORMAT mp3 = Mp3Format(format);
    WAVEFORMATEX pcm = PcmFormat(format.channels, format.sampleRate);
    return acmStreamOpen(nullptr, nullptr, &mp3.wfx, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_QUERY) ==
           MMSYSERR_NOERROR;
}

bool Decoder::Open() {
    MPEGLAYER3WAVEFORMAT mp3 = Mp3Format(format_);
    WAVEFORMATEX pcm = PcmFormat(format_.channels, format_.sampleRate);
    if (acmStreamOpen(&acm_, nullptr, &mp3.wfx, &pcm, nullptr, 0, 0, 0) != MMSYSERR_NOERROR) {
        acm_ = nullptr;
        return false;
    }
    const DWORD samplesPerFrame = format_.version == 3 ? 1152 : 576;
    src_.resize(kFramesPerConvert * kMaxFrameBytes);
    // Room for twice the sound of the frames given, so that a codec holding one conversion's
    // sound back always has room for it in the next.
    DWORD dstBytes = static_cast<DWORD>(2 * kFramesPerConvert * samplesPerFrame) * pcm.nBlockAlign;
    DWORD suggested = 0;
    if (acmStreamSize(acm_, static_cast<DWORD>(src_.size()), &suggested, ACM_STREAMSIZEF_SOURCE) ==
        MMSYSERR_NOERROR) {
        dstBytes = std::max(dstBytes, suggested);
    }
    dst_.resize(dstBytes);
    header_ = {};
    header_.cbStruct = sizeof header_;
    header_.pbSrc = src_.data();
    header_.cbSrcLength = static_cast<DWORD>(src_.size());
    header_.pbDst = dst_.data();
    header_.cbDstLength = static_cast<DWORD>(dst_.size());
    if (acmStreamPrepareHeader(acm_, &header_, 0) != MMSYSERR_NOERROR) {
        Close();
        return false;
    }
    prepared_ = true;
    Restart();
    return true;
}

void Decoder::Restart() {
    pending_ = 0;
    start_ = true;
    stalls_ = 0;
}

DWORD Decoder::Decode(FrameReader& reader, const uint8_t** pcm, bool* ended) {
    *ended = false;
    bool last = false;
    for (size_t added = 0; added < kFramesPerConvert; ++added) {
        const uint8_t* frame = nullptr;
        DWORD size = 0;
        if (pending_ + kMaxFrameBytes > src_.size()) {
            break;
        }
        if (!reader.Next(&frame, &size)) {
            last = true;
            break;
        }
        std::memcpy(src_.data() + pending_, frame, size);
        pending_ += size;
    }
    DWORD flags = last ? ACM_STREAMCONVERTF_END : ACM_STREAMCONVERTF_BLOCKALIGN;
    if (start_) {
        flags |= ACM_STREAMCONVERTF_START;
    }
    header_.cbSrcLength = static_cast<DWORD>(pending_);
    header_.cbDstLength = static_cast<DWORD>(dst_.size());
    header_.cbSrcLengthUsed = 0;
    header_.cbDstLengthUsed = 0;
    const bool converted = acmStreamConvert(acm_, &header_, flags) == MMSYSERR_NOERROR;
    start_ = false;
    const size_t used = converted ? std::min<size_t>(header_.cbSrcLengthUsed, pending_) : 0;
    const DWORD made = converted ? std::min<DWORD>(header_.cbDstLengthUsed, dst_.size()) : 0;
    std::memmove(src_.data(), src_.data() + used, pending_ - used);
    pending_ -= used;
    // A codec that takes nothing and gives nothing twice running will not take these bytes:
    // drop them rather than stall.
    stalls_ = (used == 0 && made == 0) ? stalls_ + 1 : 0;
    if (stalls_ >= 2) {
        pending_ = 0;
        stalls_ = 0;
    }
    *ended = last && (made == 0 || pending_ == 0);
    *pcm = dst_.data();
    return made;
}

void Decoder::Close() {
    if (acm_ != nullptr) {
        if (prepared_) {
            header_.cbSrcLength = static_cast<DWORD>(src_.size());
            header_.cbDstLength = static_cast<DWORD>(dst_.size());
            acmStreamUnprepareHeader(acm_, &header_, 0);
            prepared_ = false;
        }
        acmStreamClose(acm_, 0);
        acm_ = nullptr;
    }
}

}  // namespace bass_windows
