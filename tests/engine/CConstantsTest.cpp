#include "engine/CConstants.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The scales come in pairs of a power of two and its reciprocal; a slip in
// one digit of either would detune or rescale a whole stage.
TEST(CConstants, ScalesArePowersOfTwoAndTheirReciprocals)
{
    const CConstants& c = g_Constants;
    EXPECT_EQ(c.scale4096 * c.inv4096, 1.0f);
    EXPECT_EQ(c.scale65536 * c.inv65536, 1.0f);
    EXPECT_EQ(c.phase24, std::ldexp(1.0f, 24));
    EXPECT_EQ(c.phase23, std::ldexp(1.0f, 23));
    EXPECT_FLOAT_EQ(c.noiseScale, std::ldexp(1.0f, -31));
    EXPECT_FLOAT_EQ(c.randomLfoScale, std::ldexp(1.0f, -24));
    EXPECT_FLOAT_EQ(c.semitone * c.invSemitone, 1.0f);
    EXPECT_FLOAT_EQ(c.inv24 * 24.0f, 1.0f);
    EXPECT_NEAR(kPitchWidthMin / c.phase24, 0.02, 1e-6);
    EXPECT_NEAR(kPitchWidthMax / c.phase24, 1.98, 1e-6);
    // The time scale starts slow; the control stage sets it to 1.0 (on the
    // shared instance, so a test that ran a tick before this one has moved
    // it: a fresh instance shows the start).
    EXPECT_EQ(CConstants().timeScale, 0.15f);
}

} // namespace
