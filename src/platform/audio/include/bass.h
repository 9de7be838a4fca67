/*
 * The three calls of the audio library that the piece makes, with the library's names, types and
 * flag values. Three back ends implement them side by side: sdl/ (SDL2_mixer, on Linux),
 * windows/ (waveOut and the system's MP3 codec) and web/ (Web Audio). All three keep this
 * contract, and the table in tests/platform/audio_cases.cpp checks it against each of them.
 *
 * BASS_Init(device, freq, ...) opens the output. Devices: -1 the default output, 1 the first real
 * output (the default one here too), 0 "no sound": an output that takes streams and plays them
 * at the real rate, silently. Any other device fails, as an absent one does; so does a freq
 * outside 1 to 384000 Hz, a second BASS_Init while the output is open, and an output the host
 * cannot open. Nonzero on success.
 *
 * BASS_StreamCreateFile(mem, file, offset, length, flags) opens a whole sound file named by a
 * zero-terminated path (mem FALSE, offset and length 0) as a stream, decoded as it plays. 0 for
 * anything else, before a successful BASS_Init, and for a file that is missing, unreadable, not a
 * regular file or not sound the back end can decode. Otherwise a nonzero handle.
 *
 * BASS_StreamPlay(handle, flush, flags) plays the stream from its beginning, over again each time
 * it ends with BASS_SAMPLE_LOOP, once without. One stream plays at a time: playing one stops the
 * one before. FALSE for a handle that names no stream (0 among them). Nonzero on success.
 */
#ifndef FLIMREVO_PLATFORM_BASS_H
#define FLIMREVO_PLATFORM_BASS_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef DWORD HSTREAM;

#define BASS_SAMPLE_LOOP 4

BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const GUID* clsid);
HSTREAM WINAPI BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length,
                                     DWORD flags);
BOOL WINAPI BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD flags);

#ifdef __cplusplus
}
#endif

#endif /* FLIMREVO_PLATFORM_BASS_H */
