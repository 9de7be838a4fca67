// Opens the audio output and the soundtrack, and starts it looping. Failures show a box and the
// run goes on in silence. Returns the stream handle (0 when the soundtrack could not be opened).
#pragma once

#include <bass.h>

HSTREAM StartSoundtrack();
