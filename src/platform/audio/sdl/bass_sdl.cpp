// The audio library's three calls over SDL2_mixer: the output device is SDL's audio device opened
// through the mixer, a stream is a Mix_Music (decoded from its file while it plays, on SDL's audio
// thread), and playing it is Mix_PlayMusic. Everything here is called on the main thread.
//
// The calls keep the contract written in include/bass.h. The default output is the one the host
// chose (below); device 0 is SDL's dummy driver, which runs at the real rate and discards what it
// is given. The mixer plays one music at a time, as the contract has it.
#include <bass.h>

#include <SDL.h>
#include <SDL_mixer.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "platform/host.h"
#include "platform/host_internal.h"
#include "platform/probe.h"
#include "../contract.h"

namespace {

// The output buffer in sample frames. On the default output the play call returns as the music's
// first buffer starts to play, or one buffer (23 ms at 44.1 kHz) before it. Smaller buffers
// run dry while the piece's software rendering keeps every core busy: with 256 frames, a run
// on two loaded cores recorded about 300 dropouts (1.5 to 3.6 s of silence) before the strobe at
// 31 s, against 8 with 1024 (bench/av_offset.sh counts them).
constexpr int kBufferFrames = 1024;

// How long a play call on the default output waits for the output to take the music. A sound
// server may hold a new stream's first buffer before it starts (PulseAudio held SDL's for 0.6 to
// 2 s here); the piece starts its clock when the play call returns, so waiting keeps the picture
// on the sound. Past this the piece starts anyway. A close or Escape ends the wait at once, so
// every way out still ends the piece in time.
constexpr std::chrono::milliseconds kStartWait{3000};
constexpr std::chrono::milliseconds kStartPoll{10};

// How long closing the output may take. Closing joins SDL's audio thread, which a sound server
// that stopped answering (PulseAudio under SIGSTOP) holds for ever; past this the device is left
// open: closing happens as the process ends or the host starts afresh, and neither may hang.
constexpr std::chrono::milliseconds kCloseWait{750};

struct AudioState {
    bool open = false;          // SDL's audio and the mixer are up (a successful BASS_Init)
    bool abandoned = false;     // closing took too long and was left to finish by itself
    bool handlerAdded = false;  // the host closes us on Stop and at exit
    bool setDiskFile = false;   // we set SDL_DISKAUDIOFILE and restore it on shutdown
    bool hadDiskFile = false;
    std::string previousDiskFile;
    std::map<HSTREAM, Mix_Music*> streams;
    HSTREAM nextHandle = 0x80000001u;
    bool waitsForOutput = false;  // the default output is open: a play call waits for it to start
};

// Buffers mixed with music playing, counted on SDL's audio thread for a play call that waits.
struct Mixed {
    std::mutex mutex;
    std::condition_variable more;
    int musicBuffers = 0;
};
Mixed mixed;

// After every buffer the mixer fills. The audio thread holds the device's lock here, so the music
// cannot start or stop within a buffer: playing now means it played in this buffer.
void CountMusicBuffers(void* /*unused*/, Uint8* /*stream*/, int /*length*/) {
    if (Mix_PlayingMusic()) {
        std::lock_guard<std::mutex> lock(mixed.mutex);
        ++mixed.musicBuffers;
        mixed.more.notify_all();
    }
}

// Waits until the output has taken the music's first buffer and asked for the one after it: then
// the music's first sample is being heard, or follows what is (one buffer at most). SDL asks for
// the next buffer once the sound server has room for it, so the second music buffer is mixed as
// the first starts to play. At most kStartWait (said on stderr), or until the viewer asks to end.
void WaitForOutputToStart() {
    const auto until = std::chrono::steady_clock::now() + kStartWait;
    std::unique_lock<std::mutex> lock(mixed.mutex);
    while (!mixed.more.wait_for(lock, kStartPoll, [] { return mixed.musicBuffers >= 2; })) {
        lock.unlock();
        const bool asked = backend::CloseAsked();
        lock.lock();
        if (asked) {
            return;
        }
        if (std::chrono::steady_clock::now() >= until) {
            std::fprintf(stderr,
                         "sound: the output has not started after %d s; the picture starts "
                         "without it\n",
                         static_cast<int>(kStartWait.count() / 1000));
            return;
        }
    }
}

// Made before main: the run's ending at exit (host::StopAtExit) finds it still there.
AudioState audioState;

AudioState& State() {
    return audioState;
}

void CloseOutput(const std::map<HSTREAM, Mix_Music*>& streams) {
    Mix_HaltMusic();
    for (auto& stream : streams) {
        Mix_FreeMusic(stream.second);
    }
    Mix_CloseAudio();
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// Closes the output on a thread of its own and waits for it at most kCloseWait. False when it
// has not finished: the thread is left waiting, and the output counts as open for good.
bool CloseOutputInTime(AudioState& state) {
    struct Closing {
        std::mutex mutex;
        std::condition_variable done;
        bool closed = false;
    };
    auto closing = std::make_shared<Closing>();
    // The thread takes the streams with it: it may outlive everything here.
    std::map<HSTREAM, Mix_Music*> streams;
    streams.swap(state.streams);
    std::thread worker;
    try {
        worker = std::thread([closing, streams] {
            CloseOutput(streams);
            std::lock_guard<std::mutex> lock(closing->mutex);
            closing->closed = true;
            closing->done.notify_all();
        });
    } catch (const std::system_error&) {
        CloseOutput(streams);  // no thread to be had: close here
        return true;
    }
    std::unique_lock<std::mutex> lock(closing->mutex);
    const bool closed = closing->done.wait_for(lock, kCloseWait, [&] { return closing->closed; });
    lock.unlock();
    // A thread that finished is joined, so that none is still ending when the process does (a
    // leak check at exit cannot stop a thread that is half gone); one that hangs is left to it.
    if (closed) {
        worker.join();
    } else {
        worker.detach();
    }
    return closed;
}

// Frees every stream and closes the mixer and SDL's audio, so that a later BASS_Init starts as in
// a fresh process. Runs from host::Stop and at process exit, before SDL itself is shut down.
void ShutdownAudio() {
    AudioState& state = State();
    if (state.open && !state.abandoned) {
        if (CloseOutputInTime(state)) {
            state.open = false;
        } else {
            state.abandoned = true;
        }
    }
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    if (state.setDiskFile) {
        if (state.hadDiskFile) {
            setenv("SDL_DISKAUDIOFILE", state.previousDiskFile.c_str(), 1);
        } else {
            unsetenv("SDL_DISKAUDIOFILE");
        }
        state.setDiskFile = false;
    }
}

// Points SDL's audio at the output the host asked for. False when there is to be none.
bool ChooseDriver(bass_contract::Output output) {
    const host::Options& options = host::Current();
    if (options.audio == host::Audio::None) {
        return false;
    }
    // Device 0 and the host's silent output both discard the sound at the real rate.
    if (output == bass_contract::Output::Silent || options.audio == host::Audio::Silent) {
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        return true;
    }
    if (options.audio == host::Audio::Disk) {
        // SDL's disk driver takes its file name from its own variable, read when the device opens.
        AudioState& state = State();
        if (!state.setDiskFile) {
            const char* previous = std::getenv("SDL_DISKAUDIOFILE");
            state.hadDiskFile = previous != nullptr;
            state.previousDiskFile = previous ? previous : "";
            state.setDiskFile = true;
        }
        setenv("SDL_DISKAUDIOFILE", options.diskAudioFile.c_str(), 1);
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "disk", SDL_HINT_OVERRIDE);
        return true;
    }
    // The default output: whatever SDL picks on this desktop, as any SDL program gets.
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    return true;
}

// A path that names a regular file this process can read; the decoder is not asked about
// anything else (a directory opens for reading on Linux but yields nothing).
bool IsReadableFile(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode) && access(path, R_OK) == 0;
}

}  // namespace

