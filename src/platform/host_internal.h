// What the platform's own parts share with the host's hooks.
#pragma once

namespace host {

// Called by Reset and at process exit, before SDL is shut down (used by the audio backend).
void AddShutdownHandler(void (*handler)());

}  // namespace host
