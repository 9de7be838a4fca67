// The clear-colour and fog cues, through the GL state they leave, one frame after another in time
// order: the state carries over between frames, as in a run.
#include <GL/gl.h>

#include <array>

#include <gtest/gtest.h>

#include "support/gl_context.h"
#include "timeline/timeline.h"

namespace {

using Colour = std::array<float, 4>;

Colour Get(GLenum what) {
    Colour c{};
    glGetFloatv(what, c.data());
    return c;
}

TEST(Cues, ClearColourAndFogFollowTheirTablesInOrder) {
    testsupport::GlContext gl;
    ASSERT_TRUE(gl.ok());
    const Colour none = {0.25f, 0.5f, 0.75f, 1.0f};  // set by no cue
    const Colour black = {0, 0, 0, 0}, red = {1, 0, 0, 0}, green = {0, 1, 0, 0},
                 blue = {0, 0, 1, 0}, orange = {0.4f, 0.2f, 0, 0};
    glClearColor(none[0], none[1], none[2], none[3]);
    // density 0: fog still off. 10.8f lies above the double 10.8, 10.799999f below; 58 and 16.5
    // are on bounds, which no row holds.
    const struct {
        float t;
        Colour clear;
        float density, start, end;
    } frames[] = {
        {0.0f, none, 0, 0, 0},          {10.799999f, none, 0, 0, 0},  {10.8f, black, 0, 0, 0},
        {31.05f, black, 0, 0, 0},       {31.15f, red, 0, 0, 0},       {31.25f, black, 0, 0, 0},
        {31.35f, green, 0, 0, 0},       {31.45f, black, 0, 0, 0},     {31.55f, blue, 0, 0, 0},
        {31.65f, black, 0, 0, 0},       {31.75f, red, 0, 0, 0},       {31.85f, black, 0, 0, 0},
        {48.05f, black, 0, 0, 0},       {57.999996f, black, 0, 0, 0}, {58.0f, black, 0, 0, 0},
        {58.1f, orange, 0.1f, 1, 5},    {59.3f, orange, 0.9f, 1, 5},  {59.5f, orange, 0.1f, 1, 5},
        {59.7f, orange, 0.13f, 1, 5},   {61.5f, orange, 0.32f, 1, 5}, {62.7f, orange, 0.53f, 1, 5},
        {65.0f, orange, 0.54f, 1, 5},   {68.0f, orange, 0.54f, 1, 5}, {88.99f, orange, 0.54f, 1, 5},
        {90.0f, orange, 0.24f, 10, 50}, {96.0f, orange, 0.01f, 4, 5},
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(f.t);
        ApplyClearColourCues(f.t);
        ApplyFogCues(f.t);
        EXPECT_EQ(Get(GL_COLOR_CLEAR_VALUE), f.clear);
        EXPECT_EQ(glIsEnabled(GL_FOG), f.density != 0);
        if (f.density != 0) {
            EXPECT_EQ(Get(GL_FOG_DENSITY)[0], f.density);
            EXPECT_EQ(Get(GL_FOG_START)[0], f.start);
            EXPECT_EQ(Get(GL_FOG_END)[0], f.end);
            EXPECT_EQ(Get(GL_FOG_COLOR), (Colour{0.9f, 0.4f, 0, 0}));
            EXPECT_EQ(Get(GL_FOG_MODE)[0], GL_EXP);
            EXPECT_EQ(Get(GL_FOG_HINT)[0], GL_DONT_CARE);
        }
    }
}

}  // namespace