// Opens the output device at `freq` Hz, 16-bit stereo, with a small buffer so that sound starts
// soon after a play call. Fails when the device is unknown or absent, or already open.
BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD /*flags*/, HWND /*win*/,
                      const GUID* /*clsid*/) {
    if (probe::Enter("BASS_Init",
                     [&] { return std::to_string(device) + " " + std::to_string(freq); })) {
        return FALSE;
    }
    AudioState& state = State();
    if (state.open) {
        return FALSE;
    }
    const bass_contract::Output output = bass_contract::DeviceOutput(device);
    if (output == bass_contract::Output::Absent || !bass_contract::UsableFrequency(freq)) {
        return FALSE;
    }
    if (!state.handlerAdded) {
        host::AddStopHandler(&ShutdownAudio);
        host::StopAtExit();
        state.handlerAdded = true;
    }
    if (!ChooseDriver(output)) {
        return FALSE;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        ShutdownAudio();
        return FALSE;
    }
    // Without MP3 support the output still opens; opening a stream then fails on its own.
    Mix_Init(MIX_INIT_MP3);
    // No format changes allowed: SDL converts to whatever the device takes, so the mix (and a
    // disk recording) is exactly `freq` Hz, 16-bit, stereo.
    if (Mix_OpenAudioDevice(static_cast<int>(freq), AUDIO_S16SYS, 2, kBufferFrames, nullptr, 0) !=
        0) {
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        ShutdownAudio();
        return FALSE;
    }
    // What ChooseDriver left to SDL's own choice: a real output, which may be slow to start.
    state.waitsForOutput =
        output != bass_contract::Output::Silent && host::Current().audio == host::Audio::Device;
    if (state.waitsForOutput) {
        Mix_SetPostMix(&CountMusicBuffers, nullptr);
    }
    state.open = true;
    host::AudioRecordToFill().outputOpen = true;
    return TRUE;
}

