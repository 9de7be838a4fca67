// The clear-colour cues, checked against the colour the GL holds after the stage.
#include <GL/gl.h>

#include <array>

#include <gtest/gtest.h>

#include "support/gl_context.h"
#include "timeline/timeline.h"

namespace {

using Colour = std::array<float, 4>;

const Colour Sentinel = {0.25f, 0.5f, 0.75f, 1.0f};

// The clear colour after the stage runs at t, starting from a colour no cue sets.
Colour ClearColourAt(float t) {
    glClearColor(Sentinel[0], Sentinel[1], Sentinel[2], Sentinel[3]);
    ApplyClearColourCues(t);
    Colour c;
    glGetFloatv(GL_COLOR_CLEAR_VALUE, c.data());
    return c;
}

TEST(ClearColourTest, StrobeOverridesBlackAndMagentaNeverShows) {
    testsupport::GlContext gl;
    ASSERT_TRUE(gl.ok());
    const Colour black = {0, 0, 0, 0}, red = {1, 0, 0, 0}, green = {0, 1, 0, 0},
                 blue = {0, 0, 1, 0}, orange = {0.4f, 0.2f, 0, 0};
    const struct {
        float t;
        Colour colour;
    } cases[] = {
        {10.8f, black},  {31.05f, black}, {31.15f, red},   {31.25f, black},
        {31.35f, green}, {31.45f, black}, {31.55f, blue},  {31.65f, black},
        {31.75f, red},   {31.85f, black}, {40.0f, black},  {48.0f, black},
        {48.05f, black}, {48.09f, black}, {58.5f, orange}, {92.7f, orange},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClearColourAt(c.t), c.colour) << "t = " << c.t;
    }
}

TEST(ClearColourTest, BeforeTheFirstCueNothingIsSet) {
    testsupport::GlContext gl;
    ASSERT_TRUE(gl.ok());
    // 10.8f lies above the double 10.8 and is black; the float below it is not. 58 is no time
    // the clock gives, but no row holds it either.
    for (float t : {0.0f, 5.0f, 10.799999f, 58.0f}) {
        EXPECT_EQ(ClearColourAt(t), Sentinel) << "t = " << t;
    }
}

}  // namespace
