// The audio contract of include/bass.h as a table: each row a call and the answer the contract
// gives, in an order that takes the output from closed to open, then streams from made to played.
#include <bass.h>

#include <string>

#include "cases.h"

namespace platform_cases {
namespace {

// Rows are data, and the runner calls the audio functions directly: in the browser the stream's
// opening waits on the page, which only a direct call may do.
enum class Call { Init, Open, Play };
enum class File { None, Sound, NotSound, Missing, Folder };
// Opened: the first stream made; Second: the one made after it.
enum class Handle { Zero, Unknown, Opened, Second };

struct Row {
    const char* name;
    Call call;
    int device;            // Init
    DWORD freq;            // Init
    File file;             // Open
    BOOL mem;              // Open
    DWORD offset, length;  // Open
    Handle handle;         // Play
    DWORD flags;           // Play
    bool succeeds;
};

// clang-format off
const Row kRows[] = {
    // name                                     call         device freq    file             mem    off len  handle           flags             succeeds
    {"a sound file before BASS_Init",           Call::Open,  0,     0,      File::Sound,     FALSE, 0,  0,   Handle::Zero,    0,                false},
    {"device 2 is absent",                      Call::Init,  2,     44100,  File::None,      FALSE, 0,  0,   Handle::Zero,    0,                false},
    {"device -2 is absent",                     Call::Init,  -2,    44100,  File::None,      FALSE, 0,  0,   Handle::Zero,    0,                false},
    {"0 Hz is refused",                         Call::Init,  0,     0,      File::None,      FALSE, 0,  0,   Handle::Zero,    0,                false},
    {"384001 Hz is refused",                    Call::Init,  0,     384001, File::None,      FALSE, 0,  0,   Handle::Zero,    0,                false},
    {"device -1 opens at 44100 Hz",             Call::Init,  -1,    44100,  File::None,      FALSE, 0,  0,   Handle::Zero,    0,                true},
    {"a second BASS_Init fails",                Call::Init,  0,     44100,  File::None,      FALSE, 0,  0,   Handle::Zero,    0,                false},
    {"a missing file",                          Call::Open,  0,     0,      File::Missing,   FALSE, 0,  0,   Handle::Zero,    0,                false},
    {"a folder",                                Call::Open,  0,     0,      File::Folder,    FALSE, 0,  0,   Handle::Zero,    0,                false},
    {"a file that is not sound",                Call::Open,  0,     0,      File::NotSound,  FALSE, 0,  0,   Handle::Zero,    0,                false},
    {"a null path",                             Call::Open,  0,     0,      File::None,      FALSE, 0,  0,   Handle::Zero,    0,                false},
    {"memory instead of a file",                Call::Open,  0,     0,      File::Sound,     TRUE,  0,  16,  Handle::Zero,    0,                false},
    {"a part of a file (offset)",               Call::Open,  0,     0,      File::Sound,     FALSE, 1,  0,   Handle::Zero,    0,                false},
    {"a part of a file (length)",               Call::Open,  0,     0,      File::Sound,     FALSE, 0,  100, Handle::Zero,    0,                false},
    {"a whole sound file",                      Call::Open,  0,     0,      File::Sound,     FALSE, 0,  0,   Handle::Zero,    0,                true},
    {"the same file again, a stream of its own",Call::Open,  0,     0,      File::Sound,     FALSE, 0,  0,   Handle::Zero,    0,                true},
    {"playing handle 0 fails",                  Call::Play,  0,     0,      File::None,      FALSE, 0,  0,   Handle::Zero,    BASS_SAMPLE_LOOP, false},
    {"playing a handle never given fails",      Call::Play,  0,     0,      File::None,      FALSE, 0,  0,   Handle::Unknown, 0,                false},
    {"the stream plays, looping",               Call::Play,  0,     0,      File::None,      FALSE, 0,  0,   Handle::Opened,  BASS_SAMPLE_LOOP, true},
    {"and plays again, once",                   Call::Play,  0,     0,      File::None,      FALSE, 0,  0,   Handle::Opened,  0,                true},
    // One stream at a time: playing another stops the one playing, which can play again after.
    {"the second stream plays in its place",    Call::Play,  0,     0,      File::None,      FALSE, 0,  0,   Handle::Second,  BASS_SAMPLE_LOOP, true},
    {"and the first in the second's",           Call::Play,  0,     0,      File::None,      FALSE, 0,  0,   Handle::Opened,  BASS_SAMPLE_LOOP, true},
};
// clang-format on

const char* Path(const AudioFiles& files, File file) {
    switch (file) {
        case File::Sound:
            return files.sound.c_str();
        case File::NotSound:
            return files.notSound.c_str();
        case File::Missing:
            return files.missing.c_str();
        case File::Folder:
            return files.folder.c_str();
        default:
            return nullptr;
    }
}

}  // namespace

std::vector<Outcome> RunAudioCases(const AudioFiles& files) {
    std::vector<Outcome> outcomes;
    HSTREAM opened = 0, last = 0;
    for (const Row& row : kRows) {
        bool succeeded = false;
        if (row.call == Call::Init) {
            succeeded = BASS_Init(row.device, row.freq, 0, nullptr, nullptr) != 0;
        } else if (row.call == Call::Open) {
            const HSTREAM stream =
                BASS_StreamCreateFile(row.mem, Path(files, row.file), row.offset, row.length, 0);
            // Every stream made is one of its own.
            succeeded = stream != 0 && stream != last;
            last = stream != 0 ? stream : last;
            opened = opened != 0 ? opened : stream;
        } else {
            const HSTREAM handle = row.handle == Handle::Opened    ? opened
                                   : row.handle == Handle::Second  ? last
                                   : row.handle == Handle::Unknown ? last + 1000
                                                                   : 0;
            succeeded = BASS_StreamPlay(handle, FALSE, row.flags) != 0;
        }
        outcomes.push_back(Outcome{row.name, succeeded ? "succeeds" : "fails",
                                   row.succeeds ? "succeeds" : "fails"});
    }
    return outcomes;
}

}  // namespace platform_cases
