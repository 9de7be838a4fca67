#include "presets.h"

namespace capture {

const std::vector<Preset>& Presets() {
    static const std::vector<Preset> presets = {
        {"party-1080p",
         "1920x1080 at 60 fps, the picture pillarboxed; H.264\n"
         "High at 12 Mbit/s, AAC at 192 kbit/s; the same file\n"
         "from the same source on every run",
         [](CommandLine* line) {
             line->rate = Rate{60};
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
        {"youtube-4k",
         "3840x2160 at 60 fps, the picture pillarboxed, drawn\n"
         "at twice its size and averaged down; H.264 High at\n"
         "constant quality 16, AAC at 320 kbit/s: for upload,\n"
         "where it is encoded again",
         [](CommandLine* line) {
             line->rate = Rate{60};
             line->size = OutputSize{3840, 2160, 0};
             line->supersample = 2;
             EncodeSettings& encode = line->encode;
             encode.preset = "veryfast";
             encode.profile = "high";
             encode.crf = 16;
             encode.audioKbps = 320;
         }},
        {"archive",
         "1024x768 at 60 fps, lossless: RGB as FFV1 and the\n"
         "sound as FLAC (-o NAME.mkv)",
         [](CommandLine* line) {
             line->rate = Rate{60};
             line->size = OutputSize{1024, 768, 0};
             line->lossless = true;
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
