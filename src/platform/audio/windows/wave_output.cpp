#include "wave_output.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace bass_windows {
namespace {

// Output queue: kBuffers buffers of about kBufferMs each, so about 300 ms of sound is queued and
// the first buffer reaches the device a few milliseconds after the play call.
constexpr int kBuffers = 6;
constexpr DWORD kBufferMs = 50;

struct Output {
    HWAVEOUT device = nullptr;  // the default output, when open and not silent
    WAVEFORMATEX format = {};
    HANDLE bufferDone = nullptr;  // signalled by the device as it finishes a buffer
    HANDLE stop = nullptr;        // tells the player thread to stop
    HANDLE player = nullptr;
};

Output& State() {
    static Output output;
    return output;
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

// The buffers in `memory`, kBuffers of them, all free to fill.
void PrepareHeaders(HWAVEOUT device, std::vector<uint8_t>& memory, DWORD bufferBytes,
                    WAVEHDR (&headers)[kBuffers]) {
    for (int i = 0; i < kBuffers; ++i) {
        headers[i].lpData = reinterpret_cast<LPSTR>(&memory[static_cast<size_t>(i) * bufferBytes]);
        headers[i].dwBufferLength = bufferBytes;
        if (device != nullptr) {
            waveOutPrepareHeader(device, &headers[i], sizeof headers[i]);
        }
        headers[i].dwFlags |= WHDR_DONE;  // free to fill
    }
}

void ReleaseHeaders(HWAVEOUT device, WAVEHDR (&headers)[kBuffers]) {
    if (device != nullptr) {
        waveOutReset(device);  // hands back every queued buffer at once
        for (WAVEHDR& header : headers) {
            waveOutUnprepareHeader(device, &header, sizeof header);
        }
    }
}

// Hands the device a filled buffer; without a device, keeps to the real rate, about one buffer
// ahead of the clock. False when the buffer could not be queued or the player is told to stop.
bool Queue(const PlayRequest& request, WAVEHDR& header, DWORD filled, DWORD startTick,
           ULONGLONG* queuedMs) {
    if (request.device != nullptr) {
        header.dwBufferLength = filled;
        header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
        if (waveOutWrite(request.device, &header, sizeof header) != MMSYSERR_NOERROR) {
            header.dwFlags |= WHDR_DONE;
            return false;
        }
        return true;
    }
    const DWORD align = request.format.nBlockAlign;
    *queuedMs += 1000ull * (filled / align) / request.format.nSamplesPerSec;
    const ULONGLONG elapsed = static_cast<DWORD>(GetTickCount() - startTick);
    return !(*queuedMs > elapsed + kBufferMs &&
             WaitForSingleObject(request.stop, static_cast<DWORD>(*queuedMs - elapsed -
                                                                  kBufferMs)) == WAIT_OBJECT_0);
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
    PrepareHeaders(request.device, memory, bufferBytes, headers);

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
        if (!Queue(request, header, filled, startTick, &queuedMs)) {
            if (request.device == nullptr) {
                break;  // told to stop
            }
            ended = true;
        }
    }

    ReleaseHeaders(request.device, headers);
    delete request.decoder;
    return 0;
}

bool SameFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
           a.wBitsPerSample == b.wBitsPerSample;
}

bool OpenDevice(const WAVEFORMATEX& format) {
    Output& state = State();
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(state.bufferDone), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        return false;
    }
    state.device = device;
    state.format = format;
    return true;
}

}  // namespace

bool PrepareOutput() {
    Output& state = State();
    if (state.bufferDone == nullptr) {
        state.bufferDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        state.stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    return state.bufferDone != nullptr && state.stop != nullptr;
}

bool SetOutputFormat(const WAVEFORMATEX& format, bool silent) {
    Output& state = State();
    if (silent) {
        state.format = format;
        return true;
    }
    if (state.device == nullptr) {
        return OpenDevice(format);
    }
    if (!SameFormat(state.format, format)) {
        const WAVEFORMATEX previous = state.format;
        waveOutClose(state.device);
        state.device = nullptr;
        if (!OpenDevice(format)) {
            OpenDevice(previous);
            return false;
        }
    }
    return true;
}

bool StartPlayer(const Stream& stream, Decoder* decoder, bool loop) {
    Output& state = State();
    StopPlayer();
    ResetEvent(state.stop);
    PlayRequest* request = new PlayRequest{stream,       decoder,          loop,      state.device,
                                           state.format, state.bufferDone, state.stop};
    state.player = CreateThread(nullptr, 0, &PlayerMain, request, 0, nullptr);
    if (state.player == nullptr) {
        delete request;
        delete decoder;
        return false;
    }
    SetThreadPriority(state.player, THREAD_PRIORITY_HIGHEST);
    return true;
}

void StopPlayer() {
    Output& state = State();
    if (state.player != nullptr) {
        SetEvent(state.stop);
        WaitForSingleObject(state.player, 5000);
        CloseHandle(state.player);
        state.player = nullptr;
    }
}

void CloseOutput() {
    Output& state = State();
    StopPlayer();
    if (state.device != nullptr) {
        waveOutReset(state.device);
        waveOutClose(state.device);
        state.device = nullptr;
    }
}

}  // namespace bass_windows
