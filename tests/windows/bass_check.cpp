// Checks the Windows audio backend through its three calls, under Wine or on Windows.
//
//   bass_check api DIR               the calls' answers; DIR holds the MP3 files that
//                                    check_audio.sh makes with lame
//   bass_check nodevice FILE         the answers when the system has no audio device; FILE is a
//                                    good MP3
//   bass_check play FILE loop|once   plays FILE on the default output, prints "playing" once the
//                                    play call has returned, and exits after 3.5 s
//
// Exit code: the number of failed checks (api, nodevice), or 0/1 (play).
#include <bass.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what.c_str());
    failures += ok ? 0 : 1;
}

HSTREAM Open(const std::string& path) {
    return BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
}

std::string Save(const std::string& path, const std::vector<unsigned char>& bytes) {
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return path;
}

std::vector<unsigned char> Load(const std::string& path) {
    std::vector<unsigned char> bytes(1 << 20);
    FILE* file = std::fopen(path.c_str(), "rb");
    bytes.resize(file != nullptr ? std::fread(bytes.data(), 1, bytes.size(), file) : 0);
    if (file != nullptr)
        std::fclose(file);
    return bytes;
}

int Api(const std::string& dir) {
    const std::string stereo = dir + "\\tone44_stereo.mp3";  // MPEG-1, ID3v2 tag, Info frame
    // Nothing opens or plays before the device is open; devices other than 0 and 1 do not exist.
    Check(Open(stereo) == 0, "a valid file before BASS_Init gives 0");
    Check(!BASS_StreamPlay(0, FALSE, BASS_SAMPLE_LOOP), "play of handle 0 before BASS_Init fails");
    Check(!BASS_Init(2, 44100, 0, nullptr, nullptr), "device 2 does not exist");
    Check(!BASS_Init(1, 0, 0, nullptr, nullptr), "frequency 0 is refused");
    Check(BASS_Init(1, 44100, 0, nullptr, nullptr), "the default output opens at 44100 Hz");
    Check(!BASS_Init(1, 44100, 0, nullptr, nullptr), "a second BASS_Init fails");

    const std::vector<unsigned char> whole = Load(stereo);
    // The ID3v2 tag: its size is in bytes 6..9, seven bits each.
    const size_t tag = whole.size() > 10
                           ? 10 + (size_t{whole[6]} << 21) + (size_t{whole[7]} << 14) +
                                 (size_t{whole[8]} << 7) + whole[9]
                           : 0;
    Check(tag > 10 && tag < whole.size(), "the stereo test file starts with an ID3v2 tag");
    std::vector<unsigned char> text(5000), noise(256 * 1024);
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<unsigned char>("not a sound file\n"[i % 17]);
    }
    // Random bytes hold stray sync words; none is followed by a chain of frames.
    unsigned state = 12345;
    for (unsigned char& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 16);
    }
    // 8 MiB that read as zeros: a file's end moved out without writing anything.
    const std::string zeros = dir + "\\zeros.mp3";
    const HANDLE file = CreateFileA(zeros.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = 8 << 20;
    SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    std::vector<unsigned char> junk(text.begin(), text.begin() + 1000);
    junk.insert(junk.end(), whole.begin() + static_cast<long>(tag), whole.end());
    const struct {
        std::string path;
        bool opens;
    } files[] = {
        {dir + "\\missing.mp3", false},
        {dir, false},
        {Save(dir + "\\empty.mp3", {}), false},
        {Save(dir + "\\text.mp3", text), false},
        {Save(dir + "\\noise.mp3", noise), false},
        {"NUL", false},
        {zeros, false},
        {Save(dir + "\\tag_only.mp3", {whole.begin(), whole.begin() + static_cast<long>(tag)}),
         false},
        {stereo, true},
        {dir + "\\tone22_mono.mp3", true},  // MPEG-2
        {dir + "\\tone8_mono.mp3", true},   // MPEG-2.5, no Info frame
        {Save(dir + "\\junk_first.mp3", junk), true},
        // Cut off at 2/5 of its length, as a download that stopped: the frames it holds play.
        {Save(dir + "\\truncated.mp3",
              {whole.begin(), whole.begin() + static_cast<long>(whole.size() * 2 / 5)}),
         true},
    };
    for (const auto& f : files) {
        Check((Open(f.path) != 0) == f.opens, f.path + (f.opens ? " opens" : " gives 0"));
    }
    Check(BASS_StreamCreateFile(TRUE, whole.data(), 0, 0, 0) == 0, "streams from memory give 0");
    Check(BASS_StreamCreateFile(FALSE, stereo.c_str(), 16, 0, 0) == 0, "an offset gives 0");

    const HSTREAM first = Open(stereo), second = Open(stereo);
    Check(first != 0 && first != second, "each stream has its own handle");
    Check(!BASS_StreamPlay(0, FALSE, BASS_SAMPLE_LOOP), "play of handle 0 fails");
    Check(!BASS_StreamPlay(first + 1000, FALSE, 0), "play of an unknown handle fails");
    Check(BASS_StreamPlay(first, FALSE, BASS_SAMPLE_LOOP), "play of a stream succeeds");
    Check(BASS_StreamPlay(second, FALSE, 0), "playing another stream succeeds");
    return failures;
}

// With no audio device the output does not open, so nothing opens or plays; the no-sound device
// 0 still works.
int NoDevice(const char* file) {
    Check(!BASS_Init(1, 44100, 0, nullptr, nullptr), "the default output does not open");
    Check(BASS_StreamCreateFile(FALSE, file, 0, 0, 0) == 0, "so a valid file gives 0");
    Check(BASS_Init(0, 44100, 0, nullptr, nullptr), "the no-sound device opens");
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, file, 0, 0, 0);
    Check(stream != 0 && BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP),
          "on it a valid file opens and plays");
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
    if (argc == 3 && std::strcmp(argv[1], "nodevice") == 0) {
        return NoDevice(argv[2]);
    }
    if (argc == 4 && std::strcmp(argv[1], "play") == 0) {
        return Play(argv[2], std::strcmp(argv[3], "loop") == 0);
    }
    std::fprintf(stderr, "usage: bass_check api DIR | nodevice FILE | play FILE loop|once\n");
    return 2;
}
