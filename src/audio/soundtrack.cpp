#include "soundtrack.h"

#include "soundtrack_file.h"

HSTREAM StartSoundtrack() {
    if (!BASS_Init(kSoundtrackDevice, kSoundtrackRate, 0, nullptr, nullptr)) {
        MessageBoxA(nullptr, "No Init", "Error", MB_OK);
    }
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, kSoundtrackFile, 0, 0, 0);
    if (stream == 0) {
        MessageBoxA(nullptr, "Kan ikke spille sang", "Feil!", MB_OK);
    }
    // Played whatever the handle is; a failure here only means silence.
    BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);
    return stream;
}
