// The platform's tables (tests/platform/cases.h) as a Windows program, against the real user32
// and the Windows audio calls: check_platform.sh runs it under Wine, 64- and 32-bit.
//
//   platform_check DIR    the core's table, then the audio contract's on check_platform.sh's
//                         files in DIR
//
// Prints one line a row; the exit code is the number of rows that fail.
#include <windows.h>

#include <cstdio>
#include <string>

#include "cases.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: platform_check DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::string report;
    int failures = platform_cases::Report(platform_cases::RunCoreCases(), &report);
    failures += platform_cases::Report(
        platform_cases::RunAudioCases(
            {dir + "\\tone.mp3", dir + "\\text.mp3", dir + "\\missing.mp3", dir}),
        &report);
    std::fputs(report.c_str(), stdout);
    return failures;
}
