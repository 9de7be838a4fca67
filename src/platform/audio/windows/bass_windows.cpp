// The audio library's three calls over what Windows itself ships: a stream is an MP3 file whose
// frames our own scanner finds (mp3_frames), the system's MPEG Layer-3 codec turns into 16-bit PCM
// (mp3_decoder), and a player thread of its own queues to the default output (wave_output). The
// caller's threads share nothing with that thread after BASS_StreamPlay has returned.
//
// Devices: 1 is the default output and 0 is "no sound": the stream is still decoded, at the real
// rate, and the sound discarded. Any other device number fails, as an absent device does.
//
// One stream plays at a time, so playing a stream stops whatever played before.
#include <bass.h>

#include <windows.h>

#include <cstdlib>
#include <map>

#include "mp3_decoder.h"
#include "mp3_frames.h"
#include "wave_output.h"

using namespace bass_windows;

namespace {

constexpr DWORD kHighestFrequency = 384000;

struct AudioState {
    bool open = false;         // a successful BASS_Init
    bool silent = false;       // the no-sound device
    bool exitHandler = false;  // the output closes at process exit
    std::map<HSTREAM, Stream> streams;
    HSTREAM nextHandle = 0x80000001u;
};

AudioState& State() {
    static AudioState state;
    return state;
}

void CloseAtExit() {
    CloseOutput();
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
    if (!PrepareOutput() || !SetOutputFormat(PcmFormat(2, freq), device == 0)) {
        return FALSE;
    }
    state.silent = device == 0;
    if (!state.exitHandler) {
        std::atexit(&CloseAtExit);
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

    // The device plays the codec's own rate and channels; the wave mapper converts where the
    // hardware cannot take them.
    const Stream& chosen = stream->second;
    if (!SetOutputFormat(PcmFormat(chosen.format.channels, chosen.format.sampleRate),
                         state.silent)) {
        return FALSE;
    }
    Decoder* decoder = new Decoder(chosen.format);
    if (!decoder->Open()) {
        delete decoder;
        return FALSE;
    }
    return StartPlayer(chosen, decoder, (flags & BASS_SAMPLE_LOOP) != 0) ? TRUE : FALSE;
}
