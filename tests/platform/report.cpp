#include "cases.h"

namespace platform_cases {

int Report(const std::vector<Outcome>& outcomes, std::string* text) {
    int failures = 0;
    for (const Outcome& o : outcomes) {
        *text += (o.ok() ? "ok   " : "FAIL ") + o.name;
        *text += o.ok() ? "\n" : ": got \"" + o.got + "\", expected \"" + o.expected + "\"\n";
        failures += o.ok() ? 0 : 1;
    }
    return failures;
}

}  // namespace platform_cases
