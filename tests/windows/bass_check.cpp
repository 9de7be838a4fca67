// Checks the Windows audio backend through its three calls, under Wine or on Windows.
//
//   bass_check api DIR               the answers the piece relies on; DIR holds check_audio.sh's
//                                    files
//   bass_check play FILE loop|once   plays FILE, prints "playing" once the play call has
//                                    returned, and exits after 3.5 s
//
// Exit code: the number of failed checks (api), or 0/1 (play).
#include <bass.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    failures += ok ? 0 : 1;
}

HSTREAM Open(const std::string& path) {
    return BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "api") == 0) {
        const std::string dir = std::string(argv[2]) + "\\";
        Check(Open(dir + "tone44_stereo.mp3") == 0, "a valid file before BASS_Init gives 0");
        Check(BASS_Init(1, 44100, 0, nullptr, nullptr), "the default output opens at 44100 Hz");
        Check(Open(dir + "missing.mp3") == 0, "a missing file gives 0");
        Check(Open(dir + "text.mp3") == 0, "text with no chain of MPEG frames gives 0");
        Check(!BASS_StreamPlay(0, FALSE, BASS_SAMPLE_LOOP), "play of handle 0 fails");
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
        Sleep(3500);
        return 0;
    }
    std::fprintf(stderr, "usage: bass_check api DIR | play FILE loop|once\n");
    return 2;
}
