// Checks the Windows audio backend through its three calls, under Wine or on Windows.
//
//   bass_check api DIR               the calls' answers on good and bad files; DIR holds the
//                                    tones that check_audio.sh makes
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

void Check(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what.c_str());
    failures += ok ? 0 : 1;
}

HSTREAM Open(const std::string& path) {
    return BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
}

int Api(const std::string& dir) {
    const std::string stereo = dir + "\\tone44_stereo.mp3";
    Check(Open(stereo) == 0, "a valid file before BASS_Init gives 0");
    Check(!BASS_Init(2, 44100, 0, nullptr, nullptr), "device 2 does not exist");
    Check(BASS_Init(1, 44100, 0, nullptr, nullptr), "the default output opens at 44100 Hz");
    // Text with no chain of MPEG frames in it does not open.
    if (FILE* file = std::fopen((dir + "\\text.mp3").c_str(), "wb")) {
        for (int i = 0; i < 300; ++i)
            std::fputs("not a sound file\n", file);
        std::fclose(file);
    }
    const struct {
        const char* name;
        bool opens;
    } files[] = {{"missing.mp3", false},
                 {"text.mp3", false},
                 {"tone44_stereo.mp3", true},
                 {"tone22_mono.mp3", true},
                 {"tone8_mono.mp3", true}};
    for (const auto& f : files) {
        Check((Open(dir + "\\" + f.name) != 0) == f.opens,
              std::string(f.name) + (f.opens ? " opens" : " gives 0"));
    }
    const HSTREAM first = Open(stereo);
    Check(!BASS_StreamPlay(first + 1000, FALSE, 0), "play of an unknown handle fails");
    Check(BASS_StreamPlay(first, FALSE, BASS_SAMPLE_LOOP), "play of a stream succeeds");
    return failures;
}

int Play(const char* file, bool loop) {
    const HSTREAM stream =
        BASS_Init(1, 44100, 0, nullptr, nullptr) ? BASS_StreamCreateFile(FALSE, file, 0, 0, 0) : 0;
    if (stream == 0 || !BASS_StreamPlay(stream, FALSE, loop ? BASS_SAMPLE_LOOP : 0)) {
        std::printf("FAIL: could not play %s\n", file);
        return 1;
    }
    std::printf("playing\n");
    std::fflush(stdout);
    Sleep(3500);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "api") == 0) {
        return Api(argv[2]);
    }
    if (argc == 4 && std::strcmp(argv[1], "play") == 0) {
        return Play(argv[2], std::strcmp(argv[3], "loop") == 0);
    }
    std::fprintf(stderr, "usage: bass_check api DIR | play FILE loop|once\n");
    return 2;
}
