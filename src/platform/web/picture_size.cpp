// The picture at the canvas's device pixels, by the rule the native build follows
// (platform/letterbox.h). The page says what size the canvas's drawing buffer is to have
// (page.drawingSize(): a live run's canvas in device pixels, as its ResizeObserver last saw it, or
// the size ?pixels= asks for; nothing for a still, which keeps the window's size). Before a frame
// the buffer takes that size, and the piece's picture is drawn at the largest rectangle of its
// window's shape in it, centred, borders black, lines wider in proportion to the height. The
// piece is not told: its window and the display mode stay 1024 x 768. Where the buffer is the
// window's size, nothing changes, not even a WebGL call.
#include <emscripten.h>

#include <algorithm>
#include <cmath>

#include "platform/letterbox.h"
#include "web/gl_state.h"
#include "web/web.h"

namespace {

// clang-format off
EM_JS(int, PageDrawingSize, (int* size), {
    const s = Module.page.drawingSize && Module.page.drawingSize();
    if (!s) return 0;
    HEAP32[size >> 2] = s[0];
    HEAP32[(size >> 2) + 1] = s[1];
    return 1;
});

// The canvas takes the size; `drawn` receives the drawing buffer's, which the browser may keep
// smaller than asked (its largest).
EM_JS(void, CanvasSize, (int width, int height, int* drawn), {
    const canvas = Module.page.canvas, gl = Module.gl.gl;
    if (canvas.width != width) canvas.width = width;
    if (canvas.height != height) canvas.height = height;
    HEAP32[drawn >> 2] = gl.drawingBufferWidth;
    HEAP32[(drawn >> 2) + 1] = gl.drawingBufferHeight;
});
// clang-format on

}  // namespace

namespace web {

void FollowCanvas(int width, int height) {
    using web_gl::state;
    int asked[2] = {0, 0}, drawn[2] = {0, 0};
    if (!state.context || width < 1 || height < 1 || !PageDrawingSize(asked) || asked[0] < 1 ||
        asked[1] < 1) {
        return;
    }
    CanvasSize(asked[0], asked[1], drawn);
    const platform::FitRect fit = platform::FitInside(width, height, drawn[0], drawn[1]);
    const int* now = state.picture;
    if (drawn[0] == state.buffer[0] && drawn[1] == state.buffer[1] && fit.x == now[0] &&
        fit.y == now[1] && fit.width == now[2] && fit.height == now[3]) {
        return;
    }
    // 1 pixel at the window's height, as the native build's glLineWidth(height / 768), rounded
    // to whole pixels as GL rounds an aliased line's width.
    const int line = std::max(1, static_cast<int>(std::lround(static_cast<double>(fit.height) /
                                                              static_cast<double>(height))));
    web_gl::Picture(fit.x, fit.y, fit.width, fit.height, drawn[0], drawn[1], line);
}

}  // namespace web
