// What the platform's own parts share with the host's hooks.
#pragma once

#include "platform/host.h"

namespace host {

// Called by Stop, before the video and SDL are shut down (used by the audio back end).
void AddStopHandler(void (*handler)());

// Makes the process's exit end the run as Stop does, for a program that never calls Stop (the
// piece itself): called when the video or the audio first comes up. The platform's state is made
// before main, so it is all still there when this runs at exit.
void StopAtExit();

// The record the audio back end keeps of the piece's calls (Start and Stop clear it).
AudioRecord& AudioRecordToFill();

}  // namespace host

// What the back end beneath the host gives it (sdl/ implements them).
namespace backend {

// Posts WM_CLOSE to every top-level window.
void CloseWindows();
// Whether the viewer has asked to end: a close signal, a window's close, a quit message, or Escape
// down or pressed since the piece last looked. Reads what SDL has seen, and takes nothing from the
// queue or the keys, so the piece's own loop still finds it all.
bool CloseAsked();
// Releases every window and context, and the video, as at the end of the process. Stop calls it
// after the stop handlers.
void Shutdown();

}  // namespace backend
