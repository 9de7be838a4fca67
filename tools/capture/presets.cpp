#include "presets.h"

namespace capture {

const std::vector<Preset>& Presets() {
    static const std::vector<Preset> presets = {
        {"party-1080p",
         "1920x1080 at 60 fps, the picture pillarboxed; H.264\n"
         "High at 12 Mbit/s, AAC at 192 kbit/s; the same file\n"
         "from the same source on every run",
         [](CommandLine* line) {
             line->fps = 60;
             line->size = OutputSize{1920, 1080, 0};
             EncodeSettings& encode = line->encode;
             // veryfast is x264's fastest preset with 8x8 transforms, which High profile is for.
             encode.preset = "veryfast";
             encode.profile = "high";
             encode.videoKbps = 12000;
             encode.audioKbps = 192;
             encode.threads = 4;
             encode.bitexact = true;
         }},
    };
    return presets;
}

const Preset* FindPreset(const std::string& name) {
    for (const Preset& preset : Presets()) {
        if (name == preset.name) {
            return &preset;
        }
    }
    return nullptr;
}

std::string PresetsHelp() {
    std::string text;
    for (const Preset& preset : Presets()) {
        std::string name = std::string("    ") + preset.name;
        name.resize(23, ' ');
        text += name;
        for (const char* c = preset.help; *c != '\0'; ++c) {
            text += *c;
            if (*c == '\n') {
                text += std::string(23, ' ');
            }
        }
        text += '\n';
    }
    return text;
}

}  // namespace capture
