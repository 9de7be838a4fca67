// A numbered PNG sequence in a folder: frame-00000.png, frame-00001.png, ... (8-bit RGB; the
// frame's alpha is not part of the picture and is dropped).
#pragma once

#include <cstdint>
#include <string>

#include "capture.h"

namespace capture {

// The file name of the index-th written frame (counting from 0 at the clip's first frame),
// frame-00000.png on, into name (at least 32 bytes).
void PngFrameName(std::int64_t index, char* name, size_t size);

// Makes the folder (and its parents) where missing, checks that files can be made in it, and
// removes frame files an earlier capture left there, so the folder holds one sequence only.
bool PrepareFrameFolder(const std::string& folder, std::string* error);

// Writes one RGBA picture, top row first, as an RGB PNG. On a failure no file is left at path.
bool WritePng(const char* path, const std::uint8_t* rgba, int width, int height,
              std::string* error);

class PngSequenceSink : public FrameSink {
  public:
    // The folder must have been prepared (PrepareFrameFolder).
    explicit PngSequenceSink(std::string folder);

    bool Open(int width, int height, std::string* error) override;
    bool Write(const host::Frame& frame, std::string* error) override;
    bool Close(std::string* error) override;

    std::int64_t written() const { return index_; }

  private:
    std::string folder_;
    std::string path_;  // the folder, a slash and room for a frame's name
    int width_ = 0, height_ = 0;
    std::int64_t index_ = 0;
};

}  // namespace capture
