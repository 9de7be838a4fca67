// The audio library's three calls over what Windows itself ships: a stream is an MP3 file whose
// frames our own scanner finds (mp3_frames), the system's MPEG Layer-3 codec turns into 16-bit PCM
// (mp3_decoder), and a player thread of its own queues to the default output (wave_output). The
// caller's threads share nothing with that thread after BASS_StreamPlay has returned.
//
// The calls keep the contract written in include/bass.h. With device 0 the stream is still
// decoded, at the real rate, and the sound discarded.
#include <bass.h>

#include <windows.h>

#include <cstdlib>
#include <map>

#include "../contract.h"
#include "mp3_decoder.h"
#include "mp3_frames.h"
#include "wave_output.h"

using namespace bass_windows;

namespace {

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
    const bass_contract::Output output = bass_contract::DeviceOutput(device);
    if (state.open || output == bass_contract::Output::Absent ||
        !bass_contract::UsableFrequency(freq)) {
        return FALSE;
    }
    const bool silent = output == bass_contract::Output::Silent;
    if (!PrepareOutput() || !SetOutputFormat(PcmFormat(2, freq), silent)) {
        return FALSE;
    }
    state.silent = silent;
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
    const char* path = bass_contract::WholeFilePath(mem, file, offset, length);
    if (!state.open || path == nullptr) {
        return 0;
    }
    // A directory does not open without FILE_FLAG_BACKUP_SEMANTICS, so only files get through.
    const HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
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
