// A capture split into parts (--segment K/N) and joined again (--join). Each part is a lossless
// Matroska file whose tags say which capture it belongs to (its settings), which part it is and
// which frames it holds; a join checks that the parts it is given are all of one capture, each
// whole and in order, before it writes anything.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cli.h"

namespace capture {

using Tags = std::vector<std::pair<std::string, std::string>>;

// The tags of part line.segment of the capture line describes.
Tags PartTags(const CommandLine& line);

// What a join needs to know of the capture the parts make together.
struct JoinPlan {
    Rate rate{60};
    FrameRange clip;
    int width = 0, height = 0;
};

// Reads each part's tags and frame count (through ffprobe) and checks that they make one
// capture. False with *error saying what is wrong: a file that is not a part, an unfinished
// part, parts of different captures, a part missing, twice or out of place.
bool PlanJoin(const std::string& ffprobe, const std::vector<std::string>& parts, JoinPlan* plan,
              std::string* error);

// The parts as ffmpeg's concat demuxer reads them, into a new file beside output; its name in
// *list. False with *error when it cannot be written.
bool WriteConcatList(const std::vector<std::string>& parts, const std::string& output,
                     std::string* list, std::string* error);

}  // namespace capture
