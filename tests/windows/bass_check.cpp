// Checks the Windows audio backend through its three calls, under Wine or on Windows.
//
//   bass_check api DIR               the audio contract's table (tests/platform/audio_cases.cpp)
//                                    on check_audio.sh's files in DIR
//   bass_check play FILE loop|once   plays FILE, prints "playing" once the play call has
//                                    returned, and exits once a file named "stop" appears in
//                                    the working folder (or after a minute)
//
// Exit code: the number of failed checks (api), or 0/1 (play).
#include <bass.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cases.h"

namespace {

HSTREAM Open(const std::string& path) {
    return BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "api") == 0) {
        const std::string dir = argv[2];
        std::string report;
        const int failures = platform_cases::Report(
            platform_cases::RunAudioCases(
                {dir + "\\tone44_stereo.mp3", dir + "\\text.mp3", dir + "\\missing.mp3", dir}),
            &report);
        std::fputs(report.c_str(), stdout);
        return failures;
    }
    if (argc == 4 && std::strcmp(argv[1], "play") == 0) {
        const HSTREAM stream = BASS_Init(1, 44100, 0, nullptr, nullptr) ? Open(argv[2]) : 0;
        const DWORD flags = std::strcmp(argv[3], "loop") == 0 ? BASS_SAMPLE_LOOP : 0;
        if (stream == 0 || !BASS_StreamPlay(stream, FALSE, flags)) {
            std::printf("FAIL: could not play %s\n", argv[2]);
            return 1;
        }
        std::printf("playing\n");
        std::fflush(stdout);
        // Played on until the listener has heard what it wants: a fixed time would race with
        // a listener slowed down by a busy machine.
        for (int waited = 0;
             waited < 60000 && GetFileAttributesA("stop") == INVALID_FILE_ATTRIBUTES; waited += 50)
            Sleep(50);
        return 0;
    }
    std::fprintf(stderr, "usage: bass_check api DIR | play FILE loop|once\n");
    return 2;
}
