#include <gtest/gtest.h>

#include <string>

#include "core/CPerfMeter.h"

namespace {

// 256 frames at 44100 Hz play for 5.8 ms; a check 6 ms into the call is slow.
constexpr int32_t kFrames = 256;
constexpr double kSlow = 0.006;
constexpr double kFast = 0.001;

} // namespace

TEST(CPerfMeter, TenSlowChecksTripTheGuardForNineMoreCalls) {
    CPerfMeter meter;
    for (int i = 0; i < 9; ++i)
        EXPECT_FALSE(meter.OverBudgetAfter(kSlow, kFrames)) << i;
    EXPECT_EQ(meter.slowCount, 9);
    EXPECT_TRUE(meter.OverBudgetAfter(kSlow, kFrames));
    EXPECT_EQ(meter.overloaded, 1);
    // One check per silent call: nine more calls are silent, whatever their
    // timing, then rendering resumes.
    for (int i = 0; i < 9; ++i)
        EXPECT_TRUE(meter.OverBudgetAfter(kFast, kFrames)) << i;
    EXPECT_EQ(meter.overloaded, 0);
    EXPECT_FALSE(meter.OverBudgetAfter(kFast, kFrames));
    EXPECT_EQ(meter.slowCount, 0);
}

TEST(CPerfMeter, AFastCheckRestartsTheCountAndALongCallIsStoppedAtOnce) {
    CPerfMeter meter;
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(meter.OverBudgetAfter(kSlow, kFrames));
    EXPECT_FALSE(meter.OverBudgetAfter(kFast, kFrames));
    EXPECT_EQ(meter.slowCount, 0);

    for (int i = 0; i < 3; ++i)
        meter.OverBudgetAfter(kSlow, kFrames);
    EXPECT_TRUE(meter.OverBudgetAfter(0.15, kFrames));
    EXPECT_EQ(meter.slowCount, 3);
    EXPECT_EQ(meter.overloaded, 0);
    EXPECT_DOUBLE_EQ(meter.lastElapsed, 0.15);
    // Exactly the call's length is still in time.
    EXPECT_FALSE(meter.OverBudgetAfter(kFrames / 44100.0, kFrames));
}

TEST(CPerfMeter, LoadTextAfterAWindowOf101Calls) {
    CPerfMeter meter;
    EXPECT_EQ(std::string(meter.GetText()), "?? %");
    double t = 10.0;
    for (int i = 0; i < 101; ++i) {
        meter.BeginBlockAt(t);
        EXPECT_EQ(meter.EndBlockAfter(0.0102, 256), 256);
        t += 0.03;
    }
    EXPECT_EQ(std::string(meter.GetText()), "?? %");
    // 101 calls busy for 1.0302 s in a window of 3.03 s: 34 percent.
    meter.BeginBlockAt(t);
    EXPECT_EQ(std::string(meter.GetText()), "34 %");
    EXPECT_NEAR(meter.load, 0.34, 1e-9);
    EXPECT_EQ(meter.callCount, 0);
    EXPECT_DOUBLE_EQ(meter.windowStart, t);

    for (int i = 0; i < 101; ++i) {
        meter.EndBlockAfter(0.0015, 256);
        t += 0.03;
        meter.BeginBlockAt(t);
    }
    EXPECT_EQ(std::string(meter.GetText()), " 5 %");
}

TEST(CPerfMeter, RealClockCallsMeasureSomething) {
    CPerfMeter meter;
    meter.BeginBlock();
    EXPECT_FALSE(meter.OverBudget(1 << 20));
    meter.EndBlock(32);
    EXPECT_EQ(meter.callCount, 1);
    EXPECT_GE(meter.busy, 0.0);
}
