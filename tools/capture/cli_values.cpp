#include "cli_values.h"

#include <cstdio>
#include <cstring>

namespace capture {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::int64_t Gcd(std::int64_t a, std::int64_t b) {
    return b == 0 ? a : Gcd(b, a % b);
}

}  // namespace

// A whole number of digits only, no sign, no spaces; false when it is larger than most.
bool ParseWhole(const std::string& text, std::int64_t most, std::int64_t* value) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    std::int64_t number = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            return false;
        }
        number = number * 10 + (c - '0');
    }
    *value = number;
    return number <= most;
}

// Seconds as a decimal ("31.15", "5", ".5"), to the nearest millisecond. Read digit by digit, so
// that 31.15 is 31 150 ms exactly rather than whatever a binary double makes of it.
bool ParseSeconds(const std::string& text, std::int64_t* ms) {
    const size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    if (whole.empty() && fraction.empty()) {
        return false;
    }
    std::int64_t seconds = 0;
    if (!whole.empty() && !ParseWhole(whole, kMostSeconds, &seconds)) {
        return false;
    }
    std::int64_t thousandths = 0;
    for (size_t i = 0; i < fraction.size(); ++i) {
        if (!IsDigit(fraction[i])) {
            return false;
        }
        if (i < 3) {
            thousandths = thousandths * 10 + (fraction[i] - '0');
        }
    }
    for (size_t i = fraction.size(); i < 3; ++i) {
        thousandths *= 10;
    }
    const bool roundUp = fraction.size() > 3 && fraction[3] >= '5';
    *ms = seconds * 1000 + thousandths + (roundUp ? 1 : 0);
    return true;
}

// WIDTHxHEIGHT, or a factor of the rendered size.
bool ParseSize(const std::string& text, OutputSize* size) {
    const size_t x = text.find('x');
    if (x != std::string::npos) {
        std::int64_t width = 0, height = 0;
        if (!ParseWhole(text.substr(0, x), kMostPixels, &width) ||
            !ParseWhole(text.substr(x + 1), kMostPixels, &height) || width < 2 || height < 2) {
            return false;
        }
        size->width = static_cast<int>(width);
        size->height = static_cast<int>(height);
        size->scale = 0;
        return true;
    }
    // The factor as thousandths, read as seconds are.
    std::int64_t thousandths = 0;
    if (!ParseSeconds(text, &thousandths) || thousandths <= 0 ||
        thousandths > static_cast<std::int64_t>(kMostScale * 1000)) {
        return false;
    }
    size->width = size->height = 0;
    size->scale = static_cast<double>(thousandths) / 1000.0;
    return true;
}

bool EndsWith(const std::string& text, const char* tail) {
    const size_t length = std::strlen(tail);
    if (text.size() < length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        char c = text[text.size() - length + i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != tail[i]) {
            return false;
        }
    }
    return true;
}

// Milliseconds as the shortest decimal of seconds: 31150 gives "31.15".
std::string SecondsText(std::int64_t ms) {
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms % 1000));
        text += fraction;
        while (text.back() == '0') {
            text.pop_back();
        }
    }
    return text;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// N or NUM/DEN frames a second, from 1 to kMostFps, in lowest terms.
bool ParseRate(const std::string& text, Rate* rate) {
    const size_t slash = text.find('/');
    std::int64_t num = 0, den = 1;
    if (!ParseWhole(text.substr(0, slash), kMostRateTerm, &num) ||
        (slash != std::string::npos && !ParseWhole(text.substr(slash + 1), kMostRateTerm, &den)) ||
        den < 1 || num < den || num > kMostFps * den) {
        return false;
    }
    const std::int64_t gcd = Gcd(num, den);
    *rate = Rate{num / gcd, den / gcd};
    return true;
}

// A:B with whole numbers, B optional (then *second stays as it was).
bool ParsePair(const std::string& text, char separator, std::int64_t most, std::int64_t* first,
               std::int64_t* second) {
    const size_t at = text.find(separator);
    return ParseWhole(text.substr(0, at), most, first) &&
           (at == std::string::npos || ParseWhole(text.substr(at + 1), most, second));
}

}  // namespace capture
