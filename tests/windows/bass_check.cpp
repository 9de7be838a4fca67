// Checks the Windows audio backend through its three calls, under Wine or on Windows.
//
//   bass_check api DIR               the calls' answers; DIR holds the MP3 files that
//                                    tests/windows/check_audio.sh makes with lame
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

void Check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    failures += ok ? 0 : 1;
}

HSTREAM Open(const std::string& path) {
    return BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
}

void Save(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

std::vector<unsigned char> Load(const std::string& path) {
    std::vector<unsigned char> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file != nullptr) {
        int c;
        while ((c = std::fgetc(file)) != EOF) {
            bytes.push_back(static_cast<unsigned char>(c));
        }
        std::fclose(file);
    }
    return bytes;
}

int Api(const std::string& dir) {
    const std::string stereo = dir + "\\tone44_stereo.mp3";  // MPEG-1, ID3v2 tag, Info frame
    const std::string mono = dir + "\\tone22_mono.mp3";      // MPEG-2
    const std::string low = dir + "\\tone8_mono.mp3";        // MPEG-2.5, no Info frame

    // Nothing opens or plays before the device is open.
    Check(Open(stereo) == 0, "a valid file before BASS_Init gives 0");
    Check(!BASS_StreamPlay(0, FALSE, BASS_SAMPLE_LOOP), "play of handle 0 before BASS_Init fails");
    Check(!BASS_Init(2, 44100, 0, nullptr, nullptr), "device 2 does not exist");
    Check(!BASS_Init(1, 0, 0, nullptr, nullptr), "frequency 0 is refused");
    Check(BASS_Init(1, 44100, 0, nullptr, nullptr), "the default output opens at 44100 Hz");
    Check(!BASS_Init(1, 44100, 0, nullptr, nullptr), "a second BASS_Init fails");

    // What is not an MP3 file gives 0.
    Check(Open(dir + "\\missing.mp3") == 0, "a missing file gives 0");
    Check(Open(dir) == 0, "a directory gives 0");
    Save(dir + "\\empty.mp3", {});
    Check(Open(dir + "\\empty.mp3") == 0, "an empty file gives 0");
    std::vector<unsigned char> text(5000);
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<unsigned char>("not a sound file\n"[i % 17]);
    }
    Save(dir + "\\text.mp3", text);
    Check(Open(dir + "\\text.mp3") == 0, "a text file gives 0");
    // Random bytes hold stray sync words; none is followed by a chain of frames.
    std::vector<unsigned char> noise(256 * 1024);
    unsigned state = 12345;
    for (unsigned char& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 16);
    }
    Save(dir + "\\noise.mp3", noise);
    Check(Open(dir + "\\noise.mp3") == 0, "random bytes give 0");
    Check(Open("NUL") == 0, "a character device gives 0");
    // 8 MiB that read as zeros: a file's end moved out without writing anything.
    const std::string zeros = dir + "\\zeros.mp3";
    const HANDLE file = CreateFileA(zeros.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = 8 << 20;
    Check(file != INVALID_HANDLE_VALUE && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) &&
              SetEndOfFile(file),
          "an 8 MiB file of zeros is made");
    CloseHandle(file);
    Check(Open(zeros) == 0, "a file of zeros gives 0");
    const std::vector<unsigned char> whole = Load(stereo);
    Check(whole.size() > 1000, "the stereo test file is readable");
    // The ID3v2 tag alone: its size is in bytes 6..9, seven bits each.
    const size_t tagSize = whole.size() > 10
                               ? 10 + (size_t{whole[6]} << 21) + (size_t{whole[7]} << 14) +
                                     (size_t{whole[8]} << 7) + whole[9]
                               : 0;
    Check(tagSize > 10 && tagSize < whole.size(), "the stereo test file starts with an ID3v2 tag");
    Save(dir + "\\tag_only.mp3",
         std::vector<unsigned char>(whole.begin(), whole.begin() + tagSize));
    Check(Open(dir + "\\tag_only.mp3") == 0, "an ID3v2 tag without frames gives 0");
    Check(BASS_StreamCreateFile(TRUE, whole.data(), 0, 0, 0) == 0, "streams from memory give 0");
    Check(BASS_StreamCreateFile(FALSE, stereo.c_str(), 16, 0, 0) == 0, "an offset gives 0");

    // MP3 files of all three MPEG versions open, also after leading junk.
    const HSTREAM first = Open(stereo);
    Check(first != 0, "MPEG-1 stereo with ID3v2 and Info frame opens");
    Check(Open(mono) != 0, "MPEG-2 mono opens");
    Check(Open(low) != 0, "MPEG-2.5 mono opens");
    std::vector<unsigned char> junk(text.begin(), text.begin() + 1000);
    junk.insert(junk.end(), whole.begin() + tagSize, whole.end());
    Save(dir + "\\junk_first.mp3", junk);
    const HSTREAM second = Open(dir + "\\junk_first.mp3");
    Check(second != 0, "frames after 1000 bytes of junk open");
    Check(first != second, "each stream has its own handle");
    // Cut off at 2/5 of its length, as a download that stopped: the frames it holds play.
    Save(dir + "\\truncated.mp3",
         std::vector<unsigned char>(whole.begin(), whole.begin() + whole.size() * 2 / 5));
    Check(Open(dir + "\\truncated.mp3") != 0, "the first 2/5 of a file opens");

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
    Check(!BASS_StreamPlay(0, FALSE, BASS_SAMPLE_LOOP), "and play of handle 0 fails");
    Check(BASS_Init(0, 44100, 0, nullptr, nullptr), "the no-sound device opens");
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, file, 0, 0, 0);
    Check(stream != 0, "on it a valid file opens");
    Check(BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP), "and plays");
    return failures;
}

int Play(const char* file, bool loop) {
    if (!BASS_Init(1, 44100, 0, nullptr, nullptr)) {
        std::printf("FAIL: BASS_Init\n");
        return 1;
    }
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, file, 0, 0, 0);
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
