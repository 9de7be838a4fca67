/*
 * The three calls of the audio library that the piece makes, with the library's names, types and
 * flag values. Implemented over SDL2_mixer on Linux and over the system's own audio on Windows.
 */
#ifndef FLIMREVO_PLATFORM_BASS_H
#define FLIMREVO_PLATFORM_BASS_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef DWORD HSTREAM;

#define BASS_SAMPLE_LOOP 4

/* Opens output device `device` (1: the default output) at `freq` Hz. Nonzero on success. */
BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const GUID* clsid);

/* Opens `file` (a zero-terminated path unless `mem`) as a stream. 0 when the file is missing,
 * unreadable or not audio, and before a successful BASS_Init. */
HSTREAM WINAPI BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length,
                                     DWORD flags);

/* Plays the stream from its beginning, looping with BASS_SAMPLE_LOOP. Nonzero on success. */
BOOL WINAPI BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD flags);

#ifdef __cplusplus
}
#endif

#endif /* FLIMREVO_PLATFORM_BASS_H */
