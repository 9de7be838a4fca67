// Plays a file through the Windows audio backend, under Wine or on Windows (the calls' answers:
// the audio contract's table, in platform_check.cpp).
//
//   bass_check play FILE loop|once   plays FILE, prints "playing" once the play call has
//                                    returned, and exits 0 once a file named "stop" appears in
//                                    the working folder (or after a minute); 1 if it cannot play
#include <bass.h>

#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "play") == 0) {
        const HSTREAM stream = BASS_Init(1, 44100, 0, nullptr, nullptr)
                                   ? BASS_StreamCreateFile(FALSE, argv[2], 0, 0, 0)
                                   : 0;
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
    std::fprintf(stderr, "usage: bass_check play FILE loop|once\n");
    return 2;
}
