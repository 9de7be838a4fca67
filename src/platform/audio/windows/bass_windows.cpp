// The audio library's three calls over what Windows itself ships: the output device is waveOut
// (winmm) on the wave mapper, which is the user's default output, and a stream is an MP3 file
// whose frames our own scanner cuts out and the system's MPEG Layer-3 ACM codec (msacm32 with
// l3codeca.acm, in Windows since XP and in Wine) turns into 16-bit PCM. A playing stream has a
// thread of its own that reads, decodes and queues buffers to the device; the caller's threads
// share nothing with it after BASS_StreamPlay has returned.
//
// Devices: 1 is the default output and 0 is "no sound": the stream is still decoded, at the real
// rate, and the sound discarded. Any other device number fails, as an absent device does.
//
// One stream plays at a time, so playing a stream stops whatever played before.
#include <bass.h>

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace {

constexpr DWORD kHighestFrequency = 384000;

// Output queue: kBuffers buffers of about kBufferMs each, so about 300 ms of sound is queued and
// the first buffer reaches the device a few milliseconds after the play call.
constexpr int kBuffers = 6;
constexpr DWORD kBufferMs = 50;

// Frames handed to the codec per conversion.
constexpr size_t kFramesPerConvert = 4;

// How far into the file (after any ID3v2 tag) the first frame is looked for, and how many frames
// must follow it back to back before the file counts as MP3.
constexpr size_t kProbeBytes = 64 * 1024;
constexpr int kChainedFrames = 3;

// ---- MPEG audio Layer III frame headers -------------------------------------------------------

// The largest Layer III frame: 320 kbit/s at 32 kHz (MPEG-1) or 160 kbit/s at 8 kHz (MPEG-2.5),
// padded: 1441 bytes.
constexpr size_t kMaxFrameBytes = 1441;

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

// Frames of one stream keep its version, sample rate and channel count.
bool SameStream(const FrameHeader& a, const FrameHeader& b) {
    return a.version == b.version && a.sampleRate == b.sampleRate && a.channels == b.channels;
}

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

// ---- Reading the file -------------------------------------------------------------------------

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

// Sequential frames of one stream from an open file, from `start` on. Bytes that are not a frame
// of the stream (a damaged stretch, trailing tags) are skipped; a frame found after such a stretch
// must be followed by another frame or by the end of the file.
class FrameReader {
  public:
    FrameReader(HANDLE file, LONGLONG start, const FrameHeader& format)
        : file_(file), start_(start), format_(format), buffer_(64 * 1024) {
        Rewind();
    }

    void Rewind() {
        offset_ = start_;
        pos_ = 0;
        len_ = 0;
        eof_ = false;
        resync_ = false;
    }

    // The next frame; its bytes stay valid until the next call. False at the end of the file.
    bool Next(const uint8_t** frame, DWORD* size) {
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
                const bool confirmed =
                    !resync_ || available == header.size ||
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

  private:
    // Makes at least `wanted` unread bytes available unless the file ends first; returns how
    // many are available (at most `wanted`).
    size_t Fill(size_t wanted) {
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

// ---- Streams and the decoder ------------------------------------------------------------------

struct Stream {
    HANDLE file;
    LONGLONG dataStart;  // the first sound frame
    FrameHeader format;  // of the first sound frame
};

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

bool SameFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
           a.wBitsPerSample == b.wBitsPerSample;
}

// Whether the system has a codec that turns this stream into 16-bit PCM.
bool CanDecode(const FrameHeader& format) {
    MPEGLAYER3WAVEFORMAT mp3 = Mp3Format(format);
    WAVEFORMATEX pcm = PcmFormat(format.channels, format.sampleRate);
    return acmStreamOpen(nullptr, nullptr, &mp3.wfx, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_QUERY) ==
           MMSYSERR_NOERROR;
}

// Finds the first sound frame of an MP3 file: after any ID3v2 tags, within kProbeBytes, a frame
// followed by kChainedFrames - 1 more of the same stream (or by the file's end), skipping an
// encoder's info frame. False when the file holds no such frame.
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

// Turns frames into PCM through an ACM stream. Buffers are allocated once, when it opens.
class Decoder {
  public:
    explicit Decoder(const FrameHeader& format) : format_(format) {}
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    ~Decoder() { Close(); }

    bool Open() {
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
        DWORD dstBytes =
            static_cast<DWORD>(2 * kFramesPerConvert * samplesPerFrame) * pcm.nBlockAlign;
        DWORD suggested = 0;
        if (acmStreamSize(acm_, static_cast<DWORD>(src_.size()), &suggested,
                          ACM_STREAMSIZEF_SOURCE) == MMSYSERR_NOERROR) {
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

    // The next conversion starts the stream afresh (after a rewind).
    void Restart() {
        pending_ = 0;
        start_ = true;
        stalls_ = 0;
    }

    // Converts the frames `reader` yields next. Returns the PCM bytes made (in `*pcm`), and sets
    // `*ended` once the reader is exhausted and the codec flushed.
    DWORD Decode(FrameReader& reader, const uint8_t** pcm, bool* ended) {
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

  private:
    void Close() {
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

// ---- The device and the player thread ---------------------------------------------------------

struct AudioState {
    bool open = false;          // a successful BASS_Init
    bool silent = false;        // the no-sound device
    bool exitHandler = false;   // StopAll runs at process exit
    HWAVEOUT device = nullptr;  // the default output, when open and not silent
    WAVEFORMATEX deviceFormat = {};
    HANDLE bufferDone = nullptr;  // signalled by the device as it finishes a buffer
    HANDLE stop = nullptr;        // tells the player thread to stop
    HANDLE player = nullptr;
    std::map<HSTREAM, Stream> streams;
    HSTREAM nextHandle = 0x80000001u;
};

AudioState& State() {
    static AudioState state;
    return state;
}

struct PlayRequest {
    Stream stream;
    Decoder* decoder;  // opened by the caller, owned by the player from then on
    bool loop;
    HWAVEOUT device;
    WAVEFORMATEX format;
    HANDLE bufferDone;
    HANDLE stop;
};

// Fills `out` (`capacity` bytes) with sound, going back to the start of the stream at its end
// when looping. Returns the bytes filled; fewer than `capacity` only at the end of a stream that
// does not loop (or whose whole pass gives no sound).
DWORD FillBuffer(const PlayRequest& request, FrameReader& reader, Decoder& decoder,
                 const uint8_t** pcm, DWORD* pcmLeft, bool* soundThisPass, uint8_t* out,
                 DWORD capacity) {
    DWORD filled = 0;
    while (filled < capacity) {
        if (*pcmLeft == 0) {
            bool ended = false;
            *pcmLeft = decoder.Decode(reader, pcm, &ended);
            *soundThisPass = *soundThisPass || *pcmLeft > 0;
            if (*pcmLeft == 0 && ended) {
                if (!request.loop || !*soundThisPass) {
                    break;
                }
                reader.Rewind();
                decoder.Restart();
                *soundThisPass = false;
            }
            continue;
        }
        const DWORD n = std::min(*pcmLeft, capacity - filled);
        std::memcpy(out + filled, *pcm, n);
        *pcm += n;
        *pcmLeft -= n;
        filled += n;
    }
    return filled;
}

// The player: decodes the stream from its start and keeps the device's queue full until the
// stream ends (when not looping) or it is told to stop.
DWORD WINAPI PlayerMain(void* parameter) {
    const PlayRequest request = *static_cast<PlayRequest*>(parameter);
    delete static_cast<PlayRequest*>(parameter);
    Decoder& decoder = *request.decoder;

    FrameReader reader(request.stream.file, request.stream.dataStart, request.stream.format);
    const DWORD align = request.format.nBlockAlign;
    const DWORD bufferBytes = request.format.nSamplesPerSec * kBufferMs / 1000 * align;
    std::vector<uint8_t> memory(static_cast<size_t>(bufferBytes) * kBuffers);
    WAVEHDR headers[kBuffers] = {};
    for (int i = 0; i < kBuffers; ++i) {
        headers[i].lpData = reinterpret_cast<LPSTR>(&memory[static_cast<size_t>(i) * bufferBytes]);
        headers[i].dwBufferLength = bufferBytes;
        if (request.device != nullptr) {
            waveOutPrepareHeader(request.device, &headers[i], sizeof headers[i]);
        }
        headers[i].dwFlags |= WHDR_DONE;  // free to fill
    }

    const uint8_t* pcm = nullptr;
    DWORD pcmLeft = 0;
    bool soundThisPass = false;
    bool ended = false;
    const DWORD startTick = GetTickCount();
    ULONGLONG queuedMs = 0;  // for the no-sound device: the sound "played" so far
    HANDLE waits[2] = {request.stop, request.bufferDone};

    for (;;) {
        int freeIndex = -1;
        bool busy = false;
        for (int i = 0; i < kBuffers; ++i) {
            if (headers[i].dwFlags & WHDR_DONE) {
                freeIndex = freeIndex < 0 ? i : freeIndex;
            } else {
                busy = true;
            }
        }
        if (ended && !busy) {
            break;  // the last buffer has played
        }
        if (ended || freeIndex < 0) {
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
                break;
            }
            continue;
        }
        WAVEHDR& header = headers[freeIndex];
        const DWORD filled = FillBuffer(request, reader, decoder, &pcm, &pcmLeft, &soundThisPass,
                                        reinterpret_cast<uint8_t*>(header.lpData), bufferBytes);
        ended = filled < bufferBytes;
        if (filled == 0) {
            continue;
        }
        if (request.device != nullptr) {
            header.dwBufferLength = filled;
            header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
            if (waveOutWrite(request.device, &header, sizeof header) != MMSYSERR_NOERROR) {
                header.dwFlags |= WHDR_DONE;
                ended = true;
            }
        } else {
            // No device: keep to the real rate, about one buffer ahead of the clock.
            queuedMs += 1000ull * (filled / align) / request.format.nSamplesPerSec;
            const ULONGLONG elapsed = static_cast<DWORD>(GetTickCount() - startTick);
            if (queuedMs > elapsed + kBufferMs &&
                WaitForSingleObject(request.stop, static_cast<DWORD>(queuedMs - elapsed -
                                                                     kBufferMs)) == WAIT_OBJECT_0) {
                break;
            }
        }
    }

    if (request.device != nullptr) {
        waveOutReset(request.device);  // hands back every queued buffer at once
        for (WAVEHDR& header : headers) {
            waveOutUnprepareHeader(request.device, &header, sizeof header);
        }
    }
    delete request.decoder;
    return 0;
}

void StopPlayer() {
    AudioState& state = State();
    if (state.player != nullptr) {
        SetEvent(state.stop);
        WaitForSingleObject(state.player, 5000);
        CloseHandle(state.player);
        state.player = nullptr;
    }
}

// At process exit: stop the player and close the device, so that nothing still plays while the
// process goes down.
void StopAll() {
    AudioState& state = State();
    StopPlayer();
    if (state.device != nullptr) {
        waveOutReset(state.device);
        waveOutClose(state.device);
        state.device = nullptr;
    }
}

bool OpenDevice(const WAVEFORMATEX& format) {
    AudioState& state = State();
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(state.bufferDone), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        return false;
    }
    state.device = device;
    state.deviceFormat = format;
    return true;
}

}  // namespace

// Opens the output device at `freq` Hz, 16-bit stereo. Fails when the device is unknown or
// absent, or already open.
BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD /*flags*/, HWND /*win*/,
                      const GUID* /*clsid*/) {
    AudioState& state = State();
    if (state.open || (device != 0 && device != 1) || freq == 0 || freq > kHighestFrequency) {
        return FALSE;
    }
    if (state.bufferDone == nullptr) {
        state.bufferDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        state.stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (state.bufferDone == nullptr || state.stop == nullptr) {
            return FALSE;
        }
    }
    if (device == 1 && !OpenDevice(PcmFormat(2, freq))) {
        return FALSE;
    }
    state.silent = device == 0;
    if (state.silent) {
        state.deviceFormat = PcmFormat(2, freq);
    }
    if (!state.exitHandler) {
        std::atexit(&StopAll);
        state.exitHandler = true;
    }
    state.open = true;
    return TRUE;
}

// Opens an MP3 file as a stream, decoded as it plays. Only whole files named by a path are
// offered (`mem` FALSE, offset and length 0). 0 before BASS_Init, and for a file that is missing,
// unreadable, not a regular file, or not MP3 the system's codec can decode.
HSTREAM WINAPI BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length,
                                     DWORD /*flags*/) {
    AudioState& state = State();
    if (!state.open || mem || file == nullptr || offset != 0 || length != 0) {
        return 0;
    }
    // A directory does not open without FILE_FLAG_BACKUP_SEMANTICS, so only files get through.
    const HANDLE handle = CreateFileA(static_cast<const char*>(file), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return 0;
    }
    Stream stream = {};
    stream.file = handle;
    if (GetFileType(handle) != FILE_TYPE_DISK || !ProbeFile(handle, &stream) ||
        !CanDecode(stream.format)) {
        CloseHandle(handle);
        return 0;
    }
    const HSTREAM id = state.nextHandle++;
    state.streams[id] = stream;
    return id;
}

// Plays a stream from its beginning, over again each time it ends with BASS_SAMPLE_LOOP, and
// once without. FALSE for a handle that names no stream.
BOOL WINAPI BASS_StreamPlay(HSTREAM handle, BOOL /*flush*/, DWORD flags) {
    AudioState& state = State();
    const auto stream = state.streams.find(handle);
    if (!state.open || stream == state.streams.end()) {
        return FALSE;
    }
    StopPlayer();
    ResetEvent(state.stop);

    // The device plays the codec's own rate and channels; the wave mapper converts where the
    // hardware cannot take them.
    const WAVEFORMATEX wanted =
        PcmFormat(stream->second.format.channels, stream->second.format.sampleRate);
    if (state.silent) {
        state.deviceFormat = wanted;  // the no-sound device takes any format
    } else if (state.device == nullptr) {
        if (!OpenDevice(wanted)) {
            return FALSE;
        }
    } else if (!SameFormat(state.deviceFormat, wanted)) {
        const WAVEFORMATEX previous = state.deviceFormat;
        waveOutClose(state.device);
        state.device = nullptr;
        if (!OpenDevice(wanted)) {
            OpenDevice(previous);
            return FALSE;
        }
    }

    Decoder* decoder = new Decoder(stream->second.format);
    if (!decoder->Open()) {
        delete decoder;
        return FALSE;
    }
    PlayRequest* request = new PlayRequest{stream->second,
                                           decoder,
                                           (flags & BASS_SAMPLE_LOOP) != 0,
                                           state.device,
                                           state.deviceFormat,
                                           state.bufferDone,
                                           state.stop};
    state.player = CreateThread(nullptr, 0, &PlayerMain, request, 0, nullptr);
    if (state.player == nullptr) {
        delete request;
        delete decoder;
        return FALSE;
    }
    SetThreadPriority(state.player, THREAD_PRIORITY_HIGHEST);
    return TRUE;
}
