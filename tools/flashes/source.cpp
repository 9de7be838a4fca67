#include "source.h"

#include <dirent.h>
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace flashes {
namespace {

const std::int64_t kSecondUs = 1000000;

// A command's whole standard output; false if it fails.
bool Output(const std::string& command, std::string* out) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return false;
    }
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out->append(buffer, n);
    }
    return pclose(pipe) == 0;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ',')) {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
        start = end + 1;
    }
    return lines;
}

class Video : public Source {
  public:
    ~Video() override {
        if (pipe_) {
            pclose(pipe_);
        }
    }

    bool Open(const std::string& path, Rate rate, std::string* error) {
        const std::string probe =
            "ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 " +
            Quoted("file:" + path) + " 2>/dev/null";
        std::string out;
        if (!Output(probe, &out) || std::sscanf(out.c_str(), "%d,%d", &width_, &height_) != 2 ||
            width_ <= 0 || height_ <= 0) {
            *error = "cannot read " + path + ": not a video that ffprobe can read";
            return false;
        }
        if (rate.frames > 0) {
            rate_ = rate;
        } else {
            // Presentation times of the video's packets, in display order.
            out.clear();
            const std::string times =
                "ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 " +
                Quoted("file:" + path) + " 2>/dev/null";
            if (!Output(times, &out)) {
                *error = "cannot read " + path + ": ffprobe cannot list its frames";
                return false;
            }
            for (const std::string& line : Lines(out)) {
                char* end = nullptr;
                const double seconds = std::strtod(line.c_str(), &end);
                if (end == line.c_str()) {
                    *error = "cannot read " + path + ": a frame without a time (" + line + ")";
                    return false;
                }
                times_.push_back(std::llround(seconds * kSecondUs));
            }
            std::sort(times_.begin(), times_.end());
        }
        // Every frame as it is, none dropped or repeated.
        const std::string decode = "ffmpeg -v error -nostdin -i " + Quoted("file:" + path) +
                                   " -map 0:v:0 -fps_mode passthrough -f rawvideo -pix_fmt rgba -";
        pipe_ = popen(decode.c_str(), "r");
        if (!pipe_) {
            *error = "cannot start ffmpeg: " + std::string(std::strerror(errno));
            return false;
        }
        return true;
    }

    bool Next(std::vector<std::uint8_t>* rgba, std::int64_t* microseconds,
              std::string* error) override {
        rgba->resize(static_cast<size_t>(width_) * height_ * 4);
        const size_t got = std::fread(rgba->data(), 1, rgba->size(), pipe_);
        if (got == 0 && std::feof(pipe_)) {
            const int status = pclose(pipe_);
            pipe_ = nullptr;
            if (status != 0) {
                *error = "ffmpeg could not decode the video (exit status " +
                         std::to_string(status) + ")";
            } else if (!times_.empty() && frame_ != times_.size()) {
                *error = "ffmpeg gave " + std::to_string(frame_) + " frames where ffprobe listed " +
                         std::to_string(times_.size());
            }
            return false;
        }
        if (got != rgba->size()) {
            *error = "the video ends in the middle of a frame";
            return false;
        }
        if (rate_.frames > 0) {
            *microseconds =
                static_cast<std::int64_t>(frame_) * kSecondUs * rate_.seconds / rate_.frames;
        } else if (frame_ < times_.size()) {
            *microseconds = times_[frame_];
        } else {
            *error = "ffmpeg gave more frames than ffprobe listed";
            return false;
        }
        ++frame_;
        return true;
    }

  private:
    FILE* pipe_ = nullptr;
    Rate rate_;
    std::vector<std::int64_t> times_;
    size_t frame_ = 0;
};

bool ReadPng(const std::string& path, int* width, int* height, std::vector<std::uint8_t>* rgba) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    rgba->resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba->data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

class Folder : public Source {
  public:
    bool Open(const std::string& path, Rate rate, std::string* error) {
        DIR* dir = opendir(path.c_str());
        if (!dir) {
            *error = "cannot read " + path + ": " + std::strerror(errno);
            return false;
        }
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0) {
                files_.push_back(path + "/" + name);
            }
        }
        closedir(dir);
        std::sort(files_.begin(), files_.end());
        if (files_.empty()) {
            *error = "cannot read " + path + ": no .png files in it";
            return false;
        }
        rate_ = rate;
        if (!ReadPng(files_[0], &width_, &height_, &first_)) {
            *error = "cannot read " + files_[0] + ": not a PNG file libpng can read";
            return false;
        }
        return true;
    }

    bool Next(std::vector<std::uint8_t>* rgba, std::int64_t* microseconds,
              std::string* error) override {
        if (next_ == files_.size()) {
            return false;
        }
        int width = 0, height = 0;
        if (next_ == 0) {
            rgba->swap(first_);
        } else if (!ReadPng(files_[next_], &width, &height, rgba)) {
            *error = "cannot read " + files_[next_] + ": not a PNG file libpng can read";
            return false;
        } else if (width != width_ || height != height_) {
            *error = "cannot read " + files_[next_] + ": " + std::to_string(width) + " x " +
                     std::to_string(height) + " where the first frame is " +
                     std::to_string(width_) + " x " + std::to_string(height_);
            return false;
        }
        *microseconds = static_cast<std::int64_t>(next_) * kSecondUs * rate_.seconds / rate_.frames;
        ++next_;
        return true;
    }

  private:
    std::vector<std::string> files_;
    std::vector<std::uint8_t> first_;
    Rate rate_;
    size_t next_ = 0;
};

}  // namespace

bool ParseRate(const std::string& text, Rate* rate) {
    long long frames = 0, seconds = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%lld/%lld%c", &frames, &seconds, &end) == 2) {
        *rate = Rate{frames, seconds};
        return frames > 0 && seconds > 0;
    }
    // A decimal, to a thousandth.
    char* stop = nullptr;
    const double value = std::strtod(text.c_str(), &stop);
    if (text.empty() || *stop != '\0' || !(value > 0) || value > 10000) {
        return false;
    }
    *rate = Rate{std::llround(value * 1000), 1000};
    return rate->frames > 0;
}

std::unique_ptr<Source> OpenVideo(const std::string& path, Rate rate, std::string* error) {
    auto video = std::make_unique<Video>();
    if (!video->Open(path, rate, error)) {
        return nullptr;
    }
    return video;
}

std::unique_ptr<Source> OpenFolder(const std::string& path, Rate rate, std::string* error) {
    auto folder = std::make_unique<Folder>();
    if (!folder->Open(path, rate, error)) {
        return nullptr;
    }
    return folder;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace flashes
