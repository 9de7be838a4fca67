// flimrevo-soundtrack: writes the stand-in soundtrack under the piece's name for it
// (kSoundtrackFile) in the working directory, or to the path given as the one argument.
#include <cstdio>
#include <string>

#include "mp3_encoder.h"
#include "synth.h"

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: %s [output.mp3]\n", argv[0]);
        return 2;
    }
    const std::string path = argc == 2 ? argv[1] : kSoundtrackFile;
    std::string error;
    soundtrack::Mp3Settings settings;
    settings.sampleRate = soundtrack::kSampleRate;
    if (!soundtrack::EncodeMp3(soundtrack::SynthesiseSoundtrack(), path, settings, &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
        return 1;
    }
    return 0;
}
