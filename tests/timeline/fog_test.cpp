// The fog cues, through the calls they make (recorded on their way to the GL) and the fog state
// the GL holds afterwards. GL state carries over between frames, so the frames run in order.
#include <GL/gl.h>

#include <gtest/gtest.h>

#include "support/gl_context.h"
#include "timeline/gl_recorder.h"
#include "timeline/timeline.h"

namespace {

float FogValue(GLenum what) {
    GLfloat v = 0;
    glGetFloatv(what, &v);
    return v;
}

std::vector<glrecord::Call> FogFrame(float t) {
    glrecord::Start();
    ApplyFogCues(t);
    return glrecord::Stop();
}

void ExpectFogInForce(float density, float start, float end, float t) {
    EXPECT_TRUE(glIsEnabled(GL_FOG)) << "t = " << t;
    EXPECT_EQ(FogValue(GL_FOG_DENSITY), density) << "t = " << t;
    EXPECT_EQ(FogValue(GL_FOG_START), start) << "t = " << t;
    EXPECT_EQ(FogValue(GL_FOG_END), end) << "t = " << t;
}

TEST(FogTest, FogComesOnAt58ThickensInStepsAndIsNeverTurnedOff) {
    testsupport::GlContext gl;
    ASSERT_TRUE(gl.ok());

    // Below 58, down to the float just under it, nothing is called.
    for (float t : {0.0f, 20.0f, 57.999996f}) {
        EXPECT_TRUE(FogFrame(t).empty()) << "t = " << t;
        EXPECT_FALSE(glIsEnabled(GL_FOG));
    }

    const auto first = FogFrame(58.1f);
    ASSERT_EQ(first.size(), 7u);
    const char* order[7] = {"glFogi", "glFogfv", "glFogf",  "glHint",
                            "glFogf", "glFogf",  "glEnable"};
    const GLenum what[7] = {GL_FOG_MODE,  GL_FOG_COLOR, GL_FOG_DENSITY, GL_FOG_HINT,
                            GL_FOG_START, GL_FOG_END,   GL_FOG};
    for (int n = 0; n < 7; ++n) {
        EXPECT_TRUE(glrecord::Is(first[static_cast<size_t>(n)], order[n])) << n;
        EXPECT_EQ(first[static_cast<size_t>(n)].what, what[n]) << n;
    }
    EXPECT_EQ(first[0].arg[0], static_cast<float>(GL_EXP));
    EXPECT_EQ(first[1].arg[0], 0.9f);
    EXPECT_EQ(first[1].arg[1], 0.4f);
    EXPECT_EQ(first[1].arg[2], 0.0f);
    EXPECT_EQ(first[1].arg[3], 0.0f);
    EXPECT_EQ(first[3].arg[0], static_cast<float>(GL_DONT_CARE));
    ExpectFogInForce(0.1f, 1, 5, 58.1f);

    // Rows 9 and 10 share (59.6, 59.8): fourteen calls, and the later row's density stays.
    const auto both = FogFrame(59.7f);
    EXPECT_EQ(both.size(), 14u);
    ExpectFogInForce(0.13f, 1, 5, 59.7f);

    const struct {
        float t;
        float density, start, end;
    } steps[] = {{59.3f, 0.9f, 1, 5},  {59.5f, 0.1f, 1, 5},  {61.5f, 0.32f, 1, 5},
                 {62.7f, 0.53f, 1, 5}, {65.0f, 0.54f, 1, 5}, {90.0f, 0.24f, 10, 50},
                 {96.0f, 0.01f, 4, 5}};
    for (const auto& s : steps) {
        FogFrame(s.t);
        ExpectFogInForce(s.density, s.start, s.end, s.t);
    }

    // From 68 to 89 no row is active and the last fog stays on; mode GL_EXP all along.
    FogFrame(65.0f);
    int calls = 0;
    for (float t : {68.0f, 75.0f, 88.99f}) {
        const auto none = FogFrame(t);
        calls += static_cast<int>(none.size());
        ExpectFogInForce(0.54f, 1, 5, t);
    }
    EXPECT_EQ(calls, 0);
    GLint mode = 0;
    glGetIntegerv(GL_FOG_MODE, &mode);
    EXPECT_EQ(mode, GL_EXP);
}

TEST(FogTest, EveryCallAsksForExpFogAndNothingIsDisabled) {
    testsupport::GlContext gl;
    ASSERT_TRUE(gl.ok());
    glrecord::Start();
    for (int ms = 0; ms <= 100000; ms += 50) {
        ApplyFogCues(static_cast<float>(ms * 0.001));
    }
    const auto calls = glrecord::Stop();
    EXPECT_EQ(glrecord::Count(calls, "glDisable"), 0);
    EXPECT_GT(glrecord::Count(calls, "glFogi"), 0);
    for (const auto& call : calls) {
        if (glrecord::Is(call, "glFogi")) {
            EXPECT_EQ(call.arg[0], static_cast<float>(GL_EXP));
        }
        if (glrecord::Is(call, "glEnable")) {
            EXPECT_EQ(call.what, static_cast<GLenum>(GL_FOG));
        }
    }
}

}  // namespace
