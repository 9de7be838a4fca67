// The platform's behaviour as tables of cases, portable: the same tables run natively against the
// SDL back end (platform_test), in the browser against the web back end (tests/web), and as
// Windows programs against the real user32 and the Windows audio calls under Wine, 64- and 32-bit
// (tests/windows/check_platform.sh).
#pragma once

#include <string>
#include <vector>

namespace platform_cases {

// One case's outcome: what happened, written as symbolic names, against what the table says.
struct Outcome {
    std::string name;
    std::string got;
    std::string expected;
    bool ok() const { return got == expected; }
};

// The Win32 core's rules (queue, filters, WM_QUIT, DefWindowProcA, classes, cursor counter), each
// case on a window of its own that it leaves behind destroyed, its class unregistered.
std::vector<Outcome> RunCoreCases();

// The audio contract of include/bass.h, on device 0 (no sound). The names are paths of a sound
// file the back end can play, a file that is not sound, a name that is missing and a folder.
// Runs once a process: the output cannot be opened twice.
struct AudioFiles {
    std::string sound, notSound, missing, folder;
};
std::vector<Outcome> RunAudioCases(const AudioFiles& files);

// "ok   name" or "FAIL name: got ..., expected ..." lines, and the number of failures.
inline int Report(const std::vector<Outcome>& outcomes, std::string* text) {
    int failures = 0;
    for (const Outcome& o : outcomes) {
        *text += (o.ok() ? "ok   " : "FAIL ") + o.name;
        *text += o.ok() ? "\n" : ": got \"" + o.got + "\", expected \"" + o.expected + "\"\n";
        failures += o.ok() ? 0 : 1;
    }
    return failures;
}

}  // namespace platform_cases
