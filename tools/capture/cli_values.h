// The values on flimrevo-capture's command line, read from their text and written back as text.
#pragma once

#include <cstdint>
#include <string>

#include "capture.h"

namespace capture {

constexpr int kMostFps = 1000;  // a frame a millisecond: the piece's clock goes no finer
constexpr std::int64_t kMostRateTerm = 1000000;
constexpr int kMostPixels = 8192;
constexpr double kMostScale = 8;
constexpr std::int64_t kMostSeconds = 1000000;

// A whole number of digits only, no sign, no spaces; false when it is larger than most.
bool ParseWhole(const std::string& text, std::int64_t most, std::int64_t* value);

// Seconds as a decimal ("31.15", "5", ".5"), to the nearest millisecond.
bool ParseSeconds(const std::string& text, std::int64_t* ms);

// WIDTHxHEIGHT, or a factor of the rendered size.
bool ParseSize(const std::string& text, OutputSize* size);

// N or NUM/DEN frames a second, from 1 to kMostFps, in lowest terms.
bool ParseRate(const std::string& text, Rate* rate);

// A:B with whole numbers, B optional (then *second stays as it was).
bool ParsePair(const std::string& text, char separator, std::int64_t most, std::int64_t* first,
               std::int64_t* second);

// Whether text ends with tail (lower case), whatever the case of its letters.
bool EndsWith(const std::string& text, const char* tail);

// Milliseconds as the shortest decimal of seconds: 31150 gives "31.15".
std::string SecondsText(std::int64_t ms);

std::string Quoted(const std::string& text);

}  // namespace capture