// Opens a sound file as a stream, decoded as it plays. Only whole files named by a path are
// offered (`mem` FALSE, offset and length 0). 0 before BASS_Init, and for a file that is missing,
// unreadable, not a regular file, or not audio the decoder can read.
HSTREAM WINAPI BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length,
                                     DWORD /*flags*/) {
    const char* path = bass_contract::WholeFilePath(mem, file, offset, length);
    if (probe::Enter("BASS_StreamCreateFile", [&] { return std::string(path ? path : ""); })) {
        return 0;
    }
    AudioState& state = State();
    host::AudioRecord& record = host::AudioRecordToFill();
    record.file = path ? path : "";
    using Stream = host::AudioRecord::Stream;
    if (!state.open) {
        record.stream = Stream::NoOutput;
        return 0;
    }
    if (path == nullptr || !IsReadableFile(path)) {
        record.stream = Stream::Unreadable;
        return 0;
    }
    Mix_Music* music = Mix_LoadMUS(path);
    if (music == nullptr) {
        record.stream = Stream::NotSound;
        return 0;
    }
    record.stream = Stream::Opened;
    const HSTREAM handle = state.nextHandle++;
    state.streams[handle] = music;
    return handle;
}

// Plays a stream from its beginning, over again each time it ends with BASS_SAMPLE_LOOP, and
// once without. FALSE for a handle that names no stream.
BOOL WINAPI BASS_StreamPlay(HSTREAM handle, BOOL /*flush*/, DWORD flags) {
    if (probe::Enter("BASS_StreamPlay",
                     [&] { return std::to_string(handle) + " " + std::to_string(flags); })) {
        return FALSE;
    }
    AudioState& state = State();
    const auto stream = state.streams.find(handle);
    if (!state.open || stream == state.streams.end()) {
        return FALSE;
    }
    const int loops = (flags & BASS_SAMPLE_LOOP) ? -1 : 1;
    {
        std::lock_guard<std::mutex> lock(mixed.mutex);
        mixed.musicBuffers = 0;
    }
    if (Mix_PlayMusic(stream->second, loops) != 0) {
        return FALSE;
    }
    if (state.waitsForOutput) {
        WaitForOutputToStart();
    }
    host::AudioRecordToFill().playing = true;
    return TRUE;
}
