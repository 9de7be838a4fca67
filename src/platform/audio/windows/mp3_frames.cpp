#include "mp3_frames.h"

#include <algorithm>
#include <cstring>

namespace bass_windows {
namespace {

// How far into the file (after any ID3v2 tag) the first frame is looked for, and how many frames
// must follow it back to back before the file counts as MP3.
constexpr size_t kProbeBytes = 64 * 1024;
constexpr int kChainedFrames = 3;

// clang-format off
// Bit rates in kbit/s by bit-rate index; 0 (free format) and 15 are not accepted.
const DWORD kMpeg1Kbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
const DWORD kMpeg2Kbps[16] = {0,  8, 16, 24, 32, 40, 48, 56,  64,  80,  96, 112, 128, 144, 160, 0};
// Sample rates by the header's version bits (row) and sample-rate index (column).
const DWORD kSampleRates[4][3] = {
    {11025, 12000,  8000},  // MPEG-2.5
    {    0,     0,     0},  // reserved
    {22050, 24000, 16000},  // MPEG-2
    {44100, 48000, 32000},  // MPEG-1
};
// clang-format on

// A frame that carries the encoder's Xing/Info or VBRI tag instead of sound.
bool IsInfoFrame(const uint8_t* frame, const FrameHeader& header) {
    const DWORD sideInfo =
        header.version == 3 ? (header.channels == 1 ? 17 : 32) : (header.channels == 1 ? 9 : 17);
    for (DWORD offset : {4 + sideInfo, 6 + sideInfo}) {
        if (offset + 4 <= header.size && (std::memcmp(frame + offset, "Xing", 4) == 0 ||
                                          std::memcmp(frame + offset, "Info", 4) == 0)) {
            return true;
        }
    }
    return header.size >= 40 && std::memcmp(frame + 36, "VBRI", 4) == 0;
}

bool ReadAt(HANDLE file, LONGLONG offset, uint8_t* data, DWORD size, DWORD* got) {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    *got = 0;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
           ReadFile(file, data, size, got, nullptr);
}

// The size of an ID3v2 tag at `p` (header, body and footer), or 0 when there is none.
DWORD Id3v2TagSize(const uint8_t* p, DWORD available) {
    if (available < 10 || std::memcmp(p, "ID3", 3) != 0 || p[3] == 0xFF || p[4] == 0xFF ||
        ((p[6] | p[7] | p[8] | p[9]) & 0x80) != 0) {
        return 0;
    }
    const DWORD body = (DWORD{p[6]} << 21) | (DWORD{p[7]} << 14) | (DWORD{p[8]} << 7) | p[9];
    const DWORD footer = (p[5] & 0x10) ? 10 : 0;
    return 10 + body + footer;
}

}  // namespace

bool ParseFrameHeader(const uint8_t* p, FrameHeader* header) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) {
        return false;
    }
    const int version = (p[1] >> 3) & 3;
    const int layer = (p[1] >> 1) & 3;
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    const int padding = (p[2] >> 1) & 1;
    const int channelMode = p[3] >> 6;
    const int emphasis = p[3] & 3;
    if (version == 1 || layer != 1 || rateIndex == 3 || emphasis == 2) {
        return false;
    }
    const DWORD kbps = (version == 3 ? kMpeg1Kbps : kMpeg2Kbps)[bitrateIndex];
    if (kbps == 0) {
        return false;
    }
    header->version = version;
    header->sampleRate = kSampleRates[version][rateIndex];
    header->channels = channelMode == 3 ? 1 : 2;
    header->bitrate = kbps * 1000;
    // 1152 samples a frame for MPEG-1 and 576 for MPEG-2 and 2.5, at bitrate / 8 bytes a second.
    const DWORD factor = version == 3 ? 144 : 72;
    header->unpaddedSize = factor * header->bitrate / header->sampleRate;
    header->size = header->unpaddedSize + static_cast<DWORD>(padding);
    header->crc = (p[1] & 1) == 0;
    return true;
}

