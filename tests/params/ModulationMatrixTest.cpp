#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>

#include "params/ModulationTables.h"
#include "ModelFixture.h"

using namespace modtables;

namespace {

struct Result {
    std::string text;
    float depth;
    float scale = 0.0f;
    bool hasScale = false;
};

// Runs the converter that (source, destination) selects.
Result Conv(int source, int destination, float amount) {
    Result r;
    char text[128] = "untouched";
    r.depth = Convert(ConverterOf(source, destination), amount, text, sizeof(text), &r.scale,
                      &r.hasScale);
    r.text = text;
    return r;
}

constexpr int kPitch = 0, kWM1 = 2, kFM2 = 5, kMix1 = 8, kCutoff1 = 13, kSpec1 = 57, kEG1A = 58;
constexpr int kKeyTrack = 1, kVelocity = 3;

}  // namespace

TEST(ModulationConverters, CentreAndEndsOfEveryFamily) {
    // Centre: no modulation, a depth that is not exactly zero.
    EXPECT_EQ(Conv(kVelocity, kWM1, 64).text, "+0.00");
    EXPECT_EQ(Conv(kVelocity, kWM1, 64).depth, 0.000000001f);
    const struct {
        int source, destination;
        float amount;
        const char* text;
    } texts[] = {
        {kVelocity, kWM1, 128, "+1.00"},           {kVelocity, kWM1, 0, "-1.00"},
        {kVelocity, kSpec1, 32, "-0.2500"},        // signed square
        {kKeyTrack, kSpec1, 96, "+0.2500"},        // no per-octave twin here
        {kVelocity, kEG1A, 0, "0.000008 x"},       // time factor: 2^-17 and 2^17 at the ends
        {kVelocity, kEG1A, 128, "131072.00 x"},    {kVelocity, kEG1A, 64, "    1.00 x"},
        {kKeyTrack, kEG1A, 128, "19.03 x/Oct"},    {kVelocity, kFM2, 96, "+8.00"},
        {kVelocity, kPitch, 64, "+0:00:00"},       {kVelocity, kPitch, 74, "+0:00:10"},   // d 10: cents
        {kVelocity, kPitch, 75, "+0:00:15"},       // d 11: 5 d - 40
        {kVelocity, kPitch, 86, "+0:00:90"},       // d 22: 10 d - 130
        {kVelocity, kPitch, 90, "+0:04:00"},       // d 26: semitones
        {kVelocity, kPitch, 100, "+1:04:00"},      {kVelocity, kPitch, 40, "-0:02:00"},   // d 24, below
        {kKeyTrack, kPitch, 63, "-00:00:005/Oct"}, {kKeyTrack, kPitch, 60, "-0:00:03/Oct"},  // d 4
        {kKeyTrack, kPitch, 94, "+0:02:50/Oct"},   // d 30
        {kKeyTrack, kPitch, 101, "+0:04:50/Oct"},  // d 37
        {kVelocity, kCutoff1, 80, "+0:06:00"},     {kVelocity, kCutoff1, 128, "+8:00:00"},
    };
    for (const auto& t : texts)
        EXPECT_EQ(Conv(t.source, t.destination, t.amount).text, t.text) << t.destination << " " << t.amount;

    // Texts with their depths.
    const struct {
        int source, destination;
        float amount;
        const char* text;
        float depth;
    } depths[] = {
        {kKeyTrack, kWM1, 128, "+0.25/Oct", 4.0f},            // linear per octave
        {kVelocity, kSpec1, 32, "-0.2500", -0.25f},
        {kKeyTrack, kMix1, 128, "+15.0 dB/Oct", 4.0f},        // level per octave
        {kKeyTrack, kFM2, 80, "+1.00/Oct", 1.0f},
        {kVelocity, kPitch, 128, "+10:00:00", 10.0f / 16.0f},
        {kVelocity, kPitch, 0, "-10:00:00", -10.0f / 16.0f},
        {kVelocity, kPitch, 105, "+2:04:00", (2.0f + 4.0f / 12.0f) / 16.0f},  // d 41
        {kKeyTrack, kPitch, 120, "+1:04:00/Oct", 1.0f + 4.0f / 12.0f},        // d 56
        {kVelocity, kCutoff1, 96, "+2:00:00", 0.25f},         // w = 0.25, 2 octaves
        {kVelocity, kCutoff1, 32, "-2:00:00", -0.25f},
        {kKeyTrack, kCutoff1, 128, "+2:00:00/Oct", 2.4f},
    };
    for (const auto& d : depths) {
        const Result r = Conv(d.source, d.destination, d.amount);
        EXPECT_EQ(r.text, d.text);
        EXPECT_FLOAT_EQ(r.depth, d.depth) << d.text;
    }
    // Per octave (key tracking) on pitch: half a cent first.
    Result r = Conv(kKeyTrack, kPitch, 65);
    EXPECT_EQ(r.text, "+00:00:005/Oct");
    EXPECT_NEAR(r.depth, 1.0f / 2400.0f, 1e-7);

    // Level on "Mix 1" with velocity: a scale value only for positive amounts.
    r = Conv(kVelocity, kMix1, 0);
    EXPECT_EQ(r.text, "-60.0 dB");
    EXPECT_TRUE(r.hasScale);
    EXPECT_EQ(r.scale, 0.0f);
    EXPECT_NEAR(r.depth, -1.0f, 1e-6);
    r = Conv(kVelocity, kMix1, 128);
    EXPECT_EQ(r.text, "+60.0 dB");
    EXPECT_TRUE(r.hasScale);
    EXPECT_NEAR(r.scale, -1.0f, 1e-6);
    EXPECT_FALSE(Conv(9, kMix1, 128).hasScale);  // an LFO uses the plain linear converter
}

