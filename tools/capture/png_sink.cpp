#include "png_sink.h"

#include <dirent.h>
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace capture {
namespace {

std::string Describe(const std::string& path, int error) {
    return "cannot write " + path + ": " + std::strerror(error);
}

// mkdir -p: every missing folder on the way.
bool MakeFolders(const std::string& folder, std::string* error) {
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty() && mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            *error = Describe(part, errno);
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = "cannot write " + folder + ": it is not a folder";
        return false;
    }
    return true;
}

// frame-DDDDD.png and nothing else.
bool IsFrameName(const char* name) {
    const size_t length = std::strlen(name);
    if (length < 15 || std::strncmp(name, "frame-", 6) != 0 ||
        std::strcmp(name + length - 4, ".png") != 0) {
        return false;
    }
    for (size_t i = 6; i < length - 4; ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return false;
        }
    }
    return true;
}

struct PngErrorState {
    std::jmp_buf jump;
    char message[200];
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngErrorState*>(png_get_error_ptr(png));
    // A failed write leaves its reason (a full disk) in errno, cleared before encoding began.
    std::snprintf(state->message, sizeof state->message, "%s%s%s", message, errno ? ": " : "",
                  errno ? std::strerror(errno) : "");
    std::longjmp(state->jump, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Only plain data lives in this function's frame, so the jump back from libpng's error handler
// skips no destructor.
bool EncodePng(FILE* file, const std::uint8_t* rgba, int width, int height, char* message,
               size_t messageSize) {
    PngErrorState state;
    state.message[0] = '\0';
    errno = 0;
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
    if (png == nullptr) {
        std::snprintf(message, messageSize, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(state.jump) != 0) {
        std::snprintf(message, messageSize, "%s", state.message);
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    // Frames are mostly flat colour: a light deflate with the adaptive filters costs a fraction
    // of the default level's time for nearly the same size.
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // The rows come as RGBA; the fourth byte of every pixel is stripped on the way out.
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, rgba + static_cast<size_t>(y) * static_cast<size_t>(width) * 4);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

void PngFrameName(std::int64_t index, char* name, size_t size) {
    std::snprintf(name, size, "frame-%05lld.png", static_cast<long long>(index));
}

bool PrepareFrameFolder(const std::string& folder, std::string* error) {
    if (!MakeFolders(folder, error)) {
        return false;
    }
    const std::string probe = folder + "/.flimrevo-capture-probe";
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = Describe(folder, errno);
        return false;
    }
    close(fd);
    unlink(probe.c_str());
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        *error = Describe(folder, errno);
        return false;
    }
    while (const dirent* entry = readdir(dir)) {
        if (IsFrameName(entry->d_name)) {
            unlink((folder + "/" + entry->d_name).c_str());
        }
    }
    closedir(dir);
    return true;
}

bool WritePng(const char* path, const std::uint8_t* rgba, int width, int height,
              std::string* error) {
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        *error = Describe(path, errno);
        return false;
    }
    char message[200];
    bool ok = EncodePng(file, rgba, width, height, message, sizeof message);
    if (!ok) {
        *error = "cannot write " + std::string(path) + ": " + message;
    }
    if (std::fclose(file) != 0 && ok) {
        *error = Describe(path, errno);
        ok = false;
    }
    if (!ok) {
        unlink(path);  // a frame that could not be finished is not left looking like one
    }
    return ok;
}

PngSequenceSink::PngSequenceSink(std::string folder) : folder_(std::move(folder)) {}

bool PngSequenceSink::Open(int width, int height, std::string* /*error*/) {
    width_ = width;
    height_ = height;
    path_ = folder_ + "/";
    path_.resize(path_.size() + 32);
    return true;
}

// The frame's path is written into a buffer made at Open: nothing of ours is allocated per frame.
bool PngSequenceSink::Write(const host::Frame& frame, std::string* error) {
    if (frame.width != width_ || frame.height != height_) {
        *error = "the piece's picture changed size during the capture";
        return false;
    }
    const size_t folderLength = folder_.size() + 1;
    PngFrameName(index_, &path_[folderLength], path_.size() - folderLength);
    const bool ok = WritePng(path_.c_str(), frame.rgba, frame.width, frame.height, error);
    index_ += ok ? 1 : 0;
    return ok;
}

bool PngSequenceSink::Close(std::string* /*error*/) {
    return true;
}

}  // namespace capture
