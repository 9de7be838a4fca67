// Where flimrevo-flashes gets its frames: a video through ffprobe (its size and its frames'
// times) and ffmpeg (the frames as RGBA), or a folder of PNG files in name order.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace flashes {

class Source {
  public:
    virtual ~Source() = default;
    int width() const { return width_; }
    int height() const { return height_; }
    // The next frame into rgba (width x height x 4) and the microseconds it shows from; false at
    // the end, or with *error set when a frame cannot be read.
    virtual bool Next(std::vector<std::uint8_t>* rgba, std::int64_t* microseconds,
                      std::string* error) = 0;

  protected:
    int width_ = 0, height_ = 0;
};

// A frame rate, frames per seconds: "25", "29.97" or "30000/1001".
struct Rate {
    std::int64_t frames = 0, seconds = 1;
};
bool ParseRate(const std::string& text, Rate* rate);

// Frame times from the rate given (rate.frames > 0) or else from the video's own timestamps.
std::unique_ptr<Source> OpenVideo(const std::string& path, Rate rate, std::string* error);
// Needs a rate.
std::unique_ptr<Source> OpenFolder(const std::string& path, Rate rate, std::string* error);

// text in single quotes for the shell.
std::string Quoted(const std::string& text);

}  // namespace flashes
