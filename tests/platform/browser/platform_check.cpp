// Runs the platform's tables (tests/platform/cases.h) against the web back end and leaves the
// report on the page, in body's data-results; the exit code is the number of failed rows.
#include <emscripten.h>

#include <string>

#include "cases.h"

// clang-format off
EM_JS(void, PageResults, (const char* text), { document.body.dataset.results = UTF8ToString(text); });
// clang-format on

int main() {
    std::string text;
    int failures = platform_cases::Report(platform_cases::RunCoreCases(), &text);
    // Served beside the site: the soundtrack is the site's, and this page is not sound.
    failures +=
        platform_cases::Report(platform_cases::RunAudioCases(
                                   {"../brumlevo.mp3", "platform_check.html", "missing.mp3", "."}),
                               &text);
    PageResults(text.c_str());
    return failures;
}
