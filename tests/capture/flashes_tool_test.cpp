// flimrevo-flashes, run as the real executable.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Folder;
using testsupport::Read;

int Flashes(const Folder& folder, const std::string& args) {
    const std::string command =
        "cd '" + folder.path + "' && '" FLIMREVO_FLASHES "' " + args + " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The most general and red flashes in any second, from the CSV.
std::pair<double, double> Most(const std::string& csv) {
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "frame,seconds,luminance,general_flashes,red_flashes");
    double general = 0, red = 0, g = 0, r = 0;
    while (std::getline(in, line)) {
        EXPECT_EQ(std::sscanf(line.c_str(), "%*d,%*f,%*f,%lf,%lf", &g, &r), 2) << line;
        general = std::max(general, g);
        red = std::max(red, r);
    }
    return {general, red};
}

TEST(Flashes, AgreesWithAnotherAnalysersVectors) {
    // The test videos of another analyser, with the transitions its own logs give. A missing
    // folder is a fault of the set-up, not a reason to pass.
    ASSERT_TRUE(fs::is_directory(FLASH_VECTORS))
        << "the flash test videos are missing: expected at " FLASH_VECTORS;
    const struct {
        const char* video;
        int general, red;  // transitions in the worst second
        bool passes;
    } cases[] = {
        {"2Hz_5s.mp4", 5, 0, true},
        {"3Hz_6s.mp4", 7, 0, false},
        {"GradualRedIncrease.mp4", 0, 2, true},
        {"gray.mp4", 0, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.video);
        Folder folder(false);
        const std::string video = std::string(FLASH_VECTORS) + "/" + c.video;
        EXPECT_EQ(Flashes(folder, "'" + video + "' --csv flashes.csv --strict"), c.passes ? 0 : 4)
            << folder.Err();
        const auto [general, red] = Most(Read(folder / "flashes.csv"));
        EXPECT_EQ(general * 2, c.general);
        EXPECT_EQ(red * 2, c.red);
        EXPECT_EQ(Read(folder / "out.txt").find("fails:") == std::string::npos, c.passes);
    }
}

void WritePng(const std::string& path, int width, int height, std::uint8_t grey) {
    std::vector<std::uint8_t> rgba(static_cast<size_t>(width) * height * 4, 255);
    for (size_t i = 0; i < rgba.size(); i += 4)
        rgba[i] = rgba[i + 1] = rgba[i + 2] = grey;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr));
}

// Black and white, a change every 3 frames: 4 flashes a second at 24 fps, 2 at 12.
TEST(Flashes, FramesOfAFolderAtTheRateGiven) {
    Folder folder(false);
    fs::create_directory(folder / "frames");
    for (int f = 0; f < 48; ++f) {
        WritePng(folder / ("frames/" + std::to_string(1000 + f) + ".png"), 64, 48,
                 f / 3 % 2 ? 255 : 0);
    }
    EXPECT_EQ(Flashes(folder, "frames --fps 24 --strict --csv fast.csv"), 4) << folder.Err();
    EXPECT_EQ(Most(Read(folder / "fast.csv")).first, 4);
    EXPECT_NE(Read(folder / "out.txt").find("worst second: from 0.125 s"), std::string::npos)
        << Read(folder / "out.txt");
    EXPECT_EQ(Flashes(folder, "frames --fps 24000/2000 --strict --csv slow.csv"), 0)
        << folder.Err();
    EXPECT_EQ(Most(Read(folder / "slow.csv")).first, 2);
    // Frame 3 shows from 0.25 s at 12 fps.
    EXPECT_NE(Read(folder / "slow.csv").find("\n3,0.250,"), std::string::npos);
    // Without --strict a fail still exits 0.
    EXPECT_EQ(Flashes(folder, "frames --fps 24"), 0) << folder.Err();
}

TEST(Flashes, RefusesWhatItCannotRead) {
    Folder folder(false);
    fs::create_directory(folder / "empty");
    fs::create_directory(folder / "mixed");
    WritePng(folder / "mixed/1.png", 64, 48, 0);
    WritePng(folder / "mixed/2.png", 32, 48, 0);
    std::ofstream(folder / "text.mp4") << "not a video\n";
    const struct {
        const char* args;
        int exit;
        const char* message;
    } cases[] = {
        {"missing.mp4", 1, "cannot read missing.mp4: No such file"},
        {"text.mp4", 1, "cannot read text.mp4: not a video"},
        {"empty --fps 25", 1, "no .png files"},
        {"mixed --fps 25", 1, "32 x 48 where the first frame is 64 x 48"},
        {"empty", 2, "needs --fps"},
        {"empty --fps 0", 2, "not a frame rate"},
        {"empty --fps", 2, "--fps needs a value"},
        {"", 2, "no video or folder"},
        {"a b", 2, "one video or folder at a time"},
        {"text.mp4 --loud", 2, "unknown option --loud"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(Flashes(folder, c.args), c.exit);
        EXPECT_NE(folder.Err().find(c.message), std::string::npos) << folder.Err();
        EXPECT_EQ(Read(folder / "out.txt"), "");
    }
}

}  // namespace
