// Named settings for flimrevo-capture (--preset NAME): a preset sets the options it names before
// the rest of the command line is read, so that any of them can still be given otherwise.
#pragma once

#include <string>
#include <vector>

#include "cli.h"

namespace capture {

struct Preset {
    const char* name;
    const char* help;  // for --help: what it makes, one or two lines of at most 56 characters
    void (*apply)(CommandLine* line);
};

const std::vector<Preset>& Presets();

// The preset of that name, or nullptr.
const Preset* FindPreset(const std::string& name);

// "  NAME  HELP" lines for --help.
std::string PresetsHelp();

}  // namespace capture
