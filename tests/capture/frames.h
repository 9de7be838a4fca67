// Frames as the capture tests read them: from a capture's PNGs, and from the tests' own run.
#pragma once

#include <png.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/piece_run.h"
#include "support/process.h"

namespace capturetest {

// The bytes of a file the test needs to be there: a missing or empty file fails the test where
// it is read, and reads as a marker no other file holds, so that two missing files never compare
// equal.
inline std::string Made(const std::string& path) {
    std::string bytes = testsupport::Read(path);
    if (bytes.empty()) {
        ADD_FAILURE() << path << " is missing or empty";
        return "missing: " + path;
    }
    return bytes;
}

// Frame `index` of a PNG capture into `dir`, as RGB, top row first.
inline std::vector<std::uint8_t> ReadFrame(const std::string& dir, int index, int* width,
                                           int* height) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%05d.png", index);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    EXPECT_TRUE(png_image_begin_read_from_file(&image, (dir + name).c_str())) << dir << name;
    image.format = PNG_FORMAT_RGB;
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << dir << name;
    return rgb;
}

// The frame showing `ms` in the tests' own headless run, after frames every 100 ms, as RGB.
inline std::vector<std::uint8_t> RenderFrameAt(std::uint32_t ms) {
    std::vector<std::uint8_t> pixels;
    testsupport::PieceRunOptions options;
    options.frameMs = [&](int n) { return std::min(100u * static_cast<std::uint32_t>(n), ms); };
    options.onFrame = [&](int n, const host::Frame& frame) {
        if (100u * static_cast<std::uint32_t>(n) < ms)
            return true;
        for (size_t i = 0; i < static_cast<size_t>(frame.width) * frame.height; ++i)
            pixels.insert(pixels.end(), frame.rgba + 4 * i, frame.rgba + 4 * i + 3);
        return false;
    };
    testsupport::RunPiece(options);
    return pixels;
}

}  // namespace capturetest