bool SameStream(const FrameHeader& a, const FrameHeader& b) {
    return a.version == b.version && a.sampleRate == b.sampleRate && a.channels == b.channels;
}

bool ProbeFile(HANDLE file, Stream* stream) {
    LARGE_INTEGER fileSize;
    if (!GetFileSizeEx(file, &fileSize)) {
        return false;
    }
    LONGLONG start = 0;
    uint8_t tag[10];
    DWORD got = 0;
    while (ReadAt(file, start, tag, sizeof tag, &got) && Id3v2TagSize(tag, got) != 0) {
        start += Id3v2TagSize(tag, got);
    }
    std::vector<uint8_t> window(kProbeBytes + kChainedFrames * kMaxFrameBytes + 4);
    if (!ReadAt(file, start, window.data(), static_cast<DWORD>(window.size()), &got)) {
        return false;
    }
    const size_t length = got;
    const bool reachesEnd = start + static_cast<LONGLONG>(length) >= fileSize.QuadPart;

    for (size_t candidate = 0; candidate + 4 <= length && candidate < kProbeBytes; ++candidate) {
        FrameHeader first;
        if (!ParseFrameHeader(&window[candidate], &first)) {
            continue;
        }
        // Follow the chain of frames from the candidate.
        size_t at = candidate;
        int frames = 0;
        bool chained = false;
        size_t soundStart = candidate;
        while (frames < kChainedFrames) {
            FrameHeader header;
            if (at + 4 > length) {
                chained = reachesEnd && at == length && frames > 0;
                break;
            }
            if (!ParseFrameHeader(&window[at], &header) || !SameStream(header, first) ||
                at + header.size > length) {
                break;
            }
            if (at == candidate && IsInfoFrame(&window[at], header)) {
                soundStart = at + header.size;  // the tag counts towards the chain, not the sound
            }
            at += header.size;
            ++frames;
            chained = frames == kChainedFrames;
        }
        if (!chained || soundStart + 4 > length) {
            continue;
        }
        FrameHeader sound;
        if (!ParseFrameHeader(&window[soundStart], &sound) || !SameStream(sound, first)) {
            continue;
        }
        stream->dataStart = start + static_cast<LONGLONG>(soundStart);
        stream->format = sound;
        return true;
    }
    return false;
}

FrameReader::FrameReader(HANDLE file, LONGLONG start, const FrameHeader& format)
    : file_(file), start_(start), format_(format), buffer_(64 * 1024) {
    Rewind();
}

void FrameReader::Rewind() {
    offset_ = start_;
    pos_ = 0;
    len_ = 0;
    eof_ = false;
    resync_ = false;
}

bool FrameReader::Next(const uint8_t** frame, DWORD* size) {
    for (;;) {
        if (Fill(4) < 4) {
            return false;
        }
        FrameHeader header;
        if (ParseFrameHeader(&buffer_[pos_], &header) && SameStream(header, format_)) {
            const size_t available = Fill(header.size + 4);
            if (available < header.size) {
                return false;  // a frame cut off by the end of the file
            }
            FrameHeader following;
            const bool confirmed = !resync_ || available == header.size ||
                                   (available >= header.size + 4 &&
                                    ParseFrameHeader(&buffer_[pos_ + header.size], &following) &&
                                    SameStream(following, format_));
            if (confirmed) {
                *frame = &buffer_[pos_];
                *size = header.size;
                pos_ += header.size;
                resync_ = false;
                return true;
            }
        }
        resync_ = true;
        ++pos_;
    }
}

size_t FrameReader::Fill(size_t wanted) {
    if (len_ - pos_ < wanted && !eof_) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, len_ - pos_);
        len_ -= pos_;
        pos_ = 0;
        while (len_ < wanted && !eof_) {
            DWORD got = 0;
            const DWORD room = static_cast<DWORD>(buffer_.size() - len_);
            if (!ReadAt(file_, offset_, buffer_.data() + len_, room, &got) || got == 0) {
                eof_ = true;
            }
            offset_ += got;
            len_ += got;
        }
    }
    return std::min(wanted, len_ - pos_);
}

}  // namespace bass_windows
