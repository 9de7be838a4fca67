// Flash analysis of a sequence of RGBA frames, with the definitions of WCAG 2.3.1 (three flashes
// or below): general flashes and red flashes, counted in every one-second period.
//
// How a frame is read:
// - Colours are linearised from sRGB; relative luminance is 0.2126 R + 0.7152 G + 0.0722 B, the
//   red measure (R - G - B) x 320 (negative values as 0), saturated where R / (R + G + B) >= 0.8.
//   All in linear light, as the definitions are.
// - A 10-degree field is 341 x 256 pixels at 1024 x 768: a third of the picture's height, in
//   that shape. Its size follows the height (a viewer sits as far from a larger screen of the same
//   picture height), so a pillarboxed 16:9 frame keeps the 4:3 picture's fields.
// - The picture is cut into cells an eighth of a field high and wide (24 rows of cells; 24
//   columns at 4:3, 32 at 16:9). A cell's state is the median of its pixels. An area is 4 x 4
//   cells: a quarter of a field, half its width and height, at every cell position.
// - An area rises when its darkest cell lies a step above where its brightest cell was at the
//   lowest since the area last fell: every part of it is brighter than any part was. It falls the
//   other way round. So a change counts only when at least a quarter of some field makes it as a
//   whole, and thin lines, or a pattern moving across an area, do not.
// - General: a step of 0.1 in relative luminance, the darker state below 0.8. Red: a change of
//   more than 20 in the red measure, most of the area saturated red before or after.
// - An area's transitions alternate in direction; two of them are one flash (flash_count.h in
//   the capture tool counts them a second at a time; limiter.h keeps them under the limit).
//
// What it misses: a quarter of a field that flashes in a thin or scattered shape (no 4 x 4 cells
// lie mostly inside it), and flashes of separate small areas that together make a quarter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace flash {

constexpr double kGeneralStep = 0.1;    // relative luminance, of 1 at most
constexpr double kGeneralDarker = 0.8;  // the darker state must lie below this
constexpr double kRedStep = 20;         // (R - G - B) x 320
constexpr double kRedSaturation = 0.8;  // R / (R + G + B)
constexpr int kAreaCells = 4;           // an area's width and height in cells
constexpr int kCellRows = 6 * kAreaCells;

// sRGB to linear light, 0 to 1.
double Linear(std::uint8_t value);
// WCAG's relative luminance of an sRGB colour.
double RelativeLuminance(std::uint8_t r, std::uint8_t g, std::uint8_t b);

// The cell grid of a width x height picture: cell (column, row) spans pixels
// [c * width / columns, (c + 1) * width / columns) by the same for rows.
struct Grid {
    int width = 0, height = 0;
    int columns = 0, rows = 0;
    int areaColumns = 0, areaRows = 0;  // an area's size in cells
};
Grid MakeGrid(int width, int height);

enum Kind { kGeneral, kRed };

// A cell's state is what most of its pixels show: the median of each measure over its pixels,
// and whether more than half of them are saturated red. Lines that cover less than half a cell
// leave it as it is.
struct Cell {
    float level[2];  // by Kind
    bool saturated;
};
// The cells of a frame, row by row, and the frame's mean relative luminance.
std::vector<Cell> MeasureCells(const std::uint8_t* rgba, const Grid& grid, double* luminance);

// One area of one frame: its darkest and brightest cell by each kind's measure, and whether more
// than half its cells are saturated red.
struct Area {
    float low[2], high[2];
    bool saturated;
};
// The areas of a frame, at every cell position, row by row.
std::vector<Area> MeasureAreas(const std::vector<Cell>& cells, const Grid& grid);

// Whether a change from one level to another is a transition of kind, in either direction.
bool IsTransition(Kind kind, float from, bool fromSaturated, float to, bool toSaturated);

// An area's own transitions. An area's state spans its darkest to its brightest cell; it rises
// when its darkest cell passes, by the step, where its brightest cell was at the lowest since it
// last fell, and falls the other way round: the whole area moves, not a part of it.
struct Tracker {
    float floor = 0;    // the brightest cell's lowest level since the area last fell
    float ceiling = 0;  // the darkest cell's highest level since the area last rose
    bool floorSaturated = false, ceilingSaturated = false;
    int direction = 0;  // of the last transition: +1 up, -1 down, 0 none yet
    bool started = false;
};
// The transition the area makes with its next state: +1, -1 or 0.
int Track(Kind kind, Tracker* tracker, const Area& next);

}  // namespace flash
