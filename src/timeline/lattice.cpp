#include "timeline/timeline.h"

#include <cmath>

#include <GL/gl.h>

#include "geometry/cubes.h"

namespace {

struct LatticeBand {
    double start;
    double end;
    void (*draw)(float h, float alpha);
    float alpha;
};

// The bands do not overlap, so at most one draws the lattice in a frame. Shadow cubes pass alpha
// 3.0; the GL clamps it, so it draws as 1.0.
// clang-format off
const LatticeBand CubeLattice[] = {
    // start  end    primitive       alpha
    {0.0,   16.5,  DrawWireCube,   1.0f},
    {16.5,  26.5,  DrawShadowCube, 3.0f},
    {26.5,  68.0,  DrawWireCube,   1.0f},
    {68.0,  95.7,  DrawShadowCube, 3.0f},
};
// clang-format on

const int LatticeSize = 10;
const int LatticeOffset = 5;

// h = 0.1 (2 + sin(((t - i) - j sin((t - i) + k)) - i)), in double precision throughout and in
// exactly this order of steps, rounded once to single precision at the end.
float HalfSize(float t, int i, int j, int k) {
    const double d = static_cast<double>(t) - i;
    const double J = j;
    const double u = (static_cast<double>(t) - i) + k;
    const double s1 = std::sin(u);
    double w = d - s1 * J;
    w = w - i;
    const double s2 = std::sin(w);
    return static_cast<float>((s2 + 2.0) * 0.1);
}

}  // namespace

// 1,000 cubes at (k - 5, j - 5, i - 5): x changes fastest, then y, then z. The end test runs
// with every cube and never cuts the loops short, so the frame that ends the piece is drawn whole.
void DrawCubeLattice(float t, bool& pieceDone) {
    for (int i = 0; i < LatticeSize; ++i) {
        for (int j = 0; j < LatticeSize; ++j) {
            for (int k = 0; k < LatticeSize; ++k) {
                glPushMatrix();
                glTranslatef(static_cast<float>(k - LatticeOffset),
                             static_cast<float>(j - LatticeOffset),
                             static_cast<float>(i - LatticeOffset));
                for (const LatticeBand& band : CubeLattice) {
                    if (CueIsActive(band.start, band.end, t)) {
                        band.draw(HalfSize(t, i, j, k), band.alpha);
                    }
                }
                if (static_cast<double>(t) > PieceEndTime) {
                    pieceDone = true;
                }
                glPopMatrix();
            }
        }
    }
}
