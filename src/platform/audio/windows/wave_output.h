// Where the sound goes: the waveOut device (winmm) on the wave mapper, which is the user's default
// output, fed by a player thread of its own that decodes a stream and keeps about 300 ms queued.
// With the no-sound output the player still decodes, at the real rate, and discards the sound.
// One stream plays at a time.
#pragma once

#include <windows.h>

#include "mp3_decoder.h"
#include "mp3_frames.h"

namespace bass_windows {

// Creates what the player and the device signal each other with. False when it cannot.
bool PrepareOutput();

// Gets the output ready for 16-bit PCM in `format`: the no-sound output (`silent`) takes any
// format; the device is opened, or reopened where its format differs, and stays as it was when
// the new one cannot be opened.
bool SetOutputFormat(const WAVEFORMATEX& format, bool silent);

// Plays `stream` from its start, over again at its end when `loop`, on a thread of its own that
// takes `decoder` (opened) over, also when it cannot start.
bool StartPlayer(const Stream& stream, Decoder* decoder, bool loop);

// Stops the player, if one runs.
void StopPlayer();

// Stops the player and closes the device, so that nothing still plays while the process exits.
void CloseOutput();

}  // namespace bass_windows
