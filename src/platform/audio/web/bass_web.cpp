// The audio library's three calls over Web Audio: the output is an AudioContext, a stream is the
// whole file fetched from beside the page and decoded, and playing it starts a buffer source from
// its beginning, looping when asked. A still is silent: its output accepts everything and plays
// nothing, but the file is still fetched and decoded, so a missing one is reported as live.
#include <bass.h>
#include <emscripten.h>

// clang-format off
EM_JS(int, AudioInit, (), {
    const page = Module.page;
    try {
        page.audio = {context: page.still ? new OfflineAudioContext(2, 1, 44100) : new AudioContext(),
                      streams: []};
        return 1;
    } catch (e) {
        return 0;
    }
});

EM_ASYNC_JS(HSTREAM, AudioOpen, (const char* file, DWORD offset, DWORD length), {
    const audio = Module.page.audio;
    try {
        const response = await fetch(UTF8ToString(file));
        if (!response.ok) return 0;
        const bytes = await response.arrayBuffer();
        const end = length ? offset + length : bytes.byteLength;
        audio.streams.push(await audio.context.decodeAudioData(bytes.slice(offset, end)));
        return audio.streams.length;
    } catch (e) {
        return 0;
    }
});

// Waits (briefly) for the output to run, so that the timeline's zero is when the sound starts.
EM_ASYNC_JS(int, AudioPlay, (HSTREAM handle, int loop), {
    const page = Module.page, audio = page.audio, buffer = audio.streams[handle - 1];
    if (!buffer) return 0;
    if (page.still) return 1;
    const source = audio.source = audio.context.createBufferSource();
    source.buffer = buffer;
    source.loop = !!loop;
    source.connect(audio.context.destination);
    if (audio.context.state !== "running") {
        await Promise.race([audio.context.resume(), new Promise(done => setTimeout(done, 1000))]);
    }
    source.start();
    return 1;
});
// clang-format on

namespace {
bool initialised = false;
}

extern "C" {

BOOL WINAPI BASS_Init(int device, DWORD, DWORD, HWND, const GUID*) {
    initialised = (device == 1 || device == -1) && AudioInit() != 0;
    return initialised ? TRUE : FALSE;
}

HSTREAM WINAPI BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length,
                                     DWORD) {
    if (!initialised || mem || file == nullptr) {
        return 0;
    }
    return AudioOpen(static_cast<const char*>(file), offset, length);
}

BOOL WINAPI BASS_StreamPlay(HSTREAM handle, BOOL, DWORD flags) {
    if (!initialised || handle == 0) {
        return FALSE;
    }
    return AudioPlay(handle, (flags & BASS_SAMPLE_LOOP) != 0) ? TRUE : FALSE;
}

}  // extern "C"
