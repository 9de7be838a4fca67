// The soundtrack the piece plays: the file it opens by its relative name from the working
// directory, and the output it asks for: device 1, the first real output, at 44.1 kHz. The
// programs around the piece take them from here (the stand-in soundtrack is made at this rate
// under this name; the capture cuts the sound at this rate).
#pragma once

const char kSoundtrackFile[] = "brumlevo.mp3";
const int kSoundtrackDevice = 1;
const int kSoundtrackRate = 44100;
