// The letterbox fit: where a picture lands inside a frame of another size, as large as the frame
// holds with the picture's aspect kept, centred. Used where the fullscreen picture is scaled to
// the screen and where the capture scales its frames to an output size.
#pragma once

#include <algorithm>
#include <cstdint>

namespace platform {

struct FitRect {
    int x, y, width, height;
};

inline FitRect FitInside(int sourceWidth, int sourceHeight, int outputWidth, int outputHeight) {
    // Compare the aspects in integers: width-bound when outW / srcW <= outH / srcH. The other
    // side is rounded to the nearest pixel.
    const std::int64_t byWidth = static_cast<std::int64_t>(outputWidth) * sourceHeight;
    const std::int64_t byHeight = static_cast<std::int64_t>(outputHeight) * sourceWidth;
    FitRect fit;
    if (byWidth <= byHeight) {
        fit.width = outputWidth;
        fit.height = static_cast<int>((byWidth * 2 + sourceWidth) / (2 * sourceWidth));
    } else {
        fit.height = outputHeight;
        fit.width = static_cast<int>((byHeight * 2 + sourceHeight) / (2 * sourceHeight));
    }
    fit.width = std::max(1, fit.width);
    fit.height = std::max(1, fit.height);
    fit.x = (outputWidth - fit.width) / 2;
    fit.y = (outputHeight - fit.height) / 2;
    return fit;
}

}  // namespace platform