TEST(ModulationConverters, AmountsOutsideTheKnobRangeAreLimited) {
    EXPECT_EQ(Conv(kVelocity, kPitch, 500).text, "+10:00:00");
    EXPECT_EQ(Conv(kVelocity, kPitch, -3).text, "-10:00:00");
    EXPECT_EQ(Conv(kVelocity, kEG1A, 1e30f).text, "131072.00 x");
    Result r = Conv(kVelocity, kWM1, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(r.text, "-1.00");
    EXPECT_FALSE(std::isnan(r.depth));
    // Without a text buffer only the depth is computed.
    EXPECT_FLOAT_EQ(Convert(kLinear, 96, nullptr, 0, nullptr, nullptr), 0.5f);
}

TEST(ModulationTables, SourceCodes) {
    for (auto [a, b, want] : std::initializer_list<std::tuple<int, int, unsigned>>{
        {0, 0, 0u}, {1, 13, 173u}, {5, 2, 81u}, {21, 5, 231u}, {36, 89, 279u}})
        EXPECT_EQ(SourceCode(a, b), want) << a << " " << b;
}

TEST(ModulationTables, TargetCodesAndScale) {
    for (auto [a, b, want] : std::initializer_list<std::tuple<int, int, unsigned>>{
        {0, 0, 144u}, {8, 5, 4u}, {9, 5, 280u}, {32, 22, 0u}, {4, 81, 223u}, {5, 89, 271u}})
        EXPECT_EQ(TargetCode2(a, b), want) << a << " " << b;
    for (auto [a, b, want] : std::initializer_list<std::tuple<int, int, unsigned>>{
        {0, 1, 280u}, {32, 0, 0u}, {13, 8, 7u}, {14, 8, 280u}, {4, 49, 51u}, {1, 85, 240u}})
        EXPECT_EQ(TargetCode1(a, b), want) << a << " " << b;
    for (auto [a, b, want] : std::initializer_list<std::tuple<int, int, float>>{
        {9, 5, 1.0f}, {14, 8, 0.0f}, {4, 56, 1.0f}, {3, 56, 0.0f}})
        EXPECT_EQ(ScaleValue(a, b), want) << a << " " << b;
}

TEST(ModulationTables, ConverterChoice) {
    for (auto [a, b, want] : std::initializer_list<std::tuple<int, int, int>>{
        {0, 0, kPitchInterval}, {1, 0, kPitchIntervalPerOctave}, {3, 8, kLevel}, {13, 8, kLinear},
        {15, 71, kTimeFactor}, {21, 42, kFrequencyInterval}, {1, 57, kSignedSquare}, {9, 5, kFMAmount}})
        EXPECT_EQ(ConverterOf(a, b), want) << a << " " << b;
}

TEST(ModulationTables, OutOfRangeIndexesAreClampedAtBothEnds) {
    EXPECT_EQ(SourceCode(37, 0), SourceCode(36, 0));
    EXPECT_EQ(SourceCode(-1, 0), SourceCode(0, 0));
    EXPECT_EQ(TargetCode2(0, 90), TargetCode2(0, 89));
    EXPECT_EQ(TargetCode2(0, -4), TargetCode2(0, 0));
    EXPECT_EQ(TargetCode1(1000, 1000), TargetCode1(36, 89));
    EXPECT_EQ(ScaleValue(-7, 90), ScaleValue(0, 89));
    EXPECT_EQ(ConverterOf(37, 90), ConverterOf(36, 89));
}

TEST(ModulationDestinations, ParameterIdsMapToTheirDestination) {
    for (auto [id, want] : std::initializer_list<std::pair<int, int>>{
        {222, 80}, {226, 81}, {214, 78}, {218, 79}, {148, 0}, {63, 57}, {363, 89}, {2, -1}, {36, -1}, {-1, -1}})
        EXPECT_EQ(GetModDestination(id), want) << id;
    EXPECT_TRUE(IsModDestination(16));
    EXPECT_FALSE(IsModDestination(5));
}

using RoutingTest = ModelFixture;

TEST_F(RoutingTest, SourceAndDestinationChangesWriteTheEngineCodesAndDepth) {
    const int part = 2, i = 4;
    float* r = Record(part);
    r[36 + i] = 128.0f;
    r[85 + i] = 0.0f;  // pitch
    r[65 + i] = 3.0f;  // velocity
    model->OnRoutingSourceChanged(part, 65 + i, 3);
    EXPECT_EQ(Cell(part, 65 + i), 76u);
    EXPECT_EQ(Cell(part, 85 + i), 280u);
    EXPECT_EQ(Cell(part, 105 + i), 144u);
    EXPECT_EQ(CellF(part, 125 + i), 0.0f);
    EXPECT_FLOAT_EQ(Target(part, 36 + i), 0.625f);

    // "Mix 1" with an LFO: scale value 1.0 from the table.
    r[65 + i] = 9.0f;
    r[85 + i] = 8.0f;
    model->OnRoutingDestinationChanged(part, 85 + i, 8);
    EXPECT_EQ(Cell(part, 65 + i), 89u);
    EXPECT_EQ(Cell(part, 85 + i), 7u);
    EXPECT_EQ(Cell(part, 105 + i), 280u);
    EXPECT_EQ(CellF(part, 125 + i), 1.0f);

    // Velocity on "Mix 1": the level converter overrides the scale value.
    r[65 + i] = 3.0f;
    model->OnRoutingSourceChanged(part, 65 + i, 3);
    EXPECT_NEAR(CellF(part, 125 + i), -1.0f, 1e-6);
    model->UpdateRoutingDepth(part, 36 + i, 0.0f);
    EXPECT_EQ(CellF(part, 125 + i), 0.0f);
    EXPECT_NEAR(Target(part, 36 + i), -1.0f, 1e-6);

    // Other parts and routings are untouched.
    EXPECT_EQ(Target(part, 36 + i + 1), 0.0f);
    EXPECT_EQ(Cell(part + 1, 65 + i), 0u);
}

TEST_F(RoutingTest, DamagedRoutingValuesStayInsideTheTables) {
    const int part = 0, i = 19;
    float* r = Record(part);
    r[65 + i] = 37.0f;
    r[85 + i] = 90.0f;
    r[36 + i] = 1000.0f;
    model->OnRoutingSourceChanged(part, 65 + i, 37);
    EXPECT_EQ(Cell(part, 65 + i), SourceCode(36, 89));
    EXPECT_EQ(Cell(part, 105 + i), TargetCode2(36, 89));
    EXPECT_FLOAT_EQ(Target(part, 36 + i), 1.0f);  // amount limited to 128

    r[65 + i] = -5.0f;
    r[85 + i] = std::numeric_limits<float>::quiet_NaN();
    model->OnRoutingDestinationChanged(part, 85 + i, -20);
    EXPECT_EQ(Cell(part, 65 + i), SourceCode(0, 0));
    EXPECT_EQ(Cell(part, 105 + i), TargetCode2(0, 0));

    // Ids outside the routing ranges and parts outside 0..15 change nothing.
    const uint32_t before = Cell(part, 84);
    model->OnRoutingSourceChanged(part, 85, 3);
    model->OnRoutingDestinationChanged(part, 105, 3);
    model->UpdateRoutingDepth(part, 56, 0.0f);
    model->SetRoutingTables(part, 20, 3, 0);
    model->SetRoutingTables(16, 0, 3, 0);
    model->UpdateRoutingDepth(-1, 36, 0.0f);
    EXPECT_EQ(Cell(part, 84), before);
    EXPECT_EQ(Target(part, 56), 0.0f);
}

TEST_F(RoutingTest, AmountTextNeedsASource) {
    float* r = Record(1);
    char text[128] = "stale";
    r[65] = 0.0f;
    r[85] = 0.0f;
    model->GetRoutingDepthText(1, 36, 128.0f, text);
    EXPECT_STREQ(text, "");
    r[65] = 3.0f;
    model->GetRoutingDepthText(1, 36, 128.0f, text);
    EXPECT_STREQ(text, "+10:00:00");
    r[85] = 90.0f;  // clamped to "TMorph", a linear destination
    model->GetRoutingDepthText(1, 36, 128.0f, text);
    EXPECT_STREQ(text, "+1.00");
}

TEST_F(RoutingTest, KnobLookupsFindReuseAndAddRoutings) {
    store->SetCurrentPart(3);
    float* r = Record(3);
    for (int i = 0; i < 20; ++i) {
        r[65 + i] = 5.0f;
        r[85 + i] = 1.0f;
    }
    // Full matrix, nothing aimed at "Cutoff 1": nothing found, nothing changed.
    EXPECT_EQ(model->FindOrAddRouting(16), -1);
    EXPECT_EQ(model->FindNextRouting(16), -1);
    EXPECT_FALSE(model->HasRouting(0, 16));
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(r[65 + i], 5.0f);
        EXPECT_EQ(r[85 + i], 1.0f);
    }

    r[85 + 7] = 13.0f;
    r[65 + 12] = 0.0f;
    r[65 + 15] = 0.0f;
    EXPECT_TRUE(model->HasRouting(0, 16));
    EXPECT_FALSE(model->HasRouting(1, 16));
    EXPECT_EQ(model->FindOrAddRouting(16), 7);
    // The next one is the first free routing after 7, which now aims at 13.
    EXPECT_EQ(model->FindNextRouting(16), 12);
    EXPECT_EQ(r[85 + 12], 13.0f);
    EXPECT_EQ(model->FindNextRouting(16), 15);
    EXPECT_EQ(model->FindNextRouting(16), -1);

    // A routing whose source is off does not count as modulating its target.
    r[65 + 7] = 0.0f;
    EXPECT_FALSE(model->HasRouting(0, 16));
    EXPECT_EQ(model->FindOrAddRouting(16), 7);
    // Ids that no routing can reach.
    EXPECT_EQ(model->FindOrAddRouting(2), -1);
    EXPECT_FALSE(model->HasRouting(0, 2));
}
