// The argument rules of the audio calls' contract (include/bass.h), for the back ends.
#pragma once

#include <bass.h>

namespace bass_contract {

enum class Output {
    Absent,   // no such device: BASS_Init fails
    Default,  // the default output
    Silent,   // device 0: streams play at the real rate, unheard
};

inline Output DeviceOutput(int device) {
    return device == -1 || device == 1 ? Output::Default
           : device == 0               ? Output::Silent
                                       : Output::Absent;
}

constexpr DWORD kHighestFrequency = 384000;

inline bool UsableFrequency(DWORD freq) {
    return freq >= 1 && freq <= kHighestFrequency;
}

// The path of a whole file, or null when the call asks for anything else.
inline const char* WholeFilePath(BOOL mem, const void* file, DWORD offset, DWORD length) {
    return !mem && offset == 0 && length == 0 ? static_cast<const char*>(file) : nullptr;
}

}  // namespace bass_contract
