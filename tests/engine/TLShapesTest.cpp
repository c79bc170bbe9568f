#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/CTLShapes.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

class TLShapesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        shapes = std::make_unique<CTLShapes>();
        shapes->Build();
    }
    float At(int table, float x) const { return CTLShapes::Lookup(shapes->Fixed(table), x); }
    float User(int part, float x) const { return CTLShapes::Lookup(shapes->userShapes[part], x); }
    std::unique_ptr<CTLShapes> shapes;
};

TEST_F(TLShapesTest, SoftClips)
{
    // Table 2: slope 4/3 below the knee at 0.5, exactly +-1 at the ends.
    for (float x = -1020.0f; x <= 1020.0f; x += 17.5f)
        EXPECT_NEAR(At(2, x), 4.0 / 3.0 * x / 2048.0, 1e-6) << x;
    EXPECT_NEAR(At(2, 1024.0f), 2.0 / 3.0, 1e-6);
    EXPECT_EQ(At(2, 2048.0f), 1.0f);
    EXPECT_EQ(At(2, -2048.0f), -1.0f);
    EXPECT_EQ(At(2, 5000.0f), 1.0f);  // past the end it stays flat
    // Above the knee: 1 - (1 - u)^2 / (1 - 0.25).
    EXPECT_NEAR(At(2, 1536.0f), 1.0 - 0.0625 / 0.75, 1e-6);
    EXPECT_NEAR(At(2, -1536.0f), -(1.0 - 0.0625 / 0.75), 1e-6);

    // Table 1: gain 2 and output 0.9 around a knee of 0.8: slope 2 at 0,
    // 1.8 at the ends.
    EXPECT_NEAR(At(1, 512.0f), 0.5, 1e-6);
    EXPECT_NEAR(At(1, -1000.0f), -1000.0 / 1024.0, 1e-6);
    EXPECT_NEAR(At(1, 2048.0f), 1.8, 1e-6);
    EXPECT_NEAR(At(1, -2048.0f), -1.8, 1e-6);

    // Table 3: knee 0.99, slope 2 / 1.99.
    EXPECT_NEAR(At(3, 1024.0f), 0.5 * 2.0 / 1.99, 1e-6);
    EXPECT_NEAR(At(3, 2048.0f), 1.0, 1e-6);

    // Matched slopes with different knees scale the steeper side down;
    // unmatched gives unit slope on both sides.
    CTLShapes::SetSoftClip(1.0f, 0.5f, 0.8f, true);
    EXPECT_NEAR(CTLShapes::SoftClipShape(100.0f, 0) / 100.0f,
                CTLShapes::SoftClipShape(-100.0f, 0) / -100.0f, 1e-7);
    EXPECT_NEAR(CTLShapes::SoftClipShape(2048.0f, 0), 1.0, 1e-6);
    EXPECT_NEAR(CTLShapes::SoftClipShape(-2048.0f, 0), -(2.0 / 1.8) / (4.0 / 3.0), 1e-6);
    CTLShapes::SetSoftClip(1.0f, 0.5f, 0.8f, false);
    EXPECT_NEAR(CTLShapes::SoftClipShape(20.48f, 0), 0.01, 1e-7);
    EXPECT_NEAR(CTLShapes::SoftClipShape(-20.48f, 0), -0.01, 1e-7);
}

TEST_F(TLShapesTest, SineAndChebyshevTables)
{
    // Table 4 is the scaled sine; 5..13 are sums of level[n] * cos(n * acos(u))
    // (table 11: odd harmonics only, five -1 and four +1); 14..22 the cosine
    // shapes. 614.4 is u = 0.3.
    const struct { int table; float x; double want, tolerance; } points[] = {
        {4, 2048.0f, 0.8, 1e-6},      {4, -2048.0f, -1.0, 1e-6}, {4, 1024.0f, std::sin(kPi / 4) * 0.85, 1e-6},
        {5, 2048.0f, 1.13, 1e-5},     {5, 0.0f, 0.0, 1e-6},      {5, -2048.0f, -0.69, 1e-5},
        {5, 1024.0f, 0.825, 1e-5},    {6, 2048.0f, 0.34 + 1.0 + 0.1 - 0.08 + 0.06 - 0.05 + 0.05, 1e-5},
        {7, 614.0f, -0.53059778, 1e-3}, {7, -1433.6f, 0.62005066, 1e-3}, {13, 614.4f, -1.42075800, 1e-3},
        {11, 2048.0f, -1.0, 1e-5},    {11, 0.0f, 0.0, 1e-5},     {14, 0.0f, 1.0, 1e-6},
        {14, 512.0f, std::cos(1.25 * kPi), 1e-5},
        {15, 512.0f, (std::cos(1.25 * kPi) + std::cos(3.5 * kPi)) / 2, 1e-5},
        {20, 512.0f, 0.0, 1e-5},      {20, 1024.0f, std::cos(3 * kPi), 1e-5},
        {21, 256.0f, std::pow(std::cos(3 * kPi / 8), 3), 1e-5}, {22, 0.0f, -1.0, 1e-6},
        {19, 1024.0f, std::cos(std::exp(0.25) * 10 * kPi), 1e-3}};
    for (const auto& p : points) EXPECT_NEAR(At(p.table, p.x), p.want, p.tolerance) << p.table << " " << p.x;

    // Selectable shapes point at tables 7..22; user shapes start as shape 0.
    EXPECT_EQ(shapes->shapes[0], shapes->Fixed(7));
    EXPECT_EQ(shapes->shapes[15], shapes->Fixed(22));
    for (int part = 0; part < 16; ++part)
        EXPECT_EQ(std::memcmp(shapes->userShapes[part], shapes->Fixed(7), sizeof(CTLShapes::Table)),
                  0);
}

