// The audio library's three calls over Web Audio, keeping the contract written in
// include/bass.h: the output is an AudioContext, a stream is the whole file fetched from beside
// the page and decoded, and playing it starts a buffer source from its beginning, looping when
// asked. A still, and device 0, are silent: the output accepts everything and plays nothing, but
// the file is still fetched and decoded, so a missing one is reported as live.
//
// Playing returns when the first sample is heard, as the contract has it: the browser's reported
// output latency later than the start, so that the timeline's zero is the moment the viewer hears
// it. On iOS the output is declared media playback, which sounds with the ringer switched off.
#include <bass.h>
#include <emscripten.h>

#include "../contract.h"

// clang-format off
EM_JS(int, AudioInit, (int silent), {
    const page = Module.page;
    try {
        silent = silent || !!page.still;
        if (!silent && navigator.audioSession) navigator.audioSession.type = "playback";
        page.audio = {context: silent ? new OfflineAudioContext(2, 1, 44100) : new AudioContext(),
                      streams: [], silent: silent};
        return 1;
    } catch (e) {
        return 0;
    }
});

EM_ASYNC_JS(HSTREAM, AudioOpen, (const char* file), {
    const audio = Module.page.audio;
    try {
        const response = await fetch(UTF8ToString(file));
        if (!response.ok) return 0;
        audio.streams.push(await audio.context.decodeAudioData(await response.arrayBuffer()));
        return audio.streams.length;
    } catch (e) {
        return 0;
    }
});

// Waits (briefly) for the output to run, then until its first sample is heard. That moment is
// taken from the output's own timestamp (a context time and the page time it left the speakers),
// else from the start plus the output and base latencies, else it is the start itself; anything
// past a second is no measurement.
EM_ASYNC_JS(int, AudioPlay, (HSTREAM handle, int loop), {
    const audio = Module.page.audio, buffer = audio.streams[handle - 1];
    if (!buffer) return 0;
    if (audio.source) audio.source.stop();
    audio.source = null;
    if (audio.silent) return 1;
    const source = audio.source = audio.context.createBufferSource();
    source.buffer = buffer;
    source.loop = !!loop;
    source.connect(audio.context.destination);
    if (audio.context.state !== "running") {
        await Promise.race([audio.context.resume(), new Promise(done => setTimeout(done, 1000))]);
    }
    const when = audio.context.currentTime, now = performance.now();
    source.start(when);
    audio.started = now;
    const context = audio.context, stamp = context.getOutputTimestamp && context.getOutputTimestamp();
    let heard = now;
    if (stamp && stamp.contextTime > 0 && stamp.performanceTime > 0) {
        heard = stamp.performanceTime + (when - stamp.contextTime) * 1000;
    } else if (context.outputLatency > 0 || context.baseLatency > 0) {
        heard = now + ((context.outputLatency || 0) + (context.baseLatency || 0)) * 1000;
    }
    audio.heard = Math.min(now + 1000, Math.max(now, heard));
    // A timer may fire within the millisecond before its time (its delay is whole milliseconds),
    // and the clock must not start before the sound is heard.
    while (performance.now() < audio.heard) {
        await new Promise(done => setTimeout(done, Math.ceil(audio.heard - performance.now())));
    }
    return 1;
});
// clang-format on

namespace {
bool initialised = false;
}

extern "C" {

BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD, HWND, const GUID*) {
    const bass_contract::Output output = bass_contract::DeviceOutput(device);
    if (initialised || output == bass_contract::Output::Absent ||
        !bass_contract::UsableFrequency(freq)) {
        return FALSE;
    }
    initialised = AudioInit(output == bass_contract::Output::Silent) != 0;
    return initialised ? TRUE : FALSE;
}

HSTREAM WINAPI BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length,
                                     DWORD) {
    const char* path = bass_contract::WholeFilePath(mem, file, offset, length);
    if (!initialised || path == nullptr) {
        return 0;
    }
    return AudioOpen(path);
}

BOOL WINAPI BASS_StreamPlay(HSTREAM handle, BOOL, DWORD flags) {
    if (!initialised || handle == 0) {
        return FALSE;
    }
    return AudioPlay(handle, (flags & BASS_SAMPLE_LOOP) != 0) ? TRUE : FALSE;
}

}  // extern "C"
