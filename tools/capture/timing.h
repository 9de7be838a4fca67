// What each frame of a capture shows on the piece's clock, at any frame rate, and where the
// sub-frames of a blurred frame fall.
#pragma once

#include <cstdint>
#include <string>

#include "platform/frame_time.h"

namespace capture {

// Frames a second as a fraction in lowest terms: 60/1, 60000/1001. Frame n shows
// FrameMs(n, rate) = floor(n * 1000 * den / num) ms: the platform's rule for every run on a
// virtual clock, and the only one the capture uses.
using Rate = platform::FrameRate;
using platform::FirstFrameAt;
using platform::FrameMs;

// The first whole millisecond whose t lies past the piece's end (PieceEndTime): the piece ends in
// the frame that shows it. Its clock counts whole milliseconds and holds the time in single
// precision, so this is 92 700 ms (92.700005 s), not 92 701.
std::int64_t PieceEndMs();

// How many frames the piece presents when it is left to end itself.
std::int64_t PieceFrames(Rate rate);

// The piece's end in seconds, for messages.
std::string PieceEndText();

// The sample of a sound at sampleRate where frame n begins, to the nearest.
constexpr std::int64_t FrameSample(std::int64_t n, Rate rate, std::int64_t sampleRate) {
    return (2 * n * rate.den * sampleRate + rate.num) / (2 * rate.num);
}

// "60" or "60000/1001".
std::string RateText(Rate rate);

// Motion blur: each output frame is the average of `samples` sub-frames drawn while a shutter
// of `angle` degrees of the frame's interval is open (1 sub-frame: no blur).
struct Shutter {
    int samples = 1;
    int angle = 180;
};

// The sub-frames of frame n. The shutter opens at the frame's own millisecond and holds the
// whole milliseconds before FrameMs(n) + its length, but none at or past the piece's end; the
// sub-frames are spread evenly over those milliseconds. Where fewer milliseconds are left than
// samples (only in the frame before the piece's end), there are that many sub-frames; the frame
// that ends the piece is one sub-frame, since the piece draws nothing after it.
int SubFrames(std::int64_t n, Rate rate, Shutter shutter);

// The millisecond sub-frame k (0 <= k < SubFrames(n)) of frame n shows; k = 0 is FrameMs(n).
std::int64_t SubFrameMs(std::int64_t n, int k, Rate rate, Shutter shutter);

// The most samples every frame's shutter has distinct milliseconds for, over the whole piece.
int MostSamples(Rate rate, int angle);

}  // namespace capture
