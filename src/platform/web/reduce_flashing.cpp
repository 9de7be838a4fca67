// Reduced flashing on the web back end, as on the SDL one (sdl/reduce_flashing.cpp): SwapBuffers
// hands each finished picture on the canvas to the flash limiter, and draws back what it changed.
// The page asks for it (page.reducedFlashing: its "Reduce flashing" option or ?reduced-flashing),
// read once when the GL context is made, before the piece draws. Off, nothing here runs.
#include <emscripten.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/flash/limiter.h"
#include "web/web.h"

namespace {

// clang-format off
EM_JS(int, PageReducedFlashing, (), {
    return Module.page.reducedFlashing ? 1 : 0;
});

// The picture's rectangle in the canvas (webgl.cpp): the whole canvas unless the canvas is larger
// than the picture's shape.
EM_JS(int, PictureWidth, (), { return Module.gl.fit[2]; });
EM_JS(int, PictureHeight, (), { return Module.gl.fit[3]; });

// The picture, bottom row first.
EM_JS(void, CanvasRead, (std::uint8_t* to, int width, int height), {
    const gl = Module.gl.gl, fit = Module.gl.fit;
    gl.readPixels(fit[0], fit[1], width, height, gl.RGBA, gl.UNSIGNED_BYTE,
                  HEAPU8.subarray(to, to + width * height * 4));
});

// Covers the picture (the viewport) with a picture, bottom row first, pixel for pixel, and puts
// the piece's own program, buffer and vertex layout (webgl.cpp) back.
EM_JS(void, CanvasDraw, (const std::uint8_t* from, int width, int height), {
    const g = Module.gl, gl = g.gl;
    if (!g.copy) {
        const program = g.link(
            "attribute vec2 a; varying vec2 t; void main() { t = a; gl_Position = vec4(2.0 * a - 1.0, 0.0, 1.0); }",
            "precision mediump float; uniform sampler2D s; varying vec2 t;" +
            "void main() { gl_FragColor = texture2D(s, t); }",
            ["a"]);
        const texture = gl.createTexture();
        gl.bindTexture(gl.TEXTURE_2D, texture);
        for (const p of [gl.TEXTURE_MIN_FILTER, gl.TEXTURE_MAG_FILTER]) gl.texParameteri(gl.TEXTURE_2D, p, gl.NEAREST);
        for (const p of [gl.TEXTURE_WRAP_S, gl.TEXTURE_WRAP_T]) gl.texParameteri(gl.TEXTURE_2D, p, gl.CLAMP_TO_EDGE);
        const buffer = gl.createBuffer();
        gl.bindBuffer(gl.ARRAY_BUFFER, buffer);
        gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([0, 0, 1, 0, 0, 1, 1, 1]), gl.STATIC_DRAW);
        g.copy = {program, texture, buffer};
    }
    gl.bindTexture(gl.TEXTURE_2D, g.copy.texture);
    gl.pixelStorei(gl.UNPACK_ALIGNMENT, 4);
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, width, height, 0, gl.RGBA, gl.UNSIGNED_BYTE,
                  HEAPU8.subarray(from, from + width * height * 4));
    gl.useProgram(g.copy.program);
    gl.bindBuffer(gl.ARRAY_BUFFER, g.copy.buffer);
    gl.disableVertexAttribArray(1);
    gl.vertexAttribPointer(0, 2, gl.FLOAT, false, 8, 0);
    gl.drawArrays(gl.TRIANGLE_STRIP, 0, 4);
    gl.useProgram(g.program);
    gl.bindBuffer(gl.ARRAY_BUFFER, g.buffer);
    g.vertexLayout();
});
// clang-format on

struct Reduction {
    bool on = false;
    std::unique_ptr<flash::Limiter> limiter;
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
};

Reduction reduction;

}  // namespace

namespace web {

void StartReducedFlashing() {
    reduction = Reduction();
    reduction.on = PageReducedFlashing() != 0;
}

bool ReducedFlashing() {
    return reduction.on;
}

void ReduceFlashing(std::uint32_t tick) {
    Reduction& r = reduction;
    const int width = PictureWidth(), height = PictureHeight();
    if (!r.limiter || r.width != width || r.height != height) {
        r.width = width;
        r.height = height;
        r.limiter = std::make_unique<flash::Limiter>(width, height);
        r.pixels.resize(static_cast<size_t>(width) * height * 4);
    }
    // GL's rows come bottom row first, as the limiter takes them by default.
    CanvasRead(r.pixels.data(), width, height);
    if (r.limiter->Limit(r.pixels.data(), tick)) {
        CanvasDraw(r.pixels.data(), width, height);
    }
}

}  // namespace web
