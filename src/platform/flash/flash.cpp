#include "platform/flash/flash.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace flash {
namespace {

const std::array<float, 256>& LinearTable() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> values{};
        for (int i = 0; i < 256; ++i) {
            values[i] = static_cast<float>(Linear(static_cast<std::uint8_t>(i)));
        }
        return values;
    }();
    return table;
}

double Luminance(double r, double g, double b) {
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
}

float RedMeasure(float r, float g, float b) {
    return std::max(0.0f, (r - g - b) * 320.0f);
}

// The measures are read to 1/256 of their range: a bin of 0.0039 in luminance, 1.25 in red.
const int kBins = 256;
const float kRange[2] = {1.0f, 320.0f};

int Bin(Kind kind, float level) {
    return std::min(kBins - 1, static_cast<int>(level * (kBins / kRange[kind])));
}

// The middle of the bin that holds the median pixel.
float Median(Kind kind, const std::uint32_t* histogram, std::uint32_t pixels) {
    std::uint32_t below = 0;
    int bin = 0;
    while (bin < kBins - 1 && 2 * (below + histogram[bin]) <= pixels) {
        below += histogram[bin++];
    }
    return (bin + 0.5f) * (kRange[kind] / kBins);
}

// Where cell i of n along a length of pixels starts.
long Edge(long i, long length, long n) {
    return i * length / n;
}

}  // namespace

double Linear(std::uint8_t value) {
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double RelativeLuminance(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return Luminance(Linear(r), Linear(g), Linear(b));
}

Grid MakeGrid(int width, int height) {
    Grid grid;
    grid.width = width;
    grid.height = height;
    // Cells of a field's shape, 341 : 256, none smaller than a pixel.
    grid.rows = std::min(kCellRows, height);
    const double cellWidth = (341.0 / 256.0) * height / grid.rows;
    grid.columns = std::clamp(static_cast<int>(std::lround(width / cellWidth)), 1, width);
    grid.areaRows = std::max(1, grid.rows * kAreaCells / kCellRows);
    grid.areaColumns =
        std::clamp(static_cast<int>(std::lround(grid.areaRows * cellWidth * grid.columns / width)),
                   1, grid.columns);
    return grid;
}

std::vector<Cell> MeasureCells(const std::uint8_t* rgba, const Grid& grid, double* luminance) {
    const std::array<float, 256>& linear = LinearTable();
    std::vector<int> columnOf(grid.width);
    for (int c = 0; c < grid.columns; ++c) {
        std::fill(columnOf.begin() + Edge(c, grid.width, grid.columns),
                  columnOf.begin() + Edge(c + 1, grid.width, grid.columns), c);
    }
    const size_t cells = static_cast<size_t>(grid.columns) * grid.rows;
    // Per cell: a histogram of each measure, and its saturated pixels.
    std::vector<std::uint32_t> histograms(cells * 2 * kBins, 0);
    std::vector<std::uint32_t> saturated(cells, 0);
    double total = 0;
    for (int y = 0; y < grid.height; ++y) {
        const size_t rowStart = static_cast<size_t>(Edge(y, grid.rows, grid.height)) * grid.columns;
        const std::uint8_t* pixel = rgba + static_cast<size_t>(y) * grid.width * 4;
        for (int x = 0; x < grid.width; ++x, pixel += 4) {
            const float r = linear[pixel[0]], g = linear[pixel[1]], b = linear[pixel[2]];
            const float levels[2] = {static_cast<float>(Luminance(r, g, b)), RedMeasure(r, g, b)};
            const size_t cell = rowStart + columnOf[x];
            std::uint32_t* histogram = &histograms[cell * 2 * kBins];
            for (int k = 0; k < 2; ++k) {
                ++histogram[k * kBins + Bin(static_cast<Kind>(k), levels[k])];
            }
            saturated[cell] += r + g + b > 0 && r >= kRedSaturation * (r + g + b);
            total += levels[0];
        }
    }
    std::vector<Cell> result(cells);
    for (size_t i = 0; i < cells; ++i) {
        const std::uint32_t* histogram = &histograms[i * 2 * kBins];
        std::uint32_t pixels = 0;
        for (int bin = 0; bin < kBins; ++bin) {
            pixels += histogram[bin];
        }
        for (int k = 0; k < 2; ++k) {
            result[i].level[k] = Median(static_cast<Kind>(k), histogram + k * kBins, pixels);
        }
        result[i].saturated = 2 * saturated[i] > pixels;
    }
    *luminance = total / (static_cast<double>(grid.width) * grid.height);
    return result;
}

std::vector<Area> MeasureAreas(const std::vector<Cell>& cells, const Grid& grid) {
    std::vector<Area> areas;
    const int size = grid.areaColumns * grid.areaRows;
    for (int top = 0; top + grid.areaRows <= grid.rows; ++top) {
        for (int left = 0; left + grid.areaColumns <= grid.columns; ++left) {
            Area area{{1e9f, 1e9f}, {-1e9f, -1e9f}, false};
            int saturated = 0;
            for (int y = top; y < top + grid.areaRows; ++y) {
                for (int x = left; x < left + grid.areaColumns; ++x) {
                    const Cell& cell = cells[static_cast<size_t>(y) * grid.columns + x];
                    for (int k = 0; k < 2; ++k) {
                        area.low[k] = std::min(area.low[k], cell.level[k]);
                        area.high[k] = std::max(area.high[k], cell.level[k]);
                    }
                    saturated += cell.saturated;
                }
            }
            area.saturated = 2 * saturated > size;
            areas.push_back(area);
        }
    }
    return areas;
}

bool IsTransition(Kind kind, float from, bool fromSaturated, float to, bool toSaturated) {
    if (kind == kGeneral) {
        return std::fabs(to - from) >= kGeneralStep && std::min(from, to) < kGeneralDarker;
    }
    return std::fabs(to - from) > kRedStep && (fromSaturated || toSaturated);
}

int Track(Kind kind, Tracker* tracker, const Area& next) {
    Tracker& t = *tracker;
    const float low = next.low[kind], high = next.high[kind];
    const bool saturated = next.saturated;
    if (!t.started) {
        t = Tracker{high, low, saturated, saturated, 0, true};
        return 0;
    }
    // A rise ends the run of falls: falls are measured from here on, and the other way round.
    if (t.direction != 1 && low > t.floor &&
        IsTransition(kind, t.floor, t.floorSaturated, low, saturated)) {
        t.direction = 1;
        t.ceiling = low;
        t.ceilingSaturated = saturated;
        return 1;
    }
    if (t.direction != -1 && high < t.ceiling &&
        IsTransition(kind, t.ceiling, t.ceilingSaturated, high, saturated)) {
        t.direction = -1;
        t.floor = high;
        t.floorSaturated = saturated;
        return -1;
    }
    if (high < t.floor) {
        t.floor = high;
        t.floorSaturated = saturated;
    }
    if (low > t.ceiling) {
        t.ceiling = low;
        t.ceilingSaturated = saturated;
    }
    return 0;
}

}  // namespace flash