TEST_F(TLShapesTest, SignPattern)
{
    const float expected[] = {-1, -1, 1, 1, -1, -1, 1, 1, -1};
    for (int n = 1; n <= 9; ++n)
        EXPECT_EQ(CTLShapes::SignPattern(n), expected[n - 1]) << n;
}

TEST_F(TLShapesTest, UserShapePoints)
{
    std::vector<float> v(80, 64.0f);
    shapes->BuildUserShape(v.data(), 3, 2);
    for (float x = -2048.0f; x <= 2048.0f; x += 31.0f)
        ASSERT_NEAR(User(3, x), 0.0, 1e-6) << x;

    // Sliders rising evenly from 0 to 127: a straight line from -1 towards
    // 0.984 (= 127 * 2 / 128 - 1, the last point).
    for (int i = 1; i < 80; ++i)
        v[i] = (i - 1) * 127.0f / 78.0f;
    shapes->BuildUserShape(v.data(), 3, 2);
    const double d = 127.0 / 78.0 / 64.0;
    for (float x = -2048.0f; x <= 2046.0f; x += 13.0f)
        ASSERT_NEAR(User(3, x), -1.0 + (x + 2048.0) * 79.0 / 4096.0 * d, 1e-4) << x;
    EXPECT_NEAR(User(3, 2048.0f), 0.984375, 1e-6);

    // Any other mode copies the last built shape.
    shapes->BuildUserShape(v.data(), 9, 7);
    EXPECT_EQ(std::memcmp(shapes->userShapes[9], shapes->userShapes[3], sizeof(CTLShapes::Table)),
              0);
    // A part out of range changes nothing.
    shapes->BuildUserShape(v.data(), 16, 0);
    shapes->BuildUserShape(v.data(), -1, 0);
    EXPECT_EQ(std::memcmp(shapes->userShapes[0], shapes->Fixed(7), sizeof(CTLShapes::Table)), 0);
}

TEST_F(TLShapesTest, UserShapeSeries)
{
    // Sliders at 2.0 or below contribute nothing; level 0 has no threshold.
    // Build() left harmonic levels behind: none of them may leak in.
    std::vector<float> v(80, 2.0f);
    v[0] = 0.0f;
    shapes->BuildUserShape(v.data(), 1, 0);
    for (float x = -2048.0f; x <= 2048.0f; x += 7.0f)
        ASSERT_EQ(User(1, x), 0.001f) << x;
    v[0] = 127.0f;
    shapes->BuildUserShape(v.data(), 1, 0);
    EXPECT_NEAR(User(1, 777.0f), 1.0, 1e-6);

    // Mode 1 with only the DC slider: level[0] * cos((i - 2048) pi / 2048).
    shapes->BuildUserShape(v.data(), 2, 1);
    EXPECT_NEAR(User(2, 0.0f), 1.0, 1e-6);
    EXPECT_NEAR(User(2, -2048.0f), -1.0, 1e-6);
    EXPECT_NEAR(User(2, 1024.0f), 0.0, 1e-6);

    // Slider 1 alone: level[1] = -1 (sign pattern) at full level.
    v[0] = 0.0f;
    v[1] = 127.0f;
    shapes->BuildUserShape(v.data(), 1, 0);
    EXPECT_NEAR(User(1, 1024.0f), 0.001 - 0.5, 1e-5);
    // Slider 33 drives harmonics 33 and 34 (both of sign -1).
    v[1] = 0.0f;
    v[33] = 127.0f;
    shapes->BuildUserShape(v.data(), 1, 0);
    const double u = 0.3;
    const double expected =
        0.001 - std::cos(33 * std::acos(u)) - std::cos(34 * std::acos(u));
    EXPECT_NEAR(User(1, float(u * 2048)), expected, 1e-3);
}

} // namespace
