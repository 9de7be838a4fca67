// MPEG audio Layer III files, frame by frame: the frame header, where the sound of a file starts
// (after any ID3v2 tags and an encoder's info frame), and a reader that yields its frames in turn.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bass_windows {

// The largest Layer III frame: 320 kbit/s at 32 kHz (MPEG-1) or 160 kbit/s at 8 kHz (MPEG-2.5),
// padded: 1441 bytes.
constexpr size_t kMaxFrameBytes = 1441;

struct FrameHeader {
    int version;  // header version bits: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    DWORD sampleRate;
    WORD channels;
    DWORD bitrate;  // bits per second
    DWORD size;     // whole frame in bytes, header included
    DWORD unpaddedSize;
    bool crc;
};

// Reads the 4-byte header at `p`. False when it is not a valid Layer III header.
bool ParseFrameHeader(const uint8_t* p, FrameHeader* header);

// Frames of one stream keep its version, sample rate and channel count.
bool SameStream(const FrameHeader& a, const FrameHeader& b);

// An MP3 file's sound: the open file, and where its first sound frame is.
struct Stream {
    HANDLE file;
    LONGLONG dataStart;  // the first sound frame
    FrameHeader format;  // of the first sound frame
};

// Finds the first sound frame of an MP3 file: after any ID3v2 tags, within kProbeBytes, a frame
// followed by kChainedFrames - 1 more of the same stream (or by the file's end), skipping an
// encoder's info frame. False when the file holds no such frame.
bool ProbeFile(HANDLE file, Stream* stream);

// Sequential frames of one stream from an open file, from `start` on. Bytes that are not a frame
// of the stream (a damaged stretch, trailing tags) are skipped; a frame found after such a stretch
// must be followed by another frame or by the end of the file.
class FrameReader {
  public:
    FrameReader(HANDLE file, LONGLONG start, const FrameHeader& format);

    void Rewind();

    // The next frame; its bytes stay valid until the next call. False at the end of the file.
    bool Next(const uint8_t** frame, DWORD* size);

  private:
    // Makes at least `wanted` unread bytes available unless the file ends first; returns how
    // many are available (at most `wanted`).
    size_t Fill(size_t wanted);

    HANDLE file_;
    LONGLONG start_;
    FrameHeader format_;
    std::vector<uint8_t> buffer_;
    LONGLONG offset_ = 0;  // file offset of buffer_[len_]
    size_t pos_ = 0;
    size_t len_ = 0;
    bool eof_ = false;
    bool resync_ = false;
};

}  // namespace bass_windows
