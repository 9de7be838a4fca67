// The frames' way out of the platform: each presented frame reaches the host's sink once, in
// order, with the tick answered for it; a picture is read for exactly the frames answered Read (at
// once, or late: with the next step, the last when the context goes), and it is that frame's own;
// a close answer ends the piece after that frame.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "driver/piece.h"
#include "platform/host.h"

namespace {

// Frame 0 shows 0 ms, then the strobe's steps a tenth of a second apart: red, black, green,
// black, blue, black.
const std::uint32_t kStart = 5000;
const std::uint32_t kMs[] = {0, 31150, 31250, 31350, 31450, 31550, 31650};
const int kFrames = sizeof kMs / sizeof kMs[0];

struct Row {
    const char* name;
    bool late;
    const char* draws;  // frame n drawn R(ead), W(hole) or C(heap)
    int closeAfter;     // the frame answered close (-1: none; the piece runs on past kMs)
};

// clang-format off
const Row kRows[] = {
    {"at once, all read",               false, "RRRRRRR", 6},
    {"late, all read",                  true,  "RRRRRRR", 6},
    {"late, cheap then read and unread", true,  "CCRWRCR", 6},
    {"at once, mixed",                  false, "WCRCCRW", 6},
    {"late, closed after frame 3",      true,  "RRRRRRR", 3},
    {"late, closed on a cheap frame",   true,  "RRCRRRR", 2},
};
// clang-format on

host::Draw DrawOf(char c) {
    return c == 'R' ? host::Draw::Read : c == 'W' ? host::Draw::Whole : host::Draw::Cheap;
}

struct Seen {
    std::vector<std::int64_t> frames;  // presented, in the order the steps came
    std::vector<std::uint32_t> ticks;
    std::multimap<std::int64_t, std::string> pictures;  // each read, by frame
    int emptySteps = 0;                                 // steps with no presented frame
};

Seen RunPiece(const Row& row) {
    Seen seen;
    const auto next = [&](std::int64_t n) {
        const std::int64_t at = std::min<std::int64_t>(n, kFrames - 1);
        return host::Next{kStart + kMs[at], DrawOf(row.draws[at]), false};
    };
    const auto picture = [&](const host::Frame& frame) {
        if (frame.rgba != nullptr)
            seen.pictures.emplace(frame.index,
                                  std::string(reinterpret_cast<const char*>(frame.rgba),
                                              static_cast<size_t>(frame.width) * frame.height * 4));
    };
    host::Options options;
    options.video.output = host::Video::Headless;
    options.audio = host::Audio::Silent;
    options.onMessageBox = [](const char*, const char*) {};
    options.virtualClock = true;
    options.lateReads = row.late;
    options.first = next(0);
    options.frames = [&](const host::Finished& step) {
        picture(step.late);
        if (step.frame.index < 0) {
            ++seen.emptySteps;
            return host::Next();
        }
        seen.frames.push_back(step.frame.index);
        seen.ticks.push_back(step.frame.tick);
        picture(step.frame);
        // Closing, the piece is also shown a time past its end, so that it ends either way.
        host::Next answer = next(step.frame.index + 1);
        if ((answer.close = step.frame.index >= row.closeAfter))
            answer.tick = kStart + 100000;
        return answer;
    };
    host::Start(options);
    char name[] = "flimrevo";
    char* argv[] = {name, nullptr};
    char* envp[] = {nullptr};
    EXPECT_EQ(PieceMain(1, argv, envp), 0);
    host::Stop();
    return seen;
}

TEST(FrameSteps, OneStepAFrameAndEachPictureReadIsItsFramesOwn) {
    const Seen reference = RunPiece(kRows[0]);
    ASSERT_EQ(reference.pictures.size(), static_cast<size_t>(kFrames));
    // The strobe's steps differ from each other: a picture from the wrong frame shows.
    for (int n = 2; n < kFrames; ++n)
        ASSERT_NE(reference.pictures.find(n)->second, reference.pictures.find(n - 1)->second) << n;

    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const Seen seen = RunPiece(row);
        std::vector<std::int64_t> frames;
        std::vector<std::uint32_t> ticks;
        for (int n = 0; n <= row.closeAfter; ++n) {
            frames.push_back(n);
            ticks.push_back(kStart + kMs[n]);
        }
        EXPECT_EQ(seen.frames, frames);
        EXPECT_EQ(seen.ticks, ticks);
        for (int n = 0; n <= row.closeAfter; ++n) {
            const bool read = row.draws[n] == 'R';
            EXPECT_EQ(seen.pictures.count(n), read ? 1u : 0u) << n;
            if (read && seen.pictures.count(n)) {
                EXPECT_EQ(seen.pictures.find(n)->second, reference.pictures.find(n)->second) << n;
            }
        }
        EXPECT_EQ(seen.pictures.size(),
                  static_cast<size_t>(std::count(row.draws, row.draws + row.closeAfter + 1, 'R')));
        // Late, the last frame's picture leaves in a step of its own as the context goes.
        EXPECT_EQ(seen.emptySteps, row.late && row.draws[row.closeAfter] == 'R' ? 1 : 0);
    }
}

}  // namespace
