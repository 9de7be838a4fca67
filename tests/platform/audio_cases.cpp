// The audio contract of include/bass.h as a table: each row a call and the answer the contract
// gives, in an order that takes the output from closed to open, then streams from made to played.
#include <bass.h>

#include <string>

#include "cases.h"

namespace platform_cases {
namespace {

struct Row {
    const char* name;
    // Nonzero when the call succeeded.
    DWORD (*call)(const AudioFiles& files);
    bool succeeds;
};

HSTREAM Open(const std::string& path) {
    return BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
}

HSTREAM opened = 0;  // the stream the rows after it play

// clang-format off
const Row kRows[] = {
    {"a sound file before BASS_Init gives no stream", [](const AudioFiles& f) -> DWORD { return Open(f.sound); }, false},
    {"device 2 is absent",          [](const AudioFiles&) -> DWORD { return BASS_Init(2, 44100, 0, nullptr, nullptr); }, false},
    {"device -2 is absent",         [](const AudioFiles&) -> DWORD { return BASS_Init(-2, 44100, 0, nullptr, nullptr); }, false},
    {"0 Hz is refused",             [](const AudioFiles&) -> DWORD { return BASS_Init(0, 0, 0, nullptr, nullptr); }, false},
    {"384001 Hz is refused",        [](const AudioFiles&) -> DWORD { return BASS_Init(0, 384001, 0, nullptr, nullptr); }, false},
    {"device 0 opens at 44100 Hz",  [](const AudioFiles&) -> DWORD { return BASS_Init(0, 44100, 0, nullptr, nullptr); }, true},
    {"a second BASS_Init fails",    [](const AudioFiles&) -> DWORD { return BASS_Init(0, 44100, 0, nullptr, nullptr); }, false},
    {"a missing file",              [](const AudioFiles& f) -> DWORD { return Open(f.missing); }, false},
    {"a folder",                    [](const AudioFiles& f) -> DWORD { return Open(f.folder); }, false},
    {"a file that is not sound",    [](const AudioFiles& f) -> DWORD { return Open(f.notSound); }, false},
    {"a null path",                 [](const AudioFiles&) -> DWORD { return BASS_StreamCreateFile(FALSE, nullptr, 0, 0, 0); }, false},
    {"memory instead of a file",    [](const AudioFiles& f) -> DWORD { return BASS_StreamCreateFile(TRUE, f.sound.c_str(), 0, 16, 0); }, false},
    {"a part of a file (offset)",   [](const AudioFiles& f) -> DWORD { return BASS_StreamCreateFile(FALSE, f.sound.c_str(), 1, 0, 0); }, false},
    {"a part of a file (length)",   [](const AudioFiles& f) -> DWORD { return BASS_StreamCreateFile(FALSE, f.sound.c_str(), 0, 100, 0); }, false},
    {"a whole sound file",          [](const AudioFiles& f) -> DWORD { return opened = Open(f.sound); }, true},
    {"the same file again, a stream of its own", [](const AudioFiles& f) -> DWORD { const HSTREAM s = Open(f.sound); return s != 0 && s != opened; }, true},
    {"playing handle 0 fails",      [](const AudioFiles&) -> DWORD { return BASS_StreamPlay(0, FALSE, BASS_SAMPLE_LOOP); }, false},
    {"playing a handle never given fails", [](const AudioFiles&) -> DWORD { return BASS_StreamPlay(opened + 1000, FALSE, 0); }, false},
    {"the stream plays, looping",   [](const AudioFiles&) -> DWORD { return BASS_StreamPlay(opened, FALSE, BASS_SAMPLE_LOOP); }, true},
    {"and plays again, once",       [](const AudioFiles&) -> DWORD { return BASS_StreamPlay(opened, FALSE, 0); }, true},
};
// clang-format on

}  // namespace

std::vector<Outcome> RunAudioCases(const AudioFiles& files) {
    std::vector<Outcome> outcomes;
    for (const Row& row : kRows) {
        const bool succeeded = row.call(files) != 0;
        outcomes.push_back(Outcome{row.name, succeeded ? "succeeds" : "fails",
                                   row.succeeds ? "succeeds" : "fails"});
    }
    return outcomes;
}

}  // namespace platform_cases
