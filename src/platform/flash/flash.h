// Flash analysis of a sequence of RGBA frames, with the definitions of WCAG 2.3.1 (three flashes
// or below): general flashes and red flashes, counted in every one-second period.
//
// How a frame is read:
// - Colours are linearised from sRGB; relative luminance is 0.2126 R + 0.7152 G + 0.0722 B, the
//   red measure (R - G - B) x 320 (negative values as 0), saturated where R / (R + G + B) >= 0.8.
//   All in linear light, as the definitions are.
// - Every pixel is its own sample, so that a pixel's own change decides whether it steps: a
//   block averaged over several pixels would step when a thin line enters it, and would count
//   the line as if it filled the block.
// - A pixel makes a transition when it passes, by the step, where it was at its darkest since it
//   last fell (or brightest since it last rose): gradual changes add up, and a pixel's
//   transitions alternate in direction. General: a step of 0.1 in relative luminance, the darker
//   state below 0.8. Red: a change of more than 20 in the red measure, saturated before or after.
// - A 10-degree field is 341 x 256 pixels at 1024 x 768: a third of the picture's height, in
//   that shape. Its size follows the height (a viewer sits as far from a larger screen of the same
//   picture height), so a pillarboxed 16:9 frame keeps the 4:3 picture's fields.
// - A field makes a transition of a kind in a frame when the pixels in it that make one in the
//   same direction in that frame cover at least a quarter of it, wherever they lie: their
//   combined area. Thin lines moving, or a small object crossing, move few pixels and do not.
// - Fields are looked at in windows a 64th of a field's width and height apart, so that any
//   field lies within half a step of one of them in each direction: that window shares at
//   least 97% of its area. A summed-area table over each frame's pixels that step gives any
//   window's count in four reads, so the windows cost little beside the pixels; the table is
//   built only for a direction in which at least a quarter field's worth of pixels step.
// - Two transitions are one flash (flash_count.h in the capture tool counts a window's
//   transitions a second at a time; limiter.h keeps them under the limit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace flash {

constexpr double kGeneralStep = 0.1;    // relative luminance, of 1 at most
constexpr double kGeneralDarker = 0.8;  // the darker state must lie below this
constexpr double kRedStep = 20;         // (R - G - B) x 320
constexpr double kRedSaturation = 0.8;  // R / (R + G + B)
constexpr int kWindowSteps = 64;        // window positions a field's width (height) apart

// sRGB to linear light, 0 to 1.
double Linear(std::uint8_t value);
// The same, by table, as float.
const float* LinearTable();
// WCAG's relative luminance of an sRGB colour.
double RelativeLuminance(std::uint8_t r, std::uint8_t g, std::uint8_t b);

// The fields of a width x height picture, and the windows in which they are looked at. Rows
// bottom row first (as GL reads them) put the windows where they lie on the same picture top row
// first, so that both orders are counted alike.
struct Fields {
    int width = 0, height = 0;
    int fieldWidth = 0, fieldHeight = 0;  // no larger than the picture
    long quarter = 0;                     // pixels: a quarter of a field, rounded up
    std::vector<int> lefts, tops;         // window positions: from the edge a step apart,
                                          // the last flush with the other edge
    size_t windows() const { return lefts.size() * tops.size(); }
};
Fields MakeFields(int width, int height, bool bottomUp = false);

enum Kind { kGeneral, kRed };

// Whether a change from one level to another is a transition of kind, in either direction.
bool IsTransition(Kind kind, float from, bool fromSaturated, float to, bool toSaturated);

// One pixel's transitions of one kind.
struct Tracker {
    float floor = 0;            // the lowest level since the pixel last fell
    float ceiling = 0;          // the highest level since the pixel last rose
    std::int8_t direction = 0;  // of the last transition: +1 up, -1 down, 0 none yet
    bool floorSaturated = false, ceilingSaturated = false;
    bool started = false;
};
// The transition the pixel makes with its next level: +1, -1 or 0.
int Track(Kind kind, Tracker* tracker, float level, bool saturated);

// A pixel's levels, and whether it is saturated red.
struct Levels {
    float level[2];  // by Kind
    bool saturated;
};
Levels Measure(const std::uint8_t* rgba);

// Every pixel's transitions, frame by frame, and the windows they make flash. A frame is tried
// first (what it would do) and then kept as shown, so that the limiter can change it in between.
// A pixel whose bytes are those of the frame last kept can make no transition and stays where it
// stands, so only the pixels that change are measured: a calm frame costs a comparison a pixel.
class Steps {
  public:
    Steps(int width, int height, bool bottomUp = false);
    const Fields& fields() const { return fields_; }

    // Measures the next frame and works out what each pixel and window would do with it; a
    // frame tried before and not kept is forgotten.
    void Try(const std::uint8_t* rgba);
    // Keeps the tried frame as the one shown.
    void Keep();

    // The tried frame's mean relative luminance.
    double luminance() const { return triedTotal_ / static_cast<double>(lum_.size()); }
    // Per pixel, where each stands since the last frame kept.
    const std::vector<Tracker>& trackers(Kind kind) const { return trackers_[kind]; }
    // Per pixel, from the last Try: +1, -1 or 0.
    const std::vector<std::int8_t>& pixelSteps(Kind kind) const { return pixel_[kind]; }
    // Per window (row by row), from the last Try: its transitions of kind, 0, 1 or 2 (a quarter
    // of it rising and another falling).
    const std::vector<std::uint8_t>& windowSteps(Kind kind) const { return window_[kind]; }
    bool anyWindowSteps() const { return anyWindow_; }

  private:
    void CountWindows(Kind kind, int direction);

    Fields fields_;
    std::vector<std::uint32_t> kept_;  // the pixels of the frame last kept
    bool started_ = false;
    std::vector<float> lum_;  // per pixel: relative luminance, as kept
    double keptTotal_ = 0, triedTotal_ = 0;
    std::vector<Tracker> trackers_[2], tried_[2];  // tried_: at the changed pixels only
    std::vector<float> triedLum_;
    std::vector<std::uint32_t> changed_;  // the pixels that differ from the frame kept
    std::vector<std::uint32_t> tried_pixels_;
    std::vector<std::int8_t> pixel_[2];
    std::vector<std::uint8_t> window_[2];
    std::vector<std::uint32_t> table_;  // summed-area table, (width + 1) x (height + 1)
    bool anyWindow_ = false;
};

// The windows' transitions in a span of time, by kind: frames join at the end and leave at
// the front.
class Span {
  public:
    explicit Span(size_t windows);
    void PushBack(std::int64_t time, const Steps& steps);
    void PopFront();
    bool empty() const { return frames_.empty(); }
    std::int64_t frontTime() const { return frames_.front().time; }
    const std::vector<int>& counts(Kind kind) const { return counts_[kind]; }
    // The most transitions of kind any window holds.
    int Most(Kind kind) const;

  private:
    struct Frame {
        std::int64_t time;
        std::vector<std::uint32_t> windows[2];  // one entry per transition
    };
    std::deque<Frame> frames_;
    std::vector<int> counts_[2];
    long total_[2] = {0, 0};
};

}  // namespace flash
